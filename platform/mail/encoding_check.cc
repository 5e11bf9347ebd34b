// Base64 and quoted-printable well-formedness.
#include "platform/mail/encoding_check.h"

namespace mail {

namespace {

bool IsBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string CheckBase64(std::string_view s) {
  size_t data = 0, pad = 0;
  for (char c : s) {
    if (IsBlank(c)) continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    if (!IsBase64Char(c)) return "invalid character in base64 data";
    if (pad > 0) {
      // Data after padding: a second encoded block glued on; readable only
      // when the first one ended on a whole quantum.
      if ((data + pad) % 4 != 0) return "base64 data continues after padding";
      pad = 0;
    }
    ++data;
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
