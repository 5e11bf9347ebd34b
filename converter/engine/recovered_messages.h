// Messages that a folder file still holds but its index no longer reaches
// (a damaged index node, a file cut short, messages deleted but not yet
// compacted away), found by the reader's recovery scan. The engine always
// counts them; when the run asks for recovery it also converts them into a
// subfolder "Recovered" of the file's folder, through the same per-message
// pipeline as every other message.
#ifndef TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_
#define TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_

#include <memory>
#include <string>
#include <thread>

#include "converter/engine/conversion_page.h"
#include "converter/engine/page_state.h"

namespace tollan {

// The name of the subfolder the recovered messages go into.
inline constexpr const char* kRecoveredFolderName = "Recovered";

// The recovery scan of one folder file, started on a thread of its own when
// it is made, so that reading the whole file runs beside the conversion of
// the messages its index lists rather than after it. The scan opens the file
// itself, read-only. Destroying it waits for the scan to end.
//
//   PendingRecoveryScan recovery(dbx_path);
//   ... convert the indexed messages ...
//   ConvertRecoveredMessages(page, state, recovery, folder_path, outcome);
//
// When no thread can be started, the scan runs when it is first needed.
class PendingRecoveryScan {
 public:
  explicit PendingRecoveryScan(std::string dbx_path);
  PendingRecoveryScan(const PendingRecoveryScan&) = delete;
  PendingRecoveryScan& operator=(const PendingRecoveryScan&) = delete;
  ~PendingRecoveryScan();

  struct Result;
  // Waits for the scan, once; null when the file could not be scanned.
  std::unique_ptr<Result> Take();

 private:
  const std::string dbx_path_;
  std::unique_ptr<Result> result_;
  std::thread thread_;
};

// Waits for `scan` and sets outcome.messages_beyond_index.
// With state.Recover, converts those messages into "Recovered" below
// `folder_path` (the folder the file's messages went into) of the open
// session: the read flag and the fallback date come from the message's
// record where one survives; a message without one counts as read and takes
// its date from its own header. Each recovered message is counted in
// outcome.messages_recovered (or messages_failed) and named in the run's
// report. The subfolder is made only when there is something to put in it.
// A stopped run (page.Cancelled()) converts no further message and marks the
// outcome interrupted.
// A file the scan cannot read changes nothing.
void ConvertRecoveredMessages(ConversionPage& page, PageState& state, PendingRecoveryScan& scan,
                              const std::string& folder_path, FileOutcome& outcome);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_
