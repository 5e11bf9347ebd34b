// Buffered output through POSIX descriptors; see file_sink.h.
#include "tests/support/dbxgen/file_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace dbxgen {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}  // namespace

Result<std::unique_ptr<FileSink>> FileSink::Create(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".partial";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    return Status::Error("cannot create " + temp.string() + ": " + std::strerror(errno));
  }
  return std::unique_ptr<FileSink>(new FileSink(path, temp, fd));
}

FileSink::FileSink(std::filesystem::path path, std::filesystem::path temp, int fd)
    : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {
  buffer_.reserve(kBufferSize);
}

FileSink::~FileSink() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(temp_, ignored);
  }
}

void FileSink::Fail(const std::string& what) {
  if (status_.ok()) {
    status_ = Status::Error(what + " " + temp_.string() + ": " + std::strerror(errno));
  }
}

void FileSink::Flush() {
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0 && status_.ok()) {
    ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write");
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  flushed_ += buffer_.size();
  buffer_.clear();
}

void FileSink::Append(std::string_view bytes) {
  position_ += bytes.size();
  if (buffer_.size() + bytes.size() > kBufferSize) Flush();
  if (bytes.size() >= kBufferSize) {
    buffer_.assign(bytes.begin(), bytes.end());
    Flush();
    return;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FileSink::AppendZeros(std::size_t count) {
  static const char kZeros[4096] = {};
  while (count > 0) {
    std::size_t n = count < sizeof(kZeros) ? count : sizeof(kZeros);
    Append(std::string_view(kZeros, n));
    count -= n;
  }
}

void FileSink::Patch(uint64_t offset, std::string_view bytes) {
  if (offset + bytes.size() > position_) {
    if (status_.ok()) status_ = Status::Error("patch past the end of " + temp_.string());
    return;
  }
  // Bytes still in the buffer are patched there, the rest in the file.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    uint64_t at = offset + i;
    if (at >= flushed_) {
      buffer_[at - flushed_] = bytes[i];
    } else {
      std::size_t run = 1;
      while (i + run < bytes.size() && at + run < flushed_) ++run;
      if (::pwrite(fd_, bytes.data() + i, run, static_cast<off_t>(at)) !=
          static_cast<ssize_t>(run)) {
        Fail("cannot patch");
        return;
      }
      i += run - 1;
    }
  }
}

Status FileSink::Commit(std::optional<uint64_t> truncate_to) {
  Flush();
  if (status_.ok() && truncate_to && *truncate_to < position_) {
    if (::ftruncate(fd_, static_cast<off_t>(*truncate_to)) != 0) Fail("cannot truncate");
  }
  if (status_.ok() && ::close(fd_) != 0) Fail("cannot close");
  fd_ = -1;
  if (!status_.ok()) return status_;
  std::error_code error;
  std::filesystem::rename(temp_, path_, error);
  if (error) {
    return Status::Error("cannot rename " + temp_.string() + " to " + path_.string() + ": " +
                         error.message());
  }
  committed_ = true;
  return Status::Ok();
}

}  // namespace dbxgen
