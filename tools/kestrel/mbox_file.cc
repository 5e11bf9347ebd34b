// Writing mboxrd files.
#include "tools/kestrel/mbox_file.h"
#include "tools/kestrel/new_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kestrel {

namespace {

#if defined(_WIN32)
// Windows: no close-on-exec, and files are opened as bytes, not as text.
constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
#else
constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
#endif

// True when the line starting at `p` reads ">"* "From ".
bool NeedsQuote(std::string_view text, size_t p) {
  while (p < text.size() && text[p] == '>') ++p;
  return text.compare(p, 5, "From ") == 0;
}

}  // namespace

std::string MboxFromLine(const std::string& sender, double date) {
  std::string who;
  for (char c : sender) who += static_cast<unsigned char>(c) <= 0x20 || c == 0x7F ? '_' : c;
  if (who.empty()) who = "MAILER-DAEMON";
  std::time_t t = 0;
  if (date > 0 && date < 2958466.0) t = static_cast<std::time_t>(std::round((date - 25569.0) * 86400.0));
  std::tm tm{};
#if defined(_WIN32)
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  // "%a %b %e %H:%M:%S %Y", with the day space-padded by hand: the Windows
  // C library knows no %e.
  char day[8], month[16], time_of_day[32];
  std::strftime(month, sizeof month, "%a %b", &tm);
  std::snprintf(day, sizeof day, "%2d", tm.tm_mday);
  std::strftime(time_of_day, sizeof time_of_day, "%H:%M:%S %Y", &tm);
  return "From " + who + " " + month + " " + day + " " + time_of_day;
}

std::string MboxQuote(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 16);
  size_t line = 0;
  while (line < message.size()) {
    size_t end = message.find('\n', line);
    end = end == std::string_view::npos ? message.size() : end + 1;
    if (NeedsQuote(message, line)) out += '>';
    out.append(message.substr(line, end - line));
    line = end;
  }
  return out;
}

MboxFile::~MboxFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool MboxFile::Create(const std::string& path, std::string* error) {
  struct stat st;
#if defined(_WIN32)
  if (::stat(path.c_str(), &st) == 0) {
#else
  if (::lstat(path.c_str(), &st) == 0) {
#endif
    *error = path + " already exists";
    return false;
  }
  path_ = path;
  for (int n = 1; n < 1000; ++n) {
    temp_ = path + "." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".partial";
    int fd = ::open(temp_.c_str(), kOpenFlags, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    file_ = ::fdopen(fd, "wb");
    if (file_ != nullptr) return true;
    ::close(fd);
    break;
  }
  *error = "cannot create " + temp_ + ": " + strerror(errno);
  if (file_ == nullptr) ::unlink(temp_.c_str());
  temp_.clear();
  return false;
}

bool MboxFile::Add(const std::string& sender, double date, std::string_view message) {
  if (file_ == nullptr) return false;
  const std::string text = MboxFromLine(sender, date) + "\n" + MboxQuote(message);
  failed_ |= std::fwrite(text.data(), 1, text.size(), file_) != text.size();
  // The line end the message may lack, then the empty line that ends it.
  const char* tail = !message.empty() && message.back() == '\n' ? "\n" : "\n\n";
  failed_ |= std::fputs(tail, file_) < 0;
  return !failed_;
}

bool MboxFile::Commit(std::string* error) {
  if (file_ == nullptr) return false;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (failed_ || !closed) {
    *error = "cannot write " + temp_;
    return false;
  }
  if (RenameNoReplace(temp_, path_) != 0) {
    *error = errno == EEXIST ? path_ + " already exists" : "cannot write " + path_ + ": " + strerror(errno);
    return false;
  }
  temp_.clear();
  return true;
}

}  // namespace kestrel
