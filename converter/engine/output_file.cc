// Exclusive temporary output files and their move to a free final name.
#include "converter/engine/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "converter/engine/naming.h"

namespace tollan {

namespace {

constexpr int kMaxAttempts = 1000;

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Renames without replacing an existing `to`: EEXIST when it exists.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: a hard link is made only when the name
  // is free.
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

std::string NumberedPath(const std::string& path, int n) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

pst::Status CreateTempBeside(const std::string& final_path, std::string* temp_path) {
  const std::string dir = DirOf(final_path);
  const std::string name = final_path.substr(dir.size());
  const size_t limit = NameMax(dir);
  for (int n = 1; n <= kMaxAttempts; ++n) {
    const std::string suffix = "." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".partial";
    const size_t room = limit > suffix.size() ? limit - suffix.size() : 0;
    const std::string candidate = dir + Utf8PrefixBytes(name, room) + suffix;
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      *temp_path = candidate;
      return pst::Status::Ok();
    }
    if (errno != EEXIST) {
      return pst::Status::IoError("cannot create a file in " + (dir.empty() ? std::string(".") : dir) +
                                  ": " + std::strerror(errno));
    }
  }
  return pst::Status::IoError("no free temporary name beside " + final_path);
}

pst::Status MoveToFreeName(const std::string& temp_path, const std::string& wanted,
                           std::string* final_path) {
  std::string candidate = wanted;
  for (int n = 2; n <= kMaxAttempts + 1; ++n) {
    if (RenameNoReplace(temp_path, candidate) == 0) {
      *final_path = candidate;
      return pst::Status::Ok();
    }
    if (errno != EEXIST) {
      return pst::Status::IoError("cannot name the finished file " + candidate + ": " +
                                  std::strerror(errno) + "; it is left as " + temp_path);
    }
    candidate = NumberedPath(wanted, n);
  }
  return pst::Status::IoError("no free name beside " + wanted + "; the finished file is left as " +
                              temp_path);
}

}  // namespace tollan
