// Checks the transfer encoding of a MIME part before it is decoded. GMime
// decodes broken base64 and quoted-printable without complaint (skipping what
// it cannot read); the import needs to know, to keep the original.
#ifndef TOLLAN_PLATFORM_MAIL_ENCODING_CHECK_H_
#define TOLLAN_PLATFORM_MAIL_ENCODING_CHECK_H_

#include <string>
#include <string_view>

namespace mail {

// "" when `encoded` is well formed for `encoding` ("base64",
// "quoted-printable"; other encodings are not checked), else what is wrong.
std::string CheckTransferEncoding(std::string_view encoding, std::string_view encoded);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_ENCODING_CHECK_H_
