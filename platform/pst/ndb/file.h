// OutputFile: the positioned-write file the node database writes through, and
// WriteBuffer, which gathers the forward-moving block writes into large
// writes. Tests substitute their own OutputFile to inject failures.
#ifndef TOLLAN_PLATFORM_PST_NDB_FILE_H_
#define TOLLAN_PLATFORM_PST_NDB_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/pst/status.h"

namespace pst::ndb {

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `bytes` at `offset`.
  virtual Status WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  // Sets the file length (extending leaves a hole that reads as zeros).
  virtual Status Truncate(uint64_t size) = 0;
  // Forces written data to stable storage.
  virtual Status Sync() = 0;
  // Removes the file from its directory (used when it is never completed).
  virtual void Remove() = 0;
};

// Creates (or replaces) the file at `path` for writing.
Status OpenOutputFile(const std::string& path, std::unique_ptr<OutputFile>* out);

// Collects writes at increasing offsets into one buffer and hands it to the
// file when it grows past `capacity`. Short gaps between writes are filled
// with zeros; a long gap starts a new buffer. When a flush fails the bytes
// stay buffered, so a later Flush can retry them.
class WriteBuffer {
 public:
  WriteBuffer(OutputFile* file, size_t capacity);

  // Buffers `bytes` for `offset`, which must not lie before the end of the
  // bytes already buffered. May flush.
  Status Write(uint64_t offset, std::span<const uint8_t> bytes);
  // Makes room for `n` bytes at `offset` (same rule as Write) and points
  // `*dst` at them; the caller fills all of them (they are not cleared),
  // then calls MaybeFlush. The pointer is valid until the next call.
  Status Reserve(uint64_t offset, size_t n, uint8_t** dst);
  // Flushes when the buffer has grown past its capacity.
  Status MaybeFlush();
  // Writes `bytes` at `offset`, which lies before the end of what was
  // buffered (space used again): into the buffer when it holds that range,
  // otherwise straight to the file.
  Status WriteBehind(uint64_t offset, std::span<const uint8_t> bytes);
  // Writes out everything buffered.
  Status Flush();

 private:
  OutputFile* file_;
  size_t capacity_;
  uint64_t start_ = 0;  // file offset of buf_[0]
  std::unique_ptr<uint8_t[]> buf_;
  size_t size_ = 0;      // bytes buffered
  size_t allocated_ = 0;
};

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_FILE_H_
