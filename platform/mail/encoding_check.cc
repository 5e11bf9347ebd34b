// Base64 and quoted-printable well-formedness.
#include "platform/mail/encoding_check.h"

#include <cstdint>

namespace mail {

namespace {

// Byte classes for the base64 scan, one table lookup per byte.
enum : uint8_t { kInvalid = 0, kData = 1, kBlank = 2, kPad = 3 };

struct Base64Classes {
  uint8_t of[256] = {};
  constexpr Base64Classes() {
    for (int c = 'A'; c <= 'Z'; ++c) of[c] = kData;
    for (int c = 'a'; c <= 'z'; ++c) of[c] = kData;
    for (int c = '0'; c <= '9'; ++c) of[c] = kData;
    of[static_cast<int>('+')] = kData;
    of[static_cast<int>('/')] = kData;
    for (int c : {' ', '\t', '\r', '\n'}) of[c] = kBlank;
    of[static_cast<int>('=')] = kPad;
  }
};
constexpr Base64Classes kBase64;


bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string CheckBase64(std::string_view s) {
  size_t data = 0, pad = 0;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    // The common case: a run of data bytes.
    const uint8_t* run = p;
    while (p < end && kBase64.of[*p] == kData) ++p;
    if (p != run) {
      if (pad > 0) {
        // Data after padding: a second encoded block glued on; readable
        // only when the first one ended on a whole quantum.
        if ((data + pad) % 4 != 0) return "base64 data continues after padding";
        pad = 0;
      }
      data += static_cast<size_t>(p - run);
      continue;
    }
    switch (kBase64.of[*p]) {
      case kBlank: break;
      case kPad: ++pad; break;
      default: return "invalid character in base64 data";
    }
    ++p;
  }
  if (pad > 2) return "too much base64 padding";
  if ((data + pad) % 4 == 1 || (pad > 0 && (data + pad) % 4 != 0)) return "base64 data is truncated";
  return "";
}

std::string CheckQuotedPrintable(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '=') continue;
    if (i + 2 < s.size() && IsHex(s[i + 1]) && IsHex(s[i + 2])) {
      i += 2;
      continue;
    }
    // Soft line break: '=' then optional blanks then the end of the line.
    size_t j = i + 1;
    while (j < s.size() && (s[j] == ' ' || s[j] == '\t')) ++j;
    if (j == s.size() || s[j] == '\n' || (s[j] == '\r' && (j + 1 == s.size() || s[j + 1] == '\n'))) continue;
    return "invalid escape in quoted-printable data";
  }
  return "";
}

}  // namespace

std::string CheckTransferEncoding(std::string_view encoding, std::string_view encoded) {
  if (encoding == "base64") return CheckBase64(encoded);
  if (encoding == "quoted-printable") return CheckQuotedPrintable(encoded);
  return "";
}

}  // namespace mail
