// HTML to plain text.
#include "platform/mail/html_text.h"

#include <cstdint>

#include "platform/text/utf.h"

namespace mail {

namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f'; }

// The lower-case tag name at `pos` (just after '<' and an optional '/').
std::u16string TagName(std::u16string_view h, size_t pos) {
  std::u16string name;
  while (pos < h.size() && ((h[pos] >= u'a' && h[pos] <= u'z') || (h[pos] >= u'A' && h[pos] <= u'Z') ||
                            (h[pos] >= u'0' && h[pos] <= u'9'))) {
    name.push_back(Lower(h[pos]));
    ++pos;
  }
  return name;
}

bool IsBlockTag(const std::u16string& n) {
  static const char16_t* const kBlocks[] = {u"p",  u"div", u"tr", u"li", u"h1",    u"h2",         u"h3",
                                            u"h4", u"h5",  u"h6", u"table", u"blockquote", u"pre", u"ul",
                                            u"ol", u"hr",  u"title"};
  for (const char16_t* b : kBlocks) {
    if (n == b) return true;
  }
  return false;
}

// Decodes the character reference at h[pos] == '&'; returns the characters
// consumed (0 when it is not a reference).
size_t DecodeEntity(std::u16string_view h, size_t pos, std::u16string* out) {
  size_t end = pos + 1;
  while (end < h.size() && end - pos < 12 && h[end] != u';' && !IsSpace(h[end]) && h[end] != u'&' &&
         h[end] != u'<')
    ++end;
  if (end >= h.size() || h[end] != u';') return 0;
  std::u16string_view name = h.substr(pos + 1, end - pos - 1);
  if (name.size() >= 2 && name[0] == u'#') {
    uint32_t cp = 0;
    bool hex = name[1] == u'x' || name[1] == u'X';
    size_t i = hex ? 2 : 1;
    if (i >= name.size()) return 0;
    for (; i < name.size(); ++i) {
      char16_t c = name[i];
      uint32_t d;
      if (c >= u'0' && c <= u'9') d = c - u'0';
      else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
      else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
      else return 0;
      cp = cp * (hex ? 16 : 10) + d;
      if (cp > 0x10FFFF) cp = 0x110000;
    }
    // A reference to NUL reads as U+FFFD, as a surrogate or too large a number does.
    text::AppendUtf16(cp == 0 ? text::kReplacement : cp, out);
    return end - pos + 1;
  }
  struct Named {
    const char16_t* name;
    char16_t c;
  };
  static const Named kNamed[] = {{u"nbsp", 0xA0}, {u"amp", u'&'},    {u"lt", u'<'},     {u"gt", u'>'},
                                 {u"quot", u'"'}, {u"apos", u'\''},  {u"copy", 0xA9},   {u"reg", 0xAE},
                                 {u"euro", 0x20AC}, {u"hellip", 0x2026}, {u"mdash", 0x2014}, {u"ndash", 0x2013},
                                 {u"laquo", 0xAB}, {u"raquo", 0xBB}};
  for (const auto& n : kNamed) {
    if (name == n.name) {
      out->push_back(n.c);
      return end - pos + 1;
    }
  }
  return 0;
}

}  // namespace

std::u16string HtmlToText(std::u16string_view h) {
  std::u16string out;
  out.reserve(h.size() / 2);
  bool pending_space = false;
  auto newline = [&]() {
    while (!out.empty() && out.back() == u' ') out.pop_back();
    out += u"\r\n";
    pending_space = false;
  };
  size_t i = 0;
  while (i < h.size()) {
    char16_t c = h[i];
    if (c == u'<') {
      if (h.substr(i, 4) == u"<!--") {
        size_t e = h.find(u"-->", i + 4);
        i = e == std::u16string_view::npos ? h.size() : e + 3;
        continue;
      }
      bool closing = i + 1 < h.size() && h[i + 1] == u'/';
      std::u16string name = TagName(h, i + (closing ? 2 : 1));
      size_t e = h.find(u'>', i + 1);
      if (name.empty() && !closing && (i + 1 >= h.size() || h[i + 1] != u'!')) {
        // A lone '<' is text.
        if (pending_space) out.push_back(u' ');
        pending_space = false;
        out.push_back(c);
        ++i;
        continue;
      }
      i = e == std::u16string_view::npos ? h.size() : e + 1;
      if (!closing && (name == u"script" || name == u"style" || name == u"head")) {
        std::u16string end_tag = u"</" + name;
        // Case-insensitive search for the end tag.
        size_t j = i;
        for (; j < h.size(); ++j) {
          if (h[j] != u'<' || j + end_tag.size() > h.size()) continue;
          bool match = true;
          for (size_t k = 0; k < end_tag.size(); ++k) {
            if (Lower(h[j + k]) != end_tag[k]) {
              match = false;
              break;
            }
          }
          if (match) break;
        }
        size_t close = j < h.size() ? h.find(u'>', j) : std::u16string_view::npos;
        i = close == std::u16string_view::npos ? h.size() : close + 1;
        continue;
      }
      if (name == u"br" || IsBlockTag(name)) {
        if (name == u"br" || out.empty() || out.back() != u'\n') newline();
      } else if (name == u"td" || name == u"th") {
        pending_space = !out.empty() && out.back() != u'\n';
      }
      continue;
    }
    if (IsSpace(c)) {
      pending_space = !out.empty() && out.back() != u'\n';
      ++i;
      continue;
    }
    if (pending_space) {
      out.push_back(u' ');
      pending_space = false;
    }
    if (c == u'&') {
      size_t used = DecodeEntity(h, i, &out);
      if (used > 0) {
        i += used;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  while (!out.empty() && (out.back() == u' ' || out.back() == u'\n' || out.back() == u'\r')) out.pop_back();
  size_t b = 0;
  while (b < out.size() && (out[b] == u'\r' || out[b] == u'\n')) ++b;
  return out.substr(b);
}

}  // namespace mail
