// ANSI to UTF-8 conversion with glibc iconv, or MultiByteToWideChar on
// Windows.
#include "tools/kestrel/ansi_text.h"

#if defined(_WIN32)
#include <windows.h>

namespace kestrel {

std::unique_ptr<AnsiText> AnsiText::Create(int codepage, std::string* error) {
  if (!IsValidCodePage(static_cast<UINT>(codepage))) {
    *error = "unknown code page " + std::to_string(codepage);
    return nullptr;
  }
  return std::unique_ptr<AnsiText>(new AnsiText(nullptr, codepage));
}

AnsiText::~AnsiText() = default;

std::string AnsiText::ToUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  const UINT cp = static_cast<UINT>(codepage_);
  const int wide_len = MultiByteToWideChar(cp, 0, text.data(), n, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(cp, 0, text.data(), n, wide.data(), wide_len);
  const int out_len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, nullptr, 0,
                                          nullptr, nullptr);
  std::string out(static_cast<size_t>(out_len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, out.data(), out_len, nullptr, nullptr);
  return out;
}

}  // namespace kestrel

#else
#include <iconv.h>

#include <cerrno>

namespace kestrel {

std::unique_ptr<AnsiText> AnsiText::Create(int codepage, std::string* error) {
  std::string name = "CP" + std::to_string(codepage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = "unknown code page " + std::to_string(codepage);
    return nullptr;
  }
  return std::unique_ptr<AnsiText>(new AnsiText(cd, codepage));
}

AnsiText::~AnsiText() { iconv_close(static_cast<iconv_t>(cd_)); }

std::string AnsiText::ToUtf8(std::string_view text) {
  iconv_t cd = static_cast<iconv_t>(cd_);
  std::string out;
  out.reserve(text.size() * 2);
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char buffer[1024];
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof(buffer);
    size_t r = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer, dst - buffer);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An undefined or cut-off sequence: replace one byte and go on.
    unsigned char bad = static_cast<unsigned char>(*in);
    if (codepage_ == 1252 &&
        (bad == 0x81 || bad == 0x8D || bad == 0x8F || bad == 0x90 || bad == 0x9D)) {
      out += static_cast<char>(0xC2);
      out += static_cast<char>(bad);
    } else {
      out += "\xEF\xBF\xBD";
    }
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buffer;
  size_t dst_left = sizeof(buffer);
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, dst - buffer);
  return out;
}

}  // namespace kestrel
#endif  // _WIN32
