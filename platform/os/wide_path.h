// UTF-8 paths as Windows wide-character paths.
#ifndef TOLLAN_PLATFORM_OS_WIDE_PATH_H_
#define TOLLAN_PLATFORM_OS_WIDE_PATH_H_

#include <string>

namespace os {

// `utf8` as UTF-16.
std::wstring Wide(const std::string& utf8);

// `utf8` as UTF-16 for a path. A path too long for the old 260-character limit is
// made a full "\\?\" path (with '\' only), which the wide calls take at any
// length; shorter paths keep their form ('/' and relative paths work).
std::wstring WidePath(const std::string& utf8);

// UTF-16 from the system as UTF-8 (a lone surrogate becomes U+FFFD).
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace os

#endif  // TOLLAN_PLATFORM_OS_WIDE_PATH_H_
