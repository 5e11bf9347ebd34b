// The ANSI code page of the Windows build, through the system's conversions.
// Names are those iconv uses on Linux: "WINDOWS-1252", "CP1251", "UTF-8".
#include <windows.h>

#include <cctype>

#include "platform/registry/text.h"
#include "platform/text/utf.h"

namespace registry {
namespace {

// The code page number a name stands for, or 0.
UINT CodePageNumber(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
  for (const char* prefix : {"WINDOWS-", "CP"}) {
    const std::string p(prefix);
    if (upper.compare(0, p.size(), p) == 0 && upper.size() > p.size()) {
      UINT number = 0;
      for (size_t i = p.size(); i < upper.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(upper[i]))) return 0;
        number = number * 10 + static_cast<UINT>(upper[i] - '0');
        if (number > 65535) return 0;
      }
      return number;
    }
  }
  return 0;
}

}  // namespace

Status CodePage::Open(const std::string& name, std::unique_ptr<CodePage>* out) {
  const UINT number = CodePageNumber(name);
  if (number == 0 || !IsValidCodePage(number)) {
    return Status::InvalidArgument("code page \"" + name + "\" is not known to the system");
  }
  out->reset(new CodePage(name));
  return Status::Ok();
}

std::string CodePage::FromUtf16(std::u16string_view text) const {
  if (text.empty()) return {};
  const UINT cp = CodePageNumber(name_);
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = static_cast<int>(text.size());
  // The default character for what the code page cannot hold is '?'.
  const int length = WideCharToMultiByte(cp, 0, wide, n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(cp, 0, wide, n, out.data(), length, nullptr, nullptr);
  return out;
}

std::string CodePage::ToUtf8(std::string_view ansi) const {
  if (ansi.empty()) return {};
  const UINT cp = CodePageNumber(name_);
  const int n = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(cp, 0, ansi.data(), n, nullptr, 0);
  std::u16string wide(static_cast<size_t>(length), u'\0');
  MultiByteToWideChar(cp, 0, ansi.data(), n, reinterpret_cast<wchar_t*>(wide.data()), length);
  return text::Utf16ToUtf8(wide);
}

}  // namespace registry
