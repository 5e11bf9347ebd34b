// Breadth-first directory walk behind pathLogger.
#include "converter/discovery/path_logger.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/os/file.h"

namespace tollan {

namespace fs = std::filesystem;

namespace {

constexpr char kSeparator = '/';

unsigned char AsciiLower(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// By name ignoring the case of ASCII letters, then byte by byte. Bytes count
// unsigned, so a name that begins with a non-ASCII letter sorts after the
// ASCII ones on every system (the C library on Windows compares them as
// signed and would put it first).
bool NameLess(const std::string& a, const std::string& b) {
  const bool shorter = a.size() < b.size();
  const size_t n = shorter ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = AsciiLower(a[i]), y = AsciiLower(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return shorter;
  return a < b;
}

}  // namespace

bool ListFolderOnDisk(const std::string& path, FolderListing* out) {
  std::error_code ec;
  fs::directory_iterator it(os::FsPath(path), ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return false;
    std::error_code type_ec;
    std::string name = os::Utf8Path(it->path().filename());
    if (it->is_directory(type_ec) && !it->is_symlink(type_ec)) {
      out->folders.push_back(std::move(name));
    } else if (!it->is_directory(type_ec)) {
      out->files.push_back(std::move(name));
    }
  }
  if (ec) return false;
  std::sort(out->folders.begin(), out->folders.end(), NameLess);
  std::sort(out->files.begin(), out->files.end(), NameLess);
  return true;
}

pathLogger::pathLogger(std::function<void()> yield, FolderLister lister)
    : yield_(std::move(yield)), lister_(lister ? std::move(lister) : FolderLister(ListFolderOnDisk)) {}

void pathLogger::Yield() {
  if (yield_) yield_();
}

void pathLogger::PathLogInit() {
  full_file_names_only_ = true;
  path_names_.Clear();
  full_file_names_.Clear();
  file_names_.Clear();
  path_pointers_.Clear();
  unreadable_ = 0;
}

bool pathLogger::LogPath(const std::string& strPARENT) {
  std::error_code ec;
  if (strPARENT.empty() || !fs::is_directory(os::FsPath(strPARENT), ec)) return true;
  Yield();
  std::string start = strPARENT;
  if (start.back() != kSeparator) start += kSeparator;
  if (!path_names_.Add(start, "K0")) return false;
  size_t i = 1;
  size_t j = 1;
  count_ = 1;
  unreadable_ = 0;
  Yield();
  while (i <= j) {
    const std::string p = path_names_.Item(i);
    FolderListing listing;
    if (!lister_(p, &listing)) {
      ++unreadable_;
      Yield();
      ++i;
      continue;
    }
    for (const auto& folder : listing.folders) {
      ++j;
      path_names_.Add(p + folder + kSeparator, "K" + std::to_string(j));
      Yield();
    }
    for (const auto& file : listing.files) {
      const std::string key = "K" + std::to_string(count_);
      full_file_names_.Add(p + file, key);
      if (!full_file_names_only_) {
        file_names_.Add(file, key);
        path_pointers_.Add(static_cast<int32_t>(i), key);
      }
      ++count_;
      Yield();
    }
    Yield();
    ++i;
  }
  return true;
}

void pathLogger::Terminate() {
  Yield();
  path_names_.Clear();
  full_file_names_.Clear();
  file_names_.Clear();
  path_pointers_.Clear();
  Yield();
}

}  // namespace tollan
