// The conversion engine's entry points: XtractDBX copies the messages of one
// hand-picked .dbx file, ConvertMyDBX those of one folder of the default store,
// into one mail folder of a .pst, message by message through temporary .eml
// files, with per-file progress on the page.
#ifndef TOLLAN_CONVERTER_ENGINE_ENGINE_H_
#define TOLLAN_CONVERTER_ENGINE_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "converter/engine/components.h"
#include "converter/engine/conversion_page.h"
#include "converter/engine/page_state.h"
#include "converter/engine/pst_session.h"

namespace tollan {

// What the engine needs besides the page and its state.
struct EngineEnv {
  // Makes a new, logged-off personal-folders session.
  std::function<std::unique_ptr<PstSession>()> sessions;
  // The "d.m.YY H.m.ss" stamp of names (the local clock when empty).
  std::function<std::string()> timestamp;
  // Makes the DbxMessageReader of XtractDBX (the built-in one when empty).
  std::function<HRESULT(IDbxMessageReader** reader)> message_readers;
};

// Converts the hand-picked file `dbxPath` into the folder `dbxFolderName`:
// of the run's single .pst (made by the driver) when the page's OptEachPST is
// false, else of a new .pst of its own in the output folder. Every failure is
// shown or recorded in state.report.files.back(); the call always returns.
void XtractDBX(ConversionPage& page, PageState& state, const EngineEnv& env,
               const std::string& dbxPath, const std::string& dbxFolderName);

// Converts the default-store folder `folder` (the one the driver is walking;
// `dbxFolderName` names its .pst folder) into the run's single .pst or a
// .pst of its own. A message that cannot be read or imported is skipped and
// counted as failed; the rest of the folder is still converted.
void ConvertMyDBX(ConversionPage& page, PageState& state, const EngineEnv& env,
                  const std::string& dbxPath, const std::string& dbxFolderName, _OEFolder* folder);

// The folder path the engine files messages under.
std::string TargetFolderPath(const std::string& store_display_name, const std::string& folder_name);

// Opens a new .pst of its own for one file in the one-per-file mode: session,
// store and folder (the store's own folder for "Deleted Items"). Returns
// false on failure, after showing the session error when `show_error`, and
// leaves a started file valid.
bool StartOwnPst(ConversionPage& page, PageState& state, const EngineEnv& env,
                 const std::string& folder_name, bool show_error = true);

// Ends the one-per-file session (every .pst it made becomes complete). A
// file that failed without a message converted leaves no .pst.
void EndOwnPst(PageState& state);

// After the Logoff of state.PSTSession (which gave `logoff`): puts the final
// name of the .pst state.PstPath into the report's outputs, or, when it could
// not be completed, takes it out and counts the messages saved into it (those
// of report.files from `first_file` on) as failed.
void SettleOutput(PageState& state, size_t first_file, const Status& logoff);

// The report entry of the file being converted (made when the driver made
// none).
FileOutcome& CurrentOutcome(PageState& state, const std::string& dbx_path);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_ENGINE_H_
