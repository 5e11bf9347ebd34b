// ByteSource: positioned reads from a DBX file or from memory.
//
// Every read has a fixed size; bytes that lie past the end of the data read
// as zero bytes, so a structure cut short by the end of the file decodes as
// if the file were padded with zeros. Only a failing device is an error.
#ifndef TOLLAN_READER_DBX_BYTE_SOURCE_H_
#define TOLLAN_READER_DBX_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader/dbx/status.h"

namespace dbx {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Length of the data in bytes.
  virtual uint64_t size() const = 0;

  // Copies n bytes starting at offset into dst; bytes past the end are zero.
  // Fails (error 57) only when the underlying device reports an error.
  virtual DbxStatus Read(uint64_t offset, size_t n, uint8_t* dst) = 0;

  // Makes the n bytes at offset available at *data, read as Read() would:
  // a pointer into the source's own memory where it holds them in one
  // piece, otherwise a copy in `scratch`, which must hold n bytes. *data is
  // valid until the next call on the source.
  virtual DbxStatus View(uint64_t offset, size_t n, uint8_t* scratch, const uint8_t** data) {
    *data = scratch;
    return Read(offset, n, scratch);
  }

  // Copies n bytes as Read() does, past any cache the source keeps: for a
  // pass that reads the data once from start to end in large pieces.
  virtual DbxStatus ReadOnce(uint64_t offset, size_t n, uint8_t* dst) {
    return Read(offset, n, dst);
  }
};

// Reads the text starting at offset up to its first zero byte, looking at
// most `window` bytes far. Without a zero byte inside the window the text is
// the whole window and *terminated is set to false.
DbxStatus ReadZeroTerminated(ByteSource& source, uint64_t offset, size_t window,
                             std::string* text, bool* terminated);

// A source over bytes in memory. The constructor taking a pointer does not
// copy: the bytes must outlive the source.
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit MemorySource(std::string bytes)
      : owned_(std::move(bytes)),
        data_(reinterpret_cast<const uint8_t*>(owned_.data())),
        size_(owned_.size()) {}
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;

  uint64_t size() const override { return size_; }
  DbxStatus Read(uint64_t offset, size_t n, uint8_t* dst) override;
  DbxStatus View(uint64_t offset, size_t n, uint8_t* scratch, const uint8_t** data) override;

 private:
  std::string owned_;
  const uint8_t* data_;
  size_t size_;
};

// A read-only file, read through a small cache of 256 KiB chunks so that the
// many small structure reads of an index walk or a body chain cost a memcpy
// rather than a system call each.
class FileSource : public ByteSource {
 public:
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens path read-only. With deny_read the file is held under an exclusive
  // advisory lock, so that other openers of this reader are refused as long
  // as it stays open; otherwise a shared lock is held, which only conflicts
  // with such an exclusive holder. Result codes: 0; 1003 when the open is
  // refused (permission denied or a conflicting lock); 53 for a missing file;
  // 75 for a directory or any other failure.
  static DbxStatus Open(const std::string& path, bool deny_read,
                        std::unique_ptr<FileSource>* result);

  const std::string& path() const { return path_; }
  // Length of the file when it was opened; later growth is not seen.
  uint64_t size() const override { return size_; }
  DbxStatus Read(uint64_t offset, size_t n, uint8_t* dst) override;
  DbxStatus View(uint64_t offset, size_t n, uint8_t* scratch, const uint8_t** data) override;
  DbxStatus ReadOnce(uint64_t offset, size_t n, uint8_t* dst) override;

 private:
  static constexpr unsigned kChunkBits = 18;
  static constexpr size_t kChunkSize = size_t{1} << kChunkBits;
  static constexpr size_t kSlots = 16;

  FileSource(int fd, uint64_t size, std::string path);
  // The cached chunk holding `chunk`, loading it when needed.
  DbxStatus Chunk(uint64_t chunk, const uint8_t** data);

  int fd_;
  uint64_t size_;
  std::string path_;
  std::unique_ptr<uint8_t[]> slots_[kSlots];  // each allocated on first use
  uint64_t tags_[kSlots];  // chunk number + 1 held by each slot; 0 = empty
};

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_BYTE_SOURCE_H_
