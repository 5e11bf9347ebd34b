// Case-insensitive resolution of Windows path components on the host.
#include "platform/registry/host_path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/registry/text.h"

namespace registry {

std::vector<std::string> SplitPathComponents(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      std::string_view part = path.substr(start, i - start);
      if (!part.empty() && part != ".") parts.emplace_back(part);
      start = i + 1;
    }
  }
  return parts;
}

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& base, const std::string& name) {
  if (!base.empty() && base.back() == '/') return base + name;
  return base + "/" + name;
}

// The entry of `dir` whose name equals `name` without regard to case, or "".
std::string FindIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return "";
  std::string folded = FoldCase(name);
  std::string found;
  while (struct dirent* entry = readdir(d)) {
    if (FoldCase(entry->d_name) == folded) {
      found = entry->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

std::string ResolveBelow(const std::string& base, const std::vector<std::string>& components) {
  std::vector<std::string> resolved;
  bool matching = true;
  for (const std::string& part : components) {
    if (part == "..") {
      if (!resolved.empty()) resolved.pop_back();
      matching = true;
      continue;
    }
    if (matching) {
      std::string dir = base;
      for (const std::string& r : resolved) dir = Join(dir, r);
      if (!Exists(Join(dir, part))) {
        std::string other = FindIgnoringCase(dir, part);
        if (!other.empty()) {
          resolved.push_back(other);
          continue;
        }
        matching = false;
      }
    }
    resolved.push_back(part);
  }
  std::string path = base;
  for (const std::string& r : resolved) path = Join(path, r);
  return path;
}

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string HostDirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string AbsoluteHostPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return path;
  return Join(cwd, path);
}

}  // namespace registry
