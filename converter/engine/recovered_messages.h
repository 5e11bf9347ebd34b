// Messages that a folder file still holds but its index no longer reaches
// (a damaged index node, a file cut short, messages deleted but not yet
// compacted away), found by the reader's recovery scan. The engine always
// counts them; when the run asks for recovery it also converts them into a
// subfolder "Recovered" of the file's folder, through the same per-message
// pipeline as every other message.
#ifndef TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_
#define TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_

#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/engine/page_state.h"

namespace tollan {

// The name of the subfolder the recovered messages go into.
inline constexpr const char* kRecoveredFolderName = "Recovered";

// Scans the folder file `dbx_path` and sets outcome.messages_beyond_index.
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
void ConvertRecoveredMessages(ConversionPage& page, PageState& state,
                              const std::string& dbx_path, const std::string& folder_path,
                              FileOutcome& outcome);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_RECOVERED_MESSAGES_H_
