// Fuzz target for UTF-8 / UTF-16 conversion: arbitrary bytes are read as
// UTF-8 and as UTF-16 units, and the results are checked against each other:
// every output is valid UTF-8, the validity flag agrees with IsValidUtf8, and
// converting to UTF-16 and back gives what MakeValidUtf8 gives, and the
// conversion to UTF-16 gives what decoding one character at a time gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/utf.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The conversion one character at a time, which the word-at-a-time ASCII
// path of Utf8ToUtf16 must agree with.
std::u16string Utf8ToUtf16ByCharacter(std::string_view s) {
  std::u16string out;
  char32_t cp;
  for (size_t pos = 0; pos < s.size();) {
    const size_t len = text::DecodeUtf8(s, pos, &cp);
    text::AppendUtf16(len == 0 ? text::kReplacement : cp, &out);
    pos += len == 0 ? 1 : len;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  bool valid = false;
  const std::u16string utf16 = text::Utf8ToUtf16(bytes, &valid);
  Check(valid == text::IsValidUtf8(bytes));
  Check(utf16.size() <= bytes.size());
  Check(utf16 == Utf8ToUtf16ByCharacter(bytes));
  const std::string fixed = text::MakeValidUtf8(bytes);
  Check(text::IsValidUtf8(fixed));
  Check(!valid || fixed == bytes);
  Check(text::Utf16ToUtf8(utf16) == fixed);
  Check(text::Utf8ToUtf16(fixed) == utf16);

  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  Check(text::IsValidUtf8(text::Utf16ToUtf8(units)));
  return 0;
}
