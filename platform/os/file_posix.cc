// POSIX files (see file.h): the system calls as they are.
#include "platform/os/file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace os {

int OpenForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

int CreateNew(const std::string& path, int mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int CreateOrTruncate(const std::string& path, int mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
}

int Close(int fd) { return ::close(fd); }

long long ReadAt(int fd, void* buf, size_t n, uint64_t offset) {
  return ::pread(fd, buf, n, static_cast<off_t>(offset));
}

long long WriteAt(int fd, const void* buf, size_t n, uint64_t offset) {
  return ::pwrite(fd, buf, n, static_cast<off_t>(offset));
}

long long Read(int fd, void* buf, size_t n) { return ::read(fd, buf, n); }
long long Write(int fd, const void* buf, size_t n) { return ::write(fd, buf, n); }

long long Size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<long long>(st.st_size);
}

int Truncate(int fd, uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)); }
int Sync(int fd) { return ::fsync(fd); }

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: a hard link is made only when the name
  // is free.
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

int Remove(const std::string& path) { return ::unlink(path.c_str()); }

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsWritableFolder(const std::string& dir) {
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

size_t NameMax(const std::string& dir) {
  long n = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<size_t>(n) : 255;
}

std::string SlashPath(const std::string& path) { return path; }

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(utf8); }
std::string Utf8Path(const std::filesystem::path& path) { return path.string(); }

int ProcessId() { return static_cast<int>(::getpid()); }

bool LocalTime(std::time_t when, std::tm* out) { return ::localtime_r(&when, out) != nullptr; }
bool UtcTime(std::time_t when, std::tm* out) { return ::gmtime_r(&when, out) != nullptr; }

}  // namespace os
