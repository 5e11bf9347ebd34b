// Header text as mail readers show it: encoded-words (RFC 2047) and
// parameter values (RFC 2231) decoded to UTF-8.
//
// Each encoded-word is decoded on its own, so a base64 word padded in the
// middle of a run loses nothing. Bytes of adjacent words in the same charset
// are joined only where a character was split between them. Blanks between
// adjacent encoded-words are dropped; words that do not parse stay as
// written; a charset the converter does not know, or a word whose bytes do
// not fit its label, is read with the text defaults (UTF-8 when valid, else
// the default code page).
//
//   TextDefaults d;
//   std::string s = DecodeHeaderText(" =?UTF-8?B?TXlTdXJ2ZXk=?=\r\n =?UTF-8?B?LmNvbQ==?=", d);
//   // s == "MySurvey.com"
#ifndef TOLLAN_PLATFORM_MAIL_ENCODED_WORDS_H_
#define TOLLAN_PLATFORM_MAIL_ENCODED_WORDS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/mail/charset.h"

namespace mail {

// Unstructured header text (Subject, a parameter value, a display name):
// line breaks of folding removed, encoded-words decoded, leading and
// trailing blanks trimmed; 8-bit text outside encoded-words is read with
// `defaults`. `lossy` (may be null) is set when some bytes fit no charset.
std::string DecodeHeaderText(std::string_view raw, const TextDefaults& defaults, bool* lossy = nullptr);

// An address-list field (From, To, ...) rewritten so that an address parser
// which no longer needs to decode anything reads the names right: every run
// of encoded-words outside comments and angle brackets is replaced by its
// decoded text as a quoted string (inside a quoted string: as escaped text),
// and 8-bit text is converted to UTF-8 with `defaults`.
std::string DecodeAddressWords(std::string_view raw, const TextDefaults& defaults);

// The value of parameter `name` of a structured field value such as
// `attachment; filename="a.txt"` ("" when absent): RFC 2231 forms
// (name*=, name*0=, name*0*=, ...) joined and read in their charset, a
// plain value with its quotes and escapes removed and encoded-words decoded.
// `found` (may be null) says whether the parameter was present.
std::string HeaderParameter(std::string_view field_value, std::string_view name, const TextDefaults& defaults,
                            bool* found = nullptr);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_ENCODED_WORDS_H_
