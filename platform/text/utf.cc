// UTF-8 / UTF-16 conversion and validity.
#include "platform/text/utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>

namespace text {

namespace {

bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The length of a run of ASCII bytes starting at s[pos].
size_t AsciiRun(std::string_view s, size_t pos) {
  size_t end = pos;
  while (end < s.size() && static_cast<unsigned char>(s[end]) < 0x80) ++end;
  return end - pos;
}

// Copies the run of ASCII bytes at the start of src[0, n) to dst, one unit
// each, and returns its length. Sixteen bytes at a time where the processor
// has the vector instructions, eight at a time elsewhere.
size_t WidenAscii(const unsigned char* src, size_t n, char16_t* dst) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    if (_mm_movemask_epi8(bytes) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(bytes, zero));
  }
#endif
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, src + i, sizeof word);
    if ((word & 0x8080808080808080ull) != 0) break;
    for (size_t k = 0; k < 8; ++k) dst[i + k] = src[i + k];
  }
  for (; i < n && src[i] < 0x80; ++i) dst[i] = src[i];
  return i;
}

}  // namespace

size_t DecodeUtf8(std::string_view s, size_t pos, char32_t* cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  size_t len;
  char32_t c;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    c = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    c = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    c = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;  // a continuation byte or 0xF8..0xFF
  }
  if (len > s.size() - pos) return 0;
  for (size_t i = 1; i < len; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || IsSurrogate(c)) return 0;
  *cp = c;
  return len;
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp > 0x10FFFF || IsSurrogate(cp)) cp = kReplacement;
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(char32_t cp, std::u16string* out) {
  if (cp > 0x10FFFF || IsSurrogate(cp)) cp = kReplacement;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
}

bool IsValidUtf8(std::string_view s) {
  size_t pos = 0;
  char32_t cp;
  while (pos < s.size()) {
    pos += AsciiRun(s, pos);
    if (pos == s.size()) break;
    const size_t len = DecodeUtf8(s, pos, &cp);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::string MakeValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  char32_t cp;
  while (pos < bytes.size()) {
    const size_t run = AsciiRun(bytes, pos);
    out.append(bytes.substr(pos, run));
    pos += run;
    if (pos == bytes.size()) break;
    const size_t len = DecodeUtf8(bytes, pos, &cp);
    if (len == 0) {
      AppendUtf8(kReplacement, &out);
      ++pos;
    } else {
      out.append(bytes.substr(pos, len));
      pos += len;
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8, bool* valid) {
  // No input byte gives more than one UTF-16 unit (a four-byte sequence
  // gives two), so the output is written in place and cut to size at the end.
  std::u16string out(utf8.size(), u'\0');
  char16_t* dst = out.data();
  const auto* src = reinterpret_cast<const unsigned char*>(utf8.data());
  bool all_valid = true;
  size_t pos = 0;
  char32_t cp;
  while (pos < utf8.size()) {
    const size_t run = WidenAscii(src + pos, utf8.size() - pos, dst);
    pos += run;
    dst += run;
    if (pos == utf8.size()) break;
    const size_t len = DecodeUtf8(utf8, pos, &cp);
    if (len == 0) {
      *dst++ = static_cast<char16_t>(kReplacement);
      all_valid = false;
      ++pos;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      pos += len;
    } else {
      *dst++ = static_cast<char16_t>(cp);
      pos += len;
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  if (valid != nullptr) *valid = all_valid;
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (IsHighSurrogate(u) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00), &out);
      ++i;
    } else {
      AppendUtf8(u, &out);  // a lone surrogate becomes U+FFFD
    }
  }
  return out;
}

}  // namespace text
