// UTF-8 / UTF-16 conversion for names crossing the public interface.
#ifndef TOLLAN_PLATFORM_PST_MESSAGING_UTF_H_
#define TOLLAN_PLATFORM_PST_MESSAGING_UTF_H_

#include <string>

namespace pst::messaging {

// Malformed UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& s);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& s);

}  // namespace pst::messaging

#endif  // TOLLAN_PLATFORM_PST_MESSAGING_UTF_H_
