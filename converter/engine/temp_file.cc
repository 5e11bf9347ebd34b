// Exclusive creation and removal of the temporary .eml files.
#include "converter/engine/temp_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "converter/engine/naming.h"
#include "platform/os/file.h"

namespace tollan {

namespace {

constexpr int kMaxAttempts = 10000;

// "stem (n).eml" for a wanted path "stem.eml", cut so that it stays within
// 224 characters.
std::string Alternative(const std::string& wanted, int n) {
  std::string stem = wanted;
  if (stem.size() >= 4 && stem.compare(stem.size() - 4, 4, ".eml") == 0) stem.resize(stem.size() - 4);
  const std::string suffix = " (" + std::to_string(n) + ").eml";
  const size_t max_stem = 224 - suffix.size();
  if (Utf8Length(stem) > max_stem) stem = Utf8Prefix(stem, max_stem);
  return stem + suffix;
}

pst::Status WriteAll(int fd, std::string_view text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    long long n = os::Write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return pst::Status::IoError("cannot write " + path + ": " + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
  }
  return pst::Status::Ok();
}

// Whether the file at `path` holds exactly `text`; nullopt when there is no
// file there (or it cannot be read).
std::optional<bool> Holds(const std::string& path, std::string_view text) {
  const int fd = os::OpenForReading(path);
  if (fd < 0) return std::nullopt;
  bool same = os::Size(fd) == static_cast<long long>(text.size());
  std::string buf(64 * 1024, '\0');
  for (size_t done = 0; same && done < text.size();) {
    const long long n = os::Read(fd, buf.data(), std::min(buf.size(), text.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.compare(done, static_cast<size_t>(n), buf.data(), static_cast<size_t>(n)) != 0) {
      same = false;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  os::Close(fd);
  return same;
}

}  // namespace

void RemoveLeftoverTempFile(const std::string& wanted, std::string_view text) {
  if (wanted.empty()) return;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    const std::string candidate = attempt == 1 ? wanted : Alternative(wanted, attempt);
    const std::optional<bool> same = Holds(candidate, text);
    if (!same) return;
    if (*same) {
      os::Remove(candidate);
      return;
    }
  }
}

TempEmlFile::~TempEmlFile() { Remove(); }

pst::Status TempEmlFile::Create(const std::string& wanted, std::string_view text) {
  Remove();
  std::string candidate = wanted;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    int fd = os::CreateNew(candidate, 0600);
    if (fd < 0) {
      if (errno == EEXIST) {
        candidate = Alternative(wanted, attempt + 1);
        continue;
      }
      return pst::Status::IoError("cannot create " + candidate + ": " + std::strerror(errno));
    }
    path_ = candidate;
    pst::Status s = WriteAll(fd, text, candidate);
    if (os::Close(fd) != 0 && s.ok()) {
      s = pst::Status::IoError("cannot write " + candidate + ": " + std::strerror(errno));
    }
    if (!s.ok()) Remove();
    return s;
  }
  return pst::Status::IoError("no free temporary file name near " + wanted);
}

pst::Status TempEmlFile::Remove() {
  if (path_.empty()) return pst::Status::Ok();
  std::string p;
  p.swap(path_);
  if (os::Remove(p) != 0 && errno != ENOENT) {
    return pst::Status::IoError("cannot delete " + p + ": " + std::strerror(errno));
  }
  return pst::Status::Ok();
}

}  // namespace tollan
