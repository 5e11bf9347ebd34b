// ScratchPst: a private, writable copy of a fixture PST in a temporary folder,
// with helpers to patch it at offsets found by parsing and to repair the
// checksums around a patch, so a test can plant exactly one fault.
#ifndef TOLLAN_TESTS_PLATFORM_PST_CHECK_SCRATCH_PST_H_
#define TOLLAN_TESTS_PLATFORM_PST_CHECK_SCRATCH_PST_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pst::check::testing {

// Path of a file in the shared Outlook-written fixtures.
std::string FixturePath(const std::string& name);

class ScratchPst {
 public:
  // Copies `source` into a fresh temporary folder.
  explicit ScratchPst(const std::string& source);
  ~ScratchPst();
  ScratchPst(const ScratchPst&) = delete;
  ScratchPst& operator=(const ScratchPst&) = delete;

  const std::string& path() const { return path_; }

  std::vector<uint8_t> Read(uint64_t offset, size_t n) const;
  void Write(uint64_t offset, const std::vector<uint8_t>& bytes);
  uint8_t U8(uint64_t offset) const { return Read(offset, 1)[0]; }
  uint16_t U16(uint64_t offset) const;
  uint32_t U32(uint64_t offset) const;
  uint64_t U64(uint64_t offset) const;
  void PutU8(uint64_t offset, uint8_t v) { Write(offset, {v}); }
  void PutU16(uint64_t offset, uint16_t v);
  void PutU32(uint64_t offset, uint32_t v);
  void PutU64(uint64_t offset, uint64_t v);
  void FlipByte(uint64_t offset) { PutU8(offset, static_cast<uint8_t>(U8(offset) ^ 0x5A)); }
  // Grows the file (sparse) to `size` bytes.
  void Resize(uint64_t size);

  // Recomputes the CRC in the trailer of the 512-byte page at `ib`.
  void FixPageCrc(uint64_t ib);
  // Recomputes the CRC in the trailer of a block of `cb` data bytes at `ib`.
  void FixBlockCrc(uint64_t ib, uint16_t cb);
  // Recomputes dwCRCPartial and dwCRCFull.
  void FixHeaderCrcs();

 private:
  std::string dir_;
  std::string path_;
  int fd_ = -1;
};

}  // namespace pst::check::testing

#endif  // TOLLAN_TESTS_PLATFORM_PST_CHECK_SCRATCH_PST_H_
