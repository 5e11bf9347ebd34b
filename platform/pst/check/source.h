// Source: random-access, read-only bytes of a PST file. The checker reads
// through this interface with explicit 64-bit offsets (pread on a real file),
// so files past 4 GiB work and no file is ever loaded whole.
#ifndef TOLLAN_PLATFORM_PST_CHECK_SOURCE_H_
#define TOLLAN_PLATFORM_PST_CHECK_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pst::check {

class Source {
 public:
  virtual ~Source() = default;
  // Total size in bytes.
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at offset into buf. False if the range is not
  // entirely inside the source or the read fails.
  virtual bool ReadAt(uint64_t offset, void* buf, size_t n) const = 0;
};

// A file opened read-only (O_RDONLY) and read with pread.
class FileSource : public Source {
 public:
  // Opens path; on failure returns nullptr and sets *error to a message
  // naming the file and the reason.
  static std::unique_ptr<FileSource> Open(const std::string& path, std::string* error);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buf, size_t n) const override;

 private:
  FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  uint64_t size_;
};

// Bytes held in memory (fuzzing, tests).
class MemorySource : public Source {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buf, size_t n) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_SOURCE_H_
