// Attachment file name rules.
#include "platform/mail/file_names.h"

#include <algorithm>
#include <cstdio>

#include "platform/mail/charset.h"
#include "platform/text/utf.h"

namespace mail {

namespace {

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == 0x7F || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' ||
         c == u'"' || c == u'<' || c == u'>' || c == u'|';
}

bool IsShortNameChar(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return true;
  return std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos;
}

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

std::u16string CleanFileName(std::u16string_view name) {
  size_t slash = name.find_last_of(u"/\\");
  if (slash != std::u16string_view::npos) name = name.substr(slash + 1);
  std::u16string out;
  out.reserve(name.size());
  for (char16_t c : name) out.push_back(IsForbidden(c) ? u'_' : c);
  size_t b = 0, e = out.size();
  while (b < e && (out[b] == u' ' || out[b] == u'.')) ++b;
  while (e > b && (out[e - 1] == u' ' || out[e - 1] == u'.')) --e;
  return out.substr(b, e - b);
}

std::u16string FileExtension(std::u16string_view name) {
  size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || dot + 1 == name.size()) return u"";
  return std::u16string(name.substr(dot));
}

std::u16string ShortFileName(std::u16string_view long_name, std::set<std::u16string>* taken) {
  std::u16string ext_in = FileExtension(long_name);
  std::u16string_view stem_in = long_name.substr(0, long_name.size() - ext_in.size());
  std::u16string stem, ext;
  bool lossy = false;
  for (char16_t c : stem_in) {
    char16_t u = Upper(c);
    if (IsShortNameChar(u)) {
      stem.push_back(u);
    } else {
      lossy = true;
    }
  }
  for (size_t i = 1; i < ext_in.size(); ++i) {
    char16_t u = Upper(ext_in[i]);
    if (IsShortNameChar(u)) {
      ext.push_back(u);
    } else {
      lossy = true;
    }
  }
  if (ext.size() > 3) {
    ext.resize(3);
    lossy = true;
  }
  if (stem.size() > 8) lossy = true;
  if (stem.empty()) {
    stem = u"ATTACH";
    lossy = true;
  }
  auto compose = [&](std::u16string_view base, std::u16string_view tail) {
    std::u16string name;
    name.reserve(base.size() + tail.size() + 1 + ext.size());
    name.append(base);
    name.append(tail);
    if (!ext.empty()) {
      name.push_back(u'.');
      name.append(ext);
    }
    return name;
  };
  std::u16string candidate = compose(stem, u"");
  if (!lossy && taken->insert(candidate).second) return candidate;
  for (int n = 1; n < 1000000; ++n) {
    std::u16string tail(1, u'~');
    for (char digit : std::to_string(n)) tail.push_back(static_cast<char16_t>(digit));
    size_t keep = 8 - std::min<size_t>(tail.size(), 7);
    candidate = compose(std::u16string_view(stem).substr(0, keep), tail);
    if (taken->insert(candidate).second) return candidate;
  }
  return candidate;
}

std::u16string DefaultFileName(std::string_view mime_type, int number) {
  std::string t;
  for (char c : mime_type) t.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  const char* ext = ".dat";
  if (t == "text/plain") ext = ".txt";
  else if (t == "text/html") ext = ".htm";
  else if (t == "text/calendar") ext = ".ics";
  else if (t == "text/enriched" || t == "text/richtext") ext = ".txt";
  else if (t == "message/rfc822") ext = ".eml";
  else if (t == "image/jpeg" || t == "image/pjpeg") ext = ".jpg";
  else if (t == "image/gif") ext = ".gif";
  else if (t == "image/png") ext = ".png";
  else if (t == "image/bmp") ext = ".bmp";
  else if (t == "application/pdf") ext = ".pdf";
  else if (t == "application/pkcs7-signature" || t == "application/x-pkcs7-signature") ext = ".p7s";
  else if (t == "application/pkcs7-mime" || t == "application/x-pkcs7-mime") ext = ".p7m";
  else if (t == "application/ms-tnef") ext = ".dat";
  else if (t.compare(0, 5, "text/") == 0) ext = ".txt";
  char buf[64];
  std::snprintf(buf, sizeof buf, "Untitled attachment %05d%s", number, ext);
  return text::Utf8ToUtf16(buf);
}

}  // namespace mail
