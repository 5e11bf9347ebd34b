// Case-insensitive file look-up in a store directory.
#include "reader/dbx/store_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "reader/dbx/windows_path.h"

namespace dbx {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

#if defined(_WIN32)
// Windows names are found whatever their case; the listing below is for
// POSIX file systems.
bool IsRegularFile(const std::string& path) {
  const DWORD a = GetFileAttributesW(WindowsPath(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesW(WindowsPath(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
#else
bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
#endif

}  // namespace

std::string JoinStorePath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  size_t end = dir.size();
  while (end > 0 && IsSeparator(dir[end - 1])) --end;
  return dir.substr(0, end) + "/" + name;
}

Lookup FindStoreFile(const std::string& dir, const std::string& name, std::string* path) {
  const std::string base = JoinStorePath(dir, "");
  const std::string dir_path = base.size() > 1 ? base.substr(0, base.size() - 1) : base;
  const std::string listed = dir.empty() ? "." : dir_path;
  if (!IsFolder(listed)) return Lookup::kLookupFailed;
  // A name with a separator of its own cannot name a file of this directory.
  for (char c : name) {
    if (IsSeparator(c)) return Lookup::kMissing;
  }
  if (name.empty() || name == "." || name == "..") return Lookup::kMissing;

  std::string exact = JoinStorePath(dir, name);
  if (IsRegularFile(exact)) {
    *path = exact;
    return Lookup::kFound;
  }
  DIR* d = ::opendir(listed.c_str());
  if (d == nullptr) return Lookup::kLookupFailed;
  Lookup result = Lookup::kMissing;
  while (struct dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) != 0) continue;
    std::string candidate = JoinStorePath(dir, e->d_name);
    if (IsRegularFile(candidate)) {
      *path = candidate;
      result = Lookup::kFound;
      break;
    }
  }
  ::closedir(d);
  return result;
}

}  // namespace dbx
