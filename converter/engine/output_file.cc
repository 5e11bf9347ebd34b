// Exclusive temporary output files and their move to a free final name.
#include "converter/engine/output_file.h"

#include <cerrno>
#include <cstring>

#include "converter/engine/naming.h"
#include "platform/os/file.h"

namespace tollan {

namespace {

constexpr int kMaxAttempts = 1000;

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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
    const std::string suffix = "." + std::to_string(os::ProcessId()) + "-" + std::to_string(n) + ".partial";
    const size_t room = limit > suffix.size() ? limit - suffix.size() : 0;
    const std::string candidate = dir + Utf8PrefixBytes(name, room) + suffix;
    int fd = os::CreateNew(candidate, 0644);
    if (fd >= 0) {
      os::Close(fd);
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
    if (os::RenameNoReplace(temp_path, candidate) == 0) {
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
