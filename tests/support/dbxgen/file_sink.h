// FileSink: buffered, append-only output to one file, with later patches of
// bytes already written. The file is written under a temporary name next to
// its final path and renamed into place by Commit(), so a failed or abandoned
// write never leaves a half-written file under the final name.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_SINK_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_SINK_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/dbxgen/status.h"

namespace dbxgen {

class FileSink {
 public:
  // Opens a new temporary file beside `path`.
  static Result<std::unique_ptr<FileSink>> Create(const std::filesystem::path& path);

  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  // Removes the temporary file unless Commit() succeeded.
  ~FileSink();

  // Bytes written so far: the offset the next Append lands at.
  uint64_t position() const { return position_; }

  // Appends bytes. Errors are kept and reported by Commit().
  void Append(std::string_view bytes);
  void AppendZeros(std::size_t count);

  // Overwrites bytes at an offset below position().
  void Patch(uint64_t offset, std::string_view bytes);

  // Flushes, cuts the file to `length` bytes when given (shorter than written),
  // closes it and renames it to the final path.
  Status Commit(std::optional<uint64_t> truncate_to = std::nullopt);

  const std::filesystem::path& path() const { return path_; }

 private:
  FileSink(std::filesystem::path path, std::filesystem::path temp, int fd);
  void Flush();
  void Fail(const std::string& what);

  std::filesystem::path path_;
  std::filesystem::path temp_;
  int fd_ = -1;
  uint64_t position_ = 0;
  uint64_t flushed_ = 0;
  std::vector<char> buffer_;
  Status status_;
  bool committed_ = false;
};

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_SINK_H_
