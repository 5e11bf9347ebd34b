// Names and texts the conversion engine and the batch driver build.
#include "converter/engine/naming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/os/file.h"
#include "platform/text/utf.h"

namespace tollan {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The characters a subject loses in a file name: the ones a file name
// cannot hold, the controls 1 to 31 and ".".
bool RemovedFromSubject(unsigned char c) {
  return (c >= 1 && c <= 31) || c == ':' || c == '?' || c == '\\' || c == '/' || c == '*' ||
         c == '"' || c == '<' || c == '>' || c == '|' || c == '.';
}

constexpr size_t kMaxPathChars = 220;
constexpr size_t kMaxNameBytes = 255;

}  // namespace

std::string FormatTimestamp(std::time_t when) {
  std::tm tm{};
  os::LocalTime(when, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%02d %d.%d.%02d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year % 100, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string Timestamp() { return FormatTimestamp(std::time(nullptr)); }

size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if (!IsContinuation(c)) ++n;
  }
  return n;
}

std::string Utf8Prefix(const std::string& s, size_t n) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(s[i]))) {
      if (chars == n) return s.substr(0, i);
      ++chars;
    }
  }
  return s;
}

std::string CleanSubject(const std::string& subject) {
  // Removing each character in turn leaves what one pass leaves.
  std::string s;
  s.reserve(subject.size());
  for (char c : subject) {
    if (!RemovedFromSubject(static_cast<unsigned char>(c))) s.push_back(c);
  }
  if (Utf8Length(s) > kMaxPathChars) s = Utf8Prefix(s, kMaxPathChars);
  return s;
}

std::string FreeFilePath(const std::string& path) {
  if (!os::Exists(path)) return path;
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  const std::string stem = path.substr(0, dot);
  const std::string ext = path.substr(dot);
  for (int n = 2;; ++n) {
    std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
    if (!os::Exists(candidate)) return candidate;
  }
}

size_t NameMax(const std::string& dir) {
  return os::NameMax(dir);
}

std::string Utf8PrefixBytes(const std::string& s, size_t max_bytes) {
  if (s.size() <= max_bytes) return s;
  size_t cut = max_bytes;
  // Back off over at most three continuation bytes to the sequence start.
  for (int k = 0; k < 3 && cut > 0 && IsContinuation(static_cast<unsigned char>(s[cut])); ++k) --cut;
  if (IsContinuation(static_cast<unsigned char>(s[cut]))) cut = max_bytes;  // not UTF-8 here
  return s.substr(0, cut);
}

std::string PstPath(const std::string& folder, const std::string& name, const std::string& stamp) {
  const std::string fixed = stamp + ".pst";
  constexpr size_t kFallbackRoom = 6;  // " (999)"
  const size_t limit = NameMax(folder);
  std::string part = name;
  if (part.size() + fixed.size() + kFallbackRoom > limit) {
    const size_t room = limit > fixed.size() + kFallbackRoom ? limit - fixed.size() - kFallbackRoom : 1;
    part = Utf8PrefixBytes(part, room);
  }
  return folder + part + fixed;
}

std::string DisplayText(const std::string& bytes) {
  return text::MakeValidUtf8(bytes);
}

std::string QuotedPath(const std::string& bytes) {
  auto plain = [](unsigned char c) { return c >= 0x20 && c != 0x7f; };
  if (text::IsValidUtf8(bytes) && std::all_of(bytes.begin(), bytes.end(), [&](char c) {
        return plain(static_cast<unsigned char>(c));
      })) {
    return bytes;
  }
  std::string out = "$'";
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    const size_t n = text::DecodeUtf8(bytes, pos, &cp);
    const unsigned char c = static_cast<unsigned char>(bytes[pos]);
    if (n > 1) {
      out.append(bytes, pos, n);  // a whole, valid character
      pos += n;
      continue;
    }
    if (c == '\\' || c == '\'') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (plain(c) && c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
    ++pos;
  }
  return out + "'";
}

std::string TrimSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string LimitTempPath(const std::string& path) {
  std::string p = path;
  if (Utf8Length(p) > kMaxPathChars) p = Utf8Prefix(p, kMaxPathChars) + ".eml";
  // A long subject of non-ASCII letters can pass the byte limit of one file
  // name while staying within 220 characters: shorten the name further.
  size_t slash = p.rfind('/');
  size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  if (p.size() - name_start > kMaxNameBytes) {
    std::string name = p.substr(name_start);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".eml") == 0) {
      name.resize(name.size() - 4);
    }
    while (name.size() + 4 > kMaxNameBytes) {
      name = Utf8Prefix(name, Utf8Length(name) - 1);
    }
    p = p.substr(0, name_start) + name + ".eml";
  }
  return p;
}

std::string SubjectTempPath(const std::string& output_folder, int64_t index,
                            const std::string& subject) {
  return LimitTempPath(output_folder + std::to_string(index) + "_" +
                       TrimSpaces(CleanSubject(subject)) + ".eml");
}

std::string IndexTempPath(const std::string& output_folder, int64_t index) {
  return LimitTempPath(output_folder + std::to_string(index) + ".eml");
}

std::string FolderNameFromFileName(const std::string& file_name) {
  std::string s = TrimSpaces(file_name);
  const std::string ext = ".dbx";
  size_t pos;
  while ((pos = s.find(ext)) != std::string::npos) s.erase(pos, ext.size());
  return s;
}

float ProgressValue(int64_t done, int64_t count) {
  if (count <= 0) return 0.0f;
  return static_cast<float>(done) / static_cast<float>(count) * 100.0f;
}

std::string ProgressText(float bar_value, int64_t done, int64_t count) {
  // nearbyint rounds halves to the even neighbour in the default mode.
  long shown = std::lrint(std::nearbyint(bar_value));
  return std::to_string(shown) + " % Done. " + std::to_string(done) + "/" +
         std::to_string(count) + " Email Message(s) Converted.";
}

}  // namespace tollan
