// Files by UTF-8 path, the same on every system: the few calls the converter
// and the PST writer need that differ between POSIX and Windows. On Windows
// a path is taken as UTF-8 and used as a wide-character path (drive letters,
// '\' or '/', and paths past the old 260-character limit); on POSIX it is
// used as it is.
//
// Descriptors are C runtime file descriptors (close them with Close).
// Failures return -1 (or false) with errno set, as the POSIX calls do; EEXIST
// means that a name is taken.
//
// Typical use:
//   int fd = os::CreateNew(path, 0644);      // never opens an existing file
//   if (fd < 0 && errno == EEXIST) ...       // try another name
//   os::WriteAt(fd, data, n, 0);
//   os::Close(fd);
//   if (os::RenameNoReplace(path, final_path) != 0 && errno == EEXIST) ...
#ifndef TOLLAN_PLATFORM_OS_FILE_H_
#define TOLLAN_PLATFORM_OS_FILE_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace os {

// Opens an existing file for reading only.
int OpenForReading(const std::string& path);
// Creates `path` for writing only when nothing exists under that name.
// `mode` is the POSIX permission (Windows: read-only when it lacks 0200).
int CreateNew(const std::string& path, int mode);
// Opens `path` for writing, creating it or emptying it.
int CreateOrTruncate(const std::string& path, int mode);
int Close(int fd);

// Reads or writes at `offset` without moving the file position; the count
// done (0 at the end of the file for reads), or -1.
long long ReadAt(int fd, void* buf, size_t n, uint64_t offset);
long long WriteAt(int fd, const void* buf, size_t n, uint64_t offset);
// Reads or writes at the file position, as read(2) and write(2).
long long Read(int fd, void* buf, size_t n);
long long Write(int fd, const void* buf, size_t n);
// The file's size, or -1.
long long Size(int fd);
int Truncate(int fd, uint64_t size);
// Flushes the file's data to the disk.
int Sync(int fd);

// Moves `from` to `to` only when nothing exists under `to` (EEXIST then,
// `from` left as it was). 0 on success.
int RenameNoReplace(const std::string& from, const std::string& to);
// Deletes a file; 0 on success.
int Remove(const std::string& path);
// True when something (file or folder) exists under `path`.
bool Exists(const std::string& path);
// True when `dir` is a folder this process may create files in. On Windows,
// where permissions are access lists, a file is created there and deleted
// at once to find out.
bool IsWritableFolder(const std::string& dir);
// The longest file name, in bytes of UTF-8, a folder takes.
size_t NameMax(const std::string& dir);

// `path` with '/' for each separator: on Windows, whose calls take both,
// '\' becomes '/' (the form the converter builds its paths in); on POSIX
// the path is returned unchanged.
std::string SlashPath(const std::string& path);

// The full path of `path` (made from the working folder), in the form
// SlashPath gives.
std::string AbsolutePath(const std::string& path);

// The path as the standard library takes it, and back to UTF-8.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

int ProcessId();
// Broken-down local and UTC time; false when `when` is out of range.
bool LocalTime(std::time_t when, std::tm* out);
bool UtcTime(std::time_t when, std::tm* out);

}  // namespace os

#endif  // TOLLAN_PLATFORM_OS_FILE_H_
