// Text helpers of the registry layer: the byte form of UTF-16 (the registry's
// own encoding), registry name comparison without regard to case, and the
// ANSI code page through which the "A" forms of the registry calls pass text.
#ifndef TOLLAN_PLATFORM_REGISTRY_TEXT_H_
#define TOLLAN_PLATFORM_REGISTRY_TEXT_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/status.h"
#include "platform/text/utf.h"

namespace registry {

// Little-endian byte form of UTF-16 text and back (an odd last byte is dropped).
std::string Utf16ToLeBytes(std::u16string_view text);
std::u16string LeBytesToUtf16(std::string_view bytes);

// Folds a UTF-8 name for comparison the way the registry compares key and
// value names: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters
// compare without regard to case; everything else compares as is.
std::string FoldCase(std::string_view utf8);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// An ANSI code page, named as iconv names it ("WINDOWS-1252", "CP1251",
// "UTF-8"). Conversions never fail: a character the code page cannot hold
// becomes '?', as the system's own conversion does with its default character.
class CodePage {
 public:
  // The code page the "A" calls use unless configured otherwise.
  static constexpr const char* kDefaultName = "WINDOWS-1252";

  // Checks that iconv knows `name` in both directions.
  static Status Open(const std::string& name, std::unique_ptr<CodePage>* out);

  const std::string& name() const { return name_; }
  std::string FromUtf16(std::u16string_view text) const;
  std::string FromUtf8(std::string_view text) const { return FromUtf16(text::Utf8ToUtf16(text)); }
  std::string ToUtf8(std::string_view ansi) const;

 private:
  explicit CodePage(std::string name) : name_(std::move(name)) {}
  std::string name_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_TEXT_H_
