// Recovery scan: finding the messages of a folder file without trusting its
// index.
//
// A folder file keeps every message text as a chain of 528-byte body blocks
// that name their own offset, their size (512), their used length and the
// next block. Those blocks survive most damage: an index node overwritten by
// a crash, a file cut short, a message deleted but never compacted away. The
// scan reads the file once from start to end, notes every block and every
// record that carries its own offset, and then joins the blocks into chains:
//
//   dbx::DbxRecoveryScan scan;
//   dbx::DbxStatus s = dbx::ScanFolderFile(source, &scan);
//   for (const dbx::DbxRecoveredMessage& m : scan.messages) {
//     if (m.origin == dbx::RecoveryOrigin::kIndex) continue;  // listed anyway
//     std::string text;
//     s = dbx::ReadRecoveredText(source, m, &text);
//     ...
//   }
//
// What the scan returns:
//  - every chain reached through the index, as a normal open finds it;
//  - every chain that a message record names although the index no longer
//    reaches the record (the record gives flags and dates);
//  - every chain that no record names (a deleted or orphaned message);
//  - every chain that no record and no block names and whose text does not
//    begin like an Internet message: a fragment, the rest of a message whose
//    start is lost (a link damaged in a live message's chain, or the first
//    blocks of a deleted message written over).
// A chain is returned only from its first block (a block that no other block
// names as its next one), and each block belongs to at most one message, so
// no message is returned twice. A chain that begins like an Internet message
// (a header field name followed by ':') is a message; the tail of one is
// never taken for a message of its own, because the chain it belongs to is
// taken first and claims it. A chain whose next link leads nowhere
// (a missing or damaged block, the end of the file, a block already taken)
// is returned as incomplete, with the text of the blocks it has. A block is
// taken only when all its used bytes lie inside the file, so nothing past the
// end of the file is made up.
//
// Offsets are unsigned 32-bit: files up to 4 GiB are scanned whole. Memory is
// about 16 bytes per body block of the file; the texts are not kept.
#ifndef TOLLAN_READER_DBX_RECOVERY_SCAN_H_
#define TOLLAN_READER_DBX_RECOVERY_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/message_record.h"
#include "reader/dbx/status.h"

namespace dbx {

// How a message was found.
enum class RecoveryOrigin {
  kIndex,   // through the index, as every open lists it
  kRecord,  // through a record the index no longer reaches
  kOrphan,  // a body chain that no record names
  kFragment,  // the rest of a chain whose start is lost: no header block
};

// "index", "record", "orphan" or "fragment".
const char* RecoveryOriginName(RecoveryOrigin origin);

struct DbxRecoveredMessage {
  RecoveryOrigin origin = RecoveryOrigin::kOrphan;
  uint32_t body_position = 0;  // offset of the chain's first block
  // kRecord: the decoded record. kIndex: only record_offset and
  // body_position (a normal open lists the rest). kOrphan: defaults.
  DbxMessage record;
  // Number of blocks of the chain that belong to this message and the length
  // of their joined text.
  uint32_t block_count = 0;
  uint64_t text_size = 0;
  // The chain was cut short (or, for kIndex, stopped because it looped), or
  // is a fragment without its start: the text is what the blocks found hold.
  bool incomplete = false;
};

struct DbxRecoveryScan {
  // Set before the scan: false leaves the kIndex messages out of `messages`
  // (their chains are still followed and claimed, so every other message is
  // found as before), for a caller that wants only what the index misses.
  bool keep_indexed = true;
  // The header carried the folder-file signature and its index was walked.
  bool index_walked = false;
  // kIndex messages in index order, then kRecord and kOrphan messages in the
  // order of their first block in the file.
  std::vector<DbxRecoveredMessage> messages;
  // Records passed over because the chain they name does not begin like an
  // Internet message (the chain itself comes back as a fragment).
  uint64_t rejected = 0;

  size_t Count(RecoveryOrigin origin) const;
  size_t IncompleteCount() const;
  // Messages that only the scan finds: kRecord, kOrphan and kFragment.
  size_t BeyondIndexCount() const {
    return Count(RecoveryOrigin::kRecord) + Count(RecoveryOrigin::kOrphan) +
           Count(RecoveryOrigin::kFragment);
  }
};

// Scans the folder file held by `source` into *scan (which starts empty).
// Any file is scanned: one that is not a folder file, or whose header is
// damaged, simply has no kIndex messages. Fails only on a device error.
DbxStatus ScanFolderFile(ByteSource& source, DbxRecoveryScan* scan);

// The text of a message the scan returned: for kIndex the body as far as it
// can be read (SalvageBodyText; *damage, when given, says what was lost, ""
// when nothing), otherwise the used bytes of its block_count blocks.
DbxStatus ReadRecoveredText(ByteSource& source, const DbxRecoveredMessage& message,
                            std::string* text, std::string* damage = nullptr);

// True when `text` begins like an Internet message: a header field name (1 to
// 76 printable ASCII characters other than ':') directly followed by ':'.
bool LooksLikeMessageStart(const uint8_t* text, size_t size);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_RECOVERY_SCAN_H_
