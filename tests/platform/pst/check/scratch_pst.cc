// Temporary writable PST copies for the checker's fault tests.
#include "tests/platform/pst/check/scratch_pst.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

#include "platform/pst/check/crc.h"

namespace pst::check::testing {

std::string FixturePath(const std::string& name) {
  return std::string(TOLLAN_SHARED_DIR) + "/fixtures/real-pst/" + name;
}

ScratchPst::ScratchPst(const std::string& source) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "pstcheck-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  path_ = dir_ + "/copy.pst";
  std::filesystem::copy_file(source, path_);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  fd_ = ::open(path_.c_str(), O_RDWR);
  if (fd_ < 0) throw std::runtime_error("cannot open " + path_);
}

ScratchPst::~ScratchPst() {
  if (fd_ >= 0) ::close(fd_);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::vector<uint8_t> ScratchPst::Read(uint64_t offset, size_t n) const {
  std::vector<uint8_t> out(n);
  if (::pread(fd_, out.data(), n, static_cast<off_t>(offset)) != static_cast<ssize_t>(n)) {
    throw std::runtime_error("short read in " + path_);
  }
  return out;
}

void ScratchPst::Write(uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("short write in " + path_);
  }
}

uint16_t ScratchPst::U16(uint64_t o) const {
  auto b = Read(o, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
uint32_t ScratchPst::U32(uint64_t o) const { return U16(o) | (static_cast<uint32_t>(U16(o + 2)) << 16); }
uint64_t ScratchPst::U64(uint64_t o) const { return U32(o) | (static_cast<uint64_t>(U32(o + 4)) << 32); }

void ScratchPst::PutU16(uint64_t o, uint16_t v) { Write(o, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
void ScratchPst::PutU32(uint64_t o, uint32_t v) {
  PutU16(o, static_cast<uint16_t>(v));
  PutU16(o + 2, static_cast<uint16_t>(v >> 16));
}
void ScratchPst::PutU64(uint64_t o, uint64_t v) {
  PutU32(o, static_cast<uint32_t>(v));
  PutU32(o + 4, static_cast<uint32_t>(v >> 32));
}

void ScratchPst::Resize(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw std::runtime_error("ftruncate failed");
}

void ScratchPst::FixPageCrc(uint64_t ib) {
  auto page = Read(ib, 496);
  PutU32(ib + 496 + 4, ComputeCrc(page.data(), page.size()));
}

void ScratchPst::FixBlockCrc(uint64_t ib, uint16_t cb) {
  auto data = Read(ib, cb);
  uint64_t size = (cb + 16 + 63) / 64 * 64;
  PutU32(ib + size - 16 + 4, ComputeCrc(data.data(), data.size()));
}

void ScratchPst::FixHeaderCrcs() {
  auto h = Read(0, 564);
  PutU32(4, ComputeCrc(h.data() + 8, 471));
  h = Read(0, 564);
  PutU32(524, ComputeCrc(h.data() + 8, 516));
}

}  // namespace pst::check::testing
