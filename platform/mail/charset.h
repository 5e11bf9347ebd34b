// Text in the character sets of Internet mail: mapping MIME charset labels to
// Windows code page numbers (for PidTagInternetCodepage) and converting text
// in any of them to UTF-16, the form the message store keeps strings in.
#ifndef TOLLAN_PLATFORM_MAIL_CHARSET_H_
#define TOLLAN_PLATFORM_MAIL_CHARSET_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace mail {

// The charset label folded to lower case with the common spellings of the
// same set made one ("ISO8859_1" -> "iso-8859-1", "cp1252" -> "windows-1252").
std::string NormalizeCharset(std::string_view charset);

// The Windows code page of a MIME charset, or 0 when it has none.
uint32_t CodePageForCharset(std::string_view charset);

// The MIME charset name of a Windows code page ("windows-1252" for 1252), or
// "" when the code page is not one this module knows.
std::string CharsetForCodePage(uint32_t code_page);

// Text converted to UTF-16. `lossy` is set when some input could not be
// converted and was replaced by U+FFFD.
struct DecodedText {
  std::u16string text;
  bool lossy = false;
};

// Converts `bytes` in `charset` to UTF-16. Returns false, leaving `out`
// untouched, when the charset is not known to the converter.
bool DecodeCharset(std::string_view bytes, std::string_view charset, DecodedText* out);

// How text without a usable charset label is read: as UTF-8 when it is valid
// UTF-8 and `guess_utf8` is set, otherwise in `default_code_page`.
struct TextDefaults {
  uint32_t default_code_page = 1252;
  bool guess_utf8 = true;
};

// The charset actually used to read a body part: its label when the label is
// known and fits the bytes, otherwise the defaults. `note` (may be null)
// receives a short explanation when the label was not used.
std::string ChooseCharset(std::string_view bytes, std::string_view label, const TextDefaults& defaults,
                          std::string* note);

// Converts with ChooseCharset's choice; never fails (bytes that fit no
// charset become U+FFFD and set `lossy`).
DecodedText DecodeText(std::string_view bytes, std::string_view label, const TextDefaults& defaults,
                       std::string* used_charset = nullptr, std::string* note = nullptr);

// True when no byte of `bytes` is above 0x7F. (UTF-8 validity and conversion
// between UTF-8 and UTF-16 are in platform/text/utf.h.)
bool IsAscii(std::string_view bytes);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_CHARSET_H_
