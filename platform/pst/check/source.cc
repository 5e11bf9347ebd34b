// Read-only file and memory sources for the checker.
#include "platform/pst/check/source.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pst::check {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *error = "cannot stat " + path + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + " is not a regular file";
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<uint64_t>(st.st_size)));
}

FileSource::~FileSource() { ::close(fd_); }

bool FileSource::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  auto* out = static_cast<uint8_t*>(buf);
  while (n > 0) {
    ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  if (n > 0) std::memcpy(buf, data_ + offset, n);
  return true;
}

}  // namespace pst::check
