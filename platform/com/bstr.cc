// BSTR allocation and text conversion between UTF-16, UTF-8 and Windows-1252.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/com/automation.h"
#include "platform/text/utf.h"

namespace {

// Allocation layout: [uint32 byte length][characters][zero character].
constexpr size_t kPrefix = sizeof(std::uint32_t);

// Windows-1252 bytes 0x80..0x9F; undefined bytes map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

#if !defined(_WIN32)
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  if (bytes > 0xFFFFFFF0u) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const std::uint32_t stored = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &stored, kPrefix);
  BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
  if (text != nullptr) {
    std::memcpy(result, text, bytes);
  } else {
    std::memset(result, 0, bytes);
  }
  result[length] = 0;
  return result;
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) {
  if (length > 0xFFFFFFF0u) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + length + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const std::uint32_t stored = length;
  std::memcpy(block, &stored, kPrefix);
  unsigned char* data = block + kPrefix;
  if (bytes != nullptr) {
    std::memcpy(data, bytes, length);
  } else {
    std::memset(data, 0, length);
  }
  std::memset(data + length, 0, sizeof(OLECHAR));  // ends like any BSTR
  return reinterpret_cast<BSTR>(data);
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
  return bytes;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
#endif

namespace tollan::com {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "automation strings are UTF-16");

std::u16string_view BstrView(BSTR text) {
  if (text == nullptr) return {};
  // Windows spells a UTF-16 unit wchar_t; the layout is the same.
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

std::u16string Utf16FromAnsi(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  while (i < bytes.size()) {
    // Eight plain ASCII bytes at a time, the bulk of any mail, skip the table.
    uint64_t word;
    if (i + 8 <= bytes.size()) {
      std::memcpy(&word, in + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        for (size_t k = 0; k < 8; ++k) out[i + k] = in[i + k];
        i += 8;
        continue;
      }
    }
    for (const size_t end = std::min(bytes.size(), i + 8); i < end; ++i) {
      const unsigned char b = in[i];
      out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
  }
  return out;
}

std::string AnsiFromUtf16(std::u16string_view text) {
  std::string out(text.size(), '?');
  size_t i = 0;
  while (i < text.size()) {
    // Four plain ASCII units at a time, the bulk of any mail, skip the table.
    uint64_t word;
    if (i + 4 <= text.size()) {
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0xFF80FF80FF80FF80ull) == 0) {
        for (size_t k = 0; k < 4; ++k) out[i + k] = static_cast<char>(text[i + k]);
        i += 4;
        continue;
      }
    }
    for (const size_t end = std::min(text.size(), i + 4); i < end; ++i) {
      const char16_t c = text[i];
      if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
        out[i] = static_cast<char>(c);
        continue;
      }
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == c) {
          out[i] = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
  }
  return out;
}

BSTR AllocBstr(std::u16string_view text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

BSTR AllocBstrUtf8(std::string_view text) { return AllocBstr(text::Utf8ToUtf16(text)); }

std::string Utf8FromBstr(BSTR text) { return text::Utf16ToUtf8(BstrView(text)); }

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) {
    BSTR copy = AllocBstr(other.view());
    SysFreeString(text_);
    text_ = copy;
  }
  return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(text_);
    text_ = other.text_;
    other.text_ = nullptr;
  }
  return *this;
}

BSTR* Bstr::out() {
  SysFreeString(text_);
  text_ = nullptr;
  return &text_;
}

BSTR Bstr::release() {
  BSTR result = text_;
  text_ = nullptr;
  return result;
}

}  // namespace tollan::com
