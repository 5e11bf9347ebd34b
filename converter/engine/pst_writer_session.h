// A PstSession over our own .pst writer: each store is a new personal-folders
// file, each import goes through the mail import, each saved item is written
// to its file at once, and Logoff completes every file.
#ifndef TOLLAN_CONVERTER_ENGINE_PST_WRITER_SESSION_H_
#define TOLLAN_CONVERTER_ENGINE_PST_WRITER_SESSION_H_

#include <memory>

#include "converter/engine/pst_session.h"
#include "platform/mail/import.h"

namespace tollan {

// Counts of what the imports of a session met, for the run's summary.
struct ImportTally {
  int64_t messages = 0;
  int64_t with_warnings = 0;
  int64_t original_attached = 0;  // could not be mapped fully: original kept
};

// Makes a session whose imports read unlabelled 8-bit text with the given
// options. `tally` (optional) is updated by every import. With `workers`
// (optional; they must outlive the session, and import with the same
// options) the imports run in those processes instead of this one. With
// `read_back`, every file is proven after its Logoff: the structural check,
// then each message read back and compared with what was saved
// (PstSession::Verification).
//
// With `max_pst_bytes` (0: no limit) no file passes that size: before a
// message would take a .pst past it, the file is completed and the next
// part, "NAME (part 2).pst", "NAME (part 3).pst", ... (display name "NAME
// (part N)"), takes the following messages, with the same folder tree.
// Each part is a complete file of its own, written under a temporary name
// and read back like any other; every message is in exactly one part. A
// part takes at least one message, so a single message larger than the
// limit still goes in (that part passes the size). CompletedParts names
// the parts; a part that cannot be completed ends the store (the following
// saves fail) and LostInParts names its messages.
std::unique_ptr<PstSession> NewPstWriterSession(const mail::ImportOptions& options,
                                                ImportTally* tally = nullptr,
                                                ImportWorkers* workers = nullptr,
                                                bool read_back = false,
                                                uint64_t max_pst_bytes = 0);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_PST_WRITER_SESSION_H_
