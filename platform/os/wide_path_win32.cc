// UTF-8 paths as wide-character paths (see wide_path.h).
#include "platform/os/wide_path.h"

#include <windows.h>

#include "platform/text/utf.h"

namespace os {

std::wstring Wide(const std::string& utf8) {
  const std::u16string u = text::Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

std::wstring WidePath(const std::string& utf8) {
  std::wstring w = Wide(utf8);
  // Room for the longest name put beside it (".partial" and a number).
  if (w.size() < 200 || w.rfind(L"\\\\?\\", 0) == 0) return w;
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return w;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string Utf8FromWide(const std::wstring& wide) {
  return text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace os
