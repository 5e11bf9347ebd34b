// Internet messages (RFC 5322 / MIME) as Outlook Express stores them: the
// text with CR LF line ends, and the record fields that Outlook Express
// derives from its header (subject, sender and recipient, identifiers,
// dates, priority, lines, flags).
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_EML_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_EML_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/dbxgen/message.h"

namespace dbxgen {

// Values a message header does not provide.
struct EmlDefaults {
  uint32_t flags = kFlagRead | kFlagDownloaded;  // 0x01000080, plus what the text shows
  std::string account = "Local Mail";
  std::string server = "pop.example.com";
  std::string registry_key = "00000001";
  // Received time = sent time + this many seconds.
  int64_t receive_delay_seconds = 97;
  // Used when the message has no parseable Date header.
  uint64_t fallback_date = 0x01C2B1A7D6A8C000;  // 2003-01-01 00:00 UTC
};

// The message with its text (line ends made CR LF) and the record fields
// taken from its header.
Message MessageFromEml(std::string_view text, const EmlDefaults& defaults = {});

// Line ends made CR LF.
std::string ToCrLf(std::string_view text);

// A header field's text decoded to single-byte ANSI (Windows-1252): RFC 2047
// encoded words in UTF-8, ISO-8859-1, Windows-1252 or US-ASCII are decoded,
// characters outside the code page become '?', and so does any byte of an
// encoded word in another charset.
std::string DecodeHeaderText(std::string_view text);

// The FILETIME of an RFC 5322 date ("Tue, 1 Jul 2003 10:52:37 +0200").
std::optional<uint64_t> ParseRfc5322Date(std::string_view text);

// Display name and address of the first mailbox of an address list.
struct Mailbox {
  std::string name;     // decoded, "" when absent
  std::string address;
};
Mailbox ParseMailbox(std::string_view text);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_EML_H_
