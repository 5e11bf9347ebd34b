// ImportMessage: turns one Internet message (RFC 5322 with MIME) into the
// content of a message store message, as [MS-OXCMAIL] maps it (and
// [MS-OXOSMIME] for signed and encrypted mail): envelope and header
// properties, recipient rows, plain and HTML bodies, attachments, and
// attached messages as embedded messages.
//
// The result carries no read flag and no delivery date: the caller adds
// those (MessageContent::Set) before handing it to the PST writer.
//
// Damaged input (broken multipart structure, bad base64 or quoted-printable,
// undecodable text) is imported as far as it can be read. Nothing of the
// original is lost: whenever something could not be mapped faithfully the
// whole original message is attached as "Original message.eml", and the
// report says what happened.
#ifndef TOLLAN_PLATFORM_MAIL_IMPORT_H_
#define TOLLAN_PLATFORM_MAIL_IMPORT_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/pst/message.h"
#include "platform/pst/status.h"

namespace mail {

struct ImportOptions {
  // Windows code page for 8-bit text (headers and bodies) without a charset
  // label. Outlook Express wrote such mail in the sender's system code page.
  uint32_t default_code_page = 1252;
  // Read unlabelled 8-bit text as UTF-8 when it is valid UTF-8.
  bool guess_utf8 = true;
  // Attached messages nested deeper than this are kept as .eml files
  // instead of embedded messages.
  int max_embedding_depth = 8;
  // PidTagCreationTime / PidTagLastModificationTime as FILETIME ticks;
  // 0 means the current time.
  uint64_t now_filetime = 0;
  // GMime parses every header field itself, as it does for a message whose
  // header block is not plain. Slower, with the same result: it is there to
  // check that the quicker reading of plain header blocks gives the same.
  bool parse_whole = false;
};

struct ImportReport {
  // Oddities that were handled without losing anything (8-bit header text,
  // an unknown charset read in the default code page, ...).
  std::vector<std::string> warnings;
  // What could not be mapped faithfully. When not empty, the original
  // message is attached (original_attached), so every byte stays reachable;
  // a clear-signed message needs no copy, as its signed entity is already
  // kept whole (signed_entity_kept).
  std::vector<std::string> unmapped;
  bool original_attached = false;
  bool signed_entity_kept = false;

  bool clean() const { return warnings.empty() && unmapped.empty(); }
};

// Imports `rfc822` into `out` (replacing its contents). `report` may be
// null. Fails only for a missing `out` or input over 2 GiB; damaged
// messages succeed with a report.
pst::Status ImportMessage(std::span<const uint8_t> rfc822, const ImportOptions& opts, pst::MessageContent* out,
                          ImportReport* report);

// The same for a text the result may share: an attachment of 256 KiB or
// more of encoded text is not decoded here; its value is a PartSource over
// the text (part_source.h), decoded when the PST writer stores it, so that
// the text and the decoded attachment are never in memory at once. The
// text stays alive while `out` holds such a value.
pst::Status ImportMessage(std::shared_ptr<const std::string> rfc822, const ImportOptions& opts,
                          pst::MessageContent* out, ImportReport* report);

// Reads the file at `path` (read-only) and imports it as a shared text.
pst::Status ImportMessage(const std::filesystem::path& path, const ImportOptions& opts, pst::MessageContent* out,
                          ImportReport* report);

// The name under which the original message is attached when needed.
inline constexpr char16_t kOriginalMessageName[] = u"Original message.eml";

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_IMPORT_H_
