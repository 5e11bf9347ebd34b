// Read-only file and memory sources for the checker.
#include "platform/pst/check/source.h"

#include <cerrno>
#include <cstring>

#include "platform/os/file.h"

namespace pst::check {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, std::string* error) {
  int fd = os::OpenForReading(path);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  const long long size = os::Size(fd);
  if (size < 0) {
    *error = errno == EINVAL ? path + " is not a regular file"
                             : "cannot stat " + path + ": " + std::strerror(errno);
    os::Close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<uint64_t>(size)));
}

FileSource::~FileSource() { os::Close(fd_); }

bool FileSource::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  auto* out = static_cast<uint8_t*>(buf);
  while (n > 0) {
    long long got = os::ReadAt(fd_, out, n, offset);
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
