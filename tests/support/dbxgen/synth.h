// Synthesized Internet messages: deterministic, realistic RFC 5322 / MIME
// texts for sample stores, so that converters downstream get meaningful
// input. Message i of a seed is always the same text. The kinds rotate
// through plain text, Latin-1 quoted-printable, HTML, multipart/alternative,
// attachments, Cyrillic (KOI8-R), Japanese (ISO-2022-JP), newsgroup
// postings, signed messages and replies, with RFC 2047 encoded-word
// subjects and names among them.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_SYNTH_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_SYNTH_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/dbxgen/eml.h"
#include "tests/support/dbxgen/message.h"

namespace dbxgen {

enum class SynthKind {
  kPlain,
  kLatin1,
  kHtml,
  kAlternative,
  kAttachment,
  kCyrillic,
  kJapanese,
  kNews,
  kSigned,
  kReply,
};
inline constexpr int kSynthKindCount = 10;

struct SynthOptions {
  uint64_t seed = 1;
  // Target size of each message text in bytes (within a few percent; never
  // below what the message's structure needs). 0: natural sizes, 1 to 12 KB.
  std::size_t message_size = 0;
  EmlDefaults defaults;
};

SynthKind SynthKindOf(std::size_t index, const SynthOptions& options);

// The text of message `index` (CR LF line ends).
std::string SynthesizeEml(std::size_t index, const SynthOptions& options);

// The text with its record fields (see MessageFromEml), and flags that vary
// from message to message: some unread, some marked, some watched.
Message SynthesizeMessage(std::size_t index, const SynthOptions& options);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_SYNTH_H_
