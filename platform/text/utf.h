// UTF-8 and UTF-16: conversion between the two, UTF-8 validity, and making
// arbitrary bytes valid UTF-8. Every other library that crosses between the
// two forms (the PST writer, mail import, the registry layer, the COM layer,
// the reader's object model) uses these functions, so that one piece of text
// reads the same wherever it passes. No dependencies beyond the standard
// library; usable on its own.
//
// One contract for input that is not well formed:
//
//   * Well-formed UTF-8 is what Unicode defines: each character in its
//     shortest form, complete, at most U+10FFFF and never a surrogate code
//     point (U+D800..U+DFFF).
//   * Reading UTF-8 (Utf8ToUtf16, MakeValidUtf8): each byte that does not
//     start a well-formed sequence becomes one U+FFFD, and reading goes on
//     with the next byte. So the overlong "\xC0\xAF" gives two U+FFFD, not
//     '/'; "\xE2\x82" cut short at the end gives two; the encoded surrogate
//     "\xED\xA0\x80" gives three; a stray continuation byte gives one.
//     Nothing fails and no input is dropped without a mark.
//   * Reading UTF-16 (Utf16ToUtf8): a high surrogate followed by a low one is
//     one character; any other surrogate (a "lone" one) becomes U+FFFD.
//   * Every string these functions return is well formed.
//
// Typical use:
//   std::u16string name = text::Utf8ToUtf16(utf8_name);
//   bool valid;
//   std::u16string body = text::Utf8ToUtf16(bytes, &valid);  // valid: nothing replaced
//   std::string shown = text::MakeValidUtf8(path_bytes);
#ifndef TOLLAN_PLATFORM_TEXT_UTF_H_
#define TOLLAN_PLATFORM_TEXT_UTF_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The replacement character that stands for input that could not be read.
inline constexpr char32_t kReplacement = 0xFFFD;

// Reads the character whose UTF-8 form starts at s[pos] (pos < s.size()).
// Returns the length of its sequence (1 to 4) and sets *cp, or returns 0,
// leaving *cp alone, when the bytes there are not a well-formed sequence.
size_t DecodeUtf8(std::string_view s, size_t pos, char32_t* cp);

// Append one character in UTF-8 or UTF-16; a surrogate code point or a value
// above U+10FFFF is appended as U+FFFD.
void AppendUtf8(char32_t cp, std::string* out);
void AppendUtf16(char32_t cp, std::u16string* out);

// True when all of `s` is well-formed UTF-8 (the empty string is).
bool IsValidUtf8(std::string_view s);

// `bytes` with every byte that does not start a well-formed sequence replaced
// by U+FFFD ("\xEF\xBF\xBD"); valid UTF-8 comes back unchanged. For showing
// names, paths and other bytes of unknown encoding in reports and messages.
std::string MakeValidUtf8(std::string_view bytes);

// UTF-8 to UTF-16. `valid` (optional) is set to whether the input was
// well-formed UTF-8, that is, whether nothing was replaced.
std::u16string Utf8ToUtf16(std::string_view utf8, bool* valid = nullptr);

// UTF-16 to UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace text

#endif  // TOLLAN_PLATFORM_TEXT_UTF_H_
