// Windows files (see file.h): UTF-8 paths as wide-character paths, C runtime
// descriptors over the system's handles.
#include "platform/os/file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/os/wide_path.h"

namespace os {
namespace {

int SetErrno(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: errno = EACCES; break;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    case ERROR_FILENAME_EXCED_RANGE: errno = ENAMETOOLONG; break;
    default: errno = EIO; break;
  }
  return -1;
}

int Open(const std::string& path, int flags, int mode) {
  int fd = -1;
  const int perm = (mode & 0200) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
  const errno_t err = _wsopen_s(&fd, WidePath(path).c_str(), flags | _O_BINARY | _O_NOINHERIT,
                                _SH_DENYNO, perm);
  if (err != 0) {
    errno = err;
    return -1;
  }
  return fd;
}

HANDLE Handle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// One system call moves at most this much.
constexpr size_t kMaxChunk = size_t{1} << 30;

}  // namespace

int OpenForReading(const std::string& path) { return Open(path, _O_RDONLY, 0); }
int CreateNew(const std::string& path, int mode) { return Open(path, _O_WRONLY | _O_CREAT | _O_EXCL, mode); }
int CreateOrTruncate(const std::string& path, int mode) {
  return Open(path, _O_WRONLY | _O_CREAT | _O_TRUNC, mode);
}
int Close(int fd) { return _close(fd); }

long long ReadAt(int fd, void* buf, size_t n, uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(Handle(fd), buf, static_cast<DWORD>(std::min(n, kMaxChunk)), &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return SetErrno(GetLastError());
  }
  return got;
}

long long WriteAt(int fd, const void* buf, size_t n, uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD put = 0;
  if (!WriteFile(Handle(fd), buf, static_cast<DWORD>(std::min(n, kMaxChunk)), &put, &at)) {
    return SetErrno(GetLastError());
  }
  return put;
}

long long Read(int fd, void* buf, size_t n) {
  return _read(fd, buf, static_cast<unsigned>(std::min(n, kMaxChunk)));
}

long long Write(int fd, const void* buf, size_t n) {
  return _write(fd, buf, static_cast<unsigned>(std::min(n, kMaxChunk)));
}

long long Size(int fd) { return _filelengthi64(fd); }

int Truncate(int fd, uint64_t size) {
  const errno_t err = _chsize_s(fd, static_cast<long long>(size));
  if (err != 0) {
    errno = err;
    return -1;
  }
  return 0;
}

int Sync(int fd) { return FlushFileBuffers(Handle(fd)) ? 0 : SetErrno(GetLastError()); }

int RenameNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), 0)) return 0;
  return SetErrno(GetLastError());
}

int Remove(const std::string& path) {
  return DeleteFileW(WidePath(path).c_str()) ? 0 : SetErrno(GetLastError());
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsWritableFolder(const std::string& dir) {
  const DWORD attributes = GetFileAttributesW(WidePath(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  std::string probe = dir;
  if (!probe.empty() && probe.back() != '/' && probe.back() != '\\') probe += '/';
  probe += ".tollan-write-test." + std::to_string(GetCurrentProcessId());
  const HANDLE h = CreateFileW(WidePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// 255 UTF-16 units; 255 bytes of UTF-8 never exceed that.
size_t NameMax(const std::string&) { return 255; }

std::string SlashPath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string AbsolutePath(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return path;
  full.resize(got);
  return SlashPath(Utf8FromWide(full));
}

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(WidePath(utf8)); }

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string u = path.u8string();
  return std::string(u.begin(), u.end());
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

bool LocalTime(std::time_t when, std::tm* out) { return localtime_s(out, &when) == 0; }
bool UtcTime(std::time_t when, std::tm* out) { return gmtime_s(out, &when) == 0; }

}  // namespace os
