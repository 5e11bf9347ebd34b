// UTF-16 byte form, name folding and the iconv-backed ANSI code page.
#include "platform/registry/text.h"

#include <errno.h>
#if !defined(_WIN32)
#include <iconv.h>
#endif

#include <vector>

namespace registry {

namespace {

char32_t FoldCodePoint(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

#if !defined(_WIN32)
// Runs iconv over `in`, writing '?' for each input unit it cannot convert.
// `unit` is the size of one input unit to skip on an invalid sequence.
std::string ConvertLossy(const char* to, const char* from, std::string_view in, size_t unit,
                         bool utf16_input) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  std::vector<char> buffer(4096);
  while (src_left > 0) {
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer.data(), buffer.size() - dst_left);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: replace one character and go on.
    size_t skip = unit;
    if (utf16_input && src_left >= 4) {
      unsigned hi = static_cast<unsigned char>(src[0]) | (static_cast<unsigned char>(src[1]) << 8);
      unsigned lo = static_cast<unsigned char>(src[2]) | (static_cast<unsigned char>(src[3]) << 8);
      if (hi >= 0xD800 && hi <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF) skip = 4;
    }
    if (skip > src_left) skip = src_left;
    out.push_back('?');
    src += skip;
    src_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

#endif  // !_WIN32

}  // namespace

std::string Utf16ToLeBytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::u16string LeBytesToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
}

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b));
      ++pos;
      continue;
    }
    char32_t c;
    const size_t len = text::DecodeUtf8(utf8, pos, &c);
    if (len == 0) {
      out.push_back(utf8[pos++]);  // keep invalid bytes as they are
    } else {
      text::AppendUtf8(FoldCodePoint(c), &out);
      pos += len;
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return FoldCase(a) == FoldCase(b);
}

#if !defined(_WIN32)
Status CodePage::Open(const std::string& name, std::unique_ptr<CodePage>* out) {
  for (const auto& [to, from] : {std::pair{name.c_str(), "UTF-16LE"}, {"UTF-8", name.c_str()}}) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      return Status::InvalidArgument("code page \"" + name + "\" is not known to iconv");
    }
    iconv_close(cd);
  }
  out->reset(new CodePage(name));
  return Status::Ok();
}

std::string CodePage::FromUtf16(std::u16string_view text) const {
  std::string bytes = Utf16ToLeBytes(text);
  return ConvertLossy(name_.c_str(), "UTF-16LE", bytes, 2, true);
}

std::string CodePage::ToUtf8(std::string_view ansi) const {
  return ConvertLossy("UTF-8", name_.c_str(), ansi, 1, false);
}
#endif  // !_WIN32

}  // namespace registry
