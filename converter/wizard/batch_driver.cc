// The batch conversion run behind the Convert button.
#include "converter/wizard/batch_driver.h"

#include <cctype>
#include <utility>
#include <vector>

#include "converter/discovery/path_names.h"
#include "converter/engine/engine.h"
#include "converter/engine/naming.h"
#include "converter/engine/report_file.h"
#include "converter/engine/texts.h"
#include "converter/wizard/skip_names.h"
#include "reader/dbx/session.h"

namespace tollan {

namespace {

// Keeps the page locked against re-entry for the lifetime of a run.
class RunLock {
 public:
  explicit RunLock(ConversionPage* page) : page_(page) { page_->SetRunLock(true); }
  ~RunLock() { page_->SetRunLock(false); }

 private:
  ConversionPage* page_;
};

// The messages the folder file at `path` holds as its index lists them; 0
// when it cannot be read.
int64_t MessagesHeld(const std::string& path) {
  dbx::DbxSession session;
  dbx::DbxFolderContents contents;
  dbx::DbxFolderOpen open = session.OpenFolderPath(path, false, &contents);
  session.CloseFile();
  return open.contents_read ? static_cast<int64_t>(contents.messages.size()) : 0;
}

}  // namespace

BatchDriver::BatchDriver(ConversionPage* page, BatchSource* source, SessionFactory sessions,
                         Clock timestamp)
    : page_(page),
      source_(source),
      sessions_(std::move(sessions)),
      timestamp_(timestamp ? std::move(timestamp) : Clock(Timestamp)) {}

void BatchDriver::Run(PageState* state) {
  ConversionPage& page = *page_;
  if (!page.OptOnePST() && !page.OptEachPST()) {
    page.MsgBox(kSelectOptionText, MsgButtons::kOk, MsgIcon::kInformation, kAppTitle);
    return;
  }
  if (source_->IsEmpty()) {
    page.MsgBox(kNothingToConvertText, MsgButtons::kOk, MsgIcon::kInformation, kAppTitle);
    return;
  }
  state->OutputFolder = page.BrowseForFolder(kChooseSaveFolderTitle);
  if (state->OutputFolder.empty()) return;
  state->OutputFolder = WithTrailingSeparator(state->OutputFolder);
  page.DoEvents();
  page.SetProgressRange(ProgressBarId::kProgressBar1, 0, 100);
  page.SetProgressRange(ProgressBarId::kProgressBar2, 0, 100);
  page.DoEvents();

  RunLock lock(page_);
  state->report = RunReport();
  filled_folders_.clear();
  const bool single = page.OptOnePST();
  if (single && !StartSinglePst(state)) return;
  if (!source_->Prepare(page, *state)) {
    if (single) EndSinglePst(state);
    return;
  }
  for (int32_t k = 1; k <= source_->Count(); ++k) {
    if (page.Cancelled()) break;
    if (single && k > 1 && source_->StartsNewPst(k)) {
      EndSinglePst(state);
      if (!StartSinglePst(state)) {
        // The next .pst could not be made (the box said why): the ones made
        // are complete; the rest is not converted.
        source_->Finish(page, *state);
        WriteReport(state);
        ReportFailures(*state);
        return;
      }
    }
    if (!WalkEntry(k, state)) {
      // The run ends on the session error; what was written stays a valid
      // file.
      source_->Finish(page, *state);
      if (single) EndSinglePst(state);
      page.MsgBox(OutlookErrorText(), MsgButtons::kOk, MsgIcon::kInformation, kOutlookErrorTitle);
      WriteReport(state);
      ReportFailures(*state);
      return;
    }
  }
  source_->Finish(page, *state);
  if (single) EndSinglePst(state);
  if (page.Cancelled()) {
    // Every .pst is complete and holds the messages counted as converted.
    state->report.interrupted = true;
    page.MsgBox(InterruptedText(state->report.MessagesSaved(), state->report.pst_files.size()),
                MsgButtons::kOk, MsgIcon::kExclamation, kAppTitle);
    WriteReport(state);
    ReportFailures(*state);
    return;
  }
  state->report.finished = true;
  page.MsgBox(ClosingText(), MsgButtons::kOk, MsgIcon::kInformation, kAppTitle);
  WriteReport(state);
  ReportFailures(*state);
}

void BatchDriver::WriteReport(PageState* state) {
  RunReport& r = state->report;
  Status s = Status::Ok();
  if (!state->ReportPath.empty()) {
    s = WriteReportFile(r, state->ReportPath);
    if (s.ok()) r.report_file = state->ReportPath;
  } else if (ReportHasEntries(r)) {
    s = WriteReportBeside(r, state->OutputFolder, &r.report_file);
    if (!s.ok()) r.report_file.clear();
  }
  if (!s.ok()) r.report_error = s.ToString();
}

bool BatchDriver::StartSinglePst(PageState* state) {
  state->PSTSession = sessions_();
  Status s = state->PSTSession ? state->PSTSession->Logon()
                               : Status::IoError("no personal-folders session available");
  const bool session_failed = !s.ok();
  std::string path;
  if (s.ok()) {
    path = FreeFilePath(PstPath(state->OutputFolder, source_->SinglePstFilePrefix(), timestamp_()));
    state->StoreDisplayName = source_->SinglePstDisplayPrefix() + " : Created - " + timestamp_();
    s = state->PSTSession->AddPSTStore(path, state->StoreDisplayName, &state->SingleStore);
  }
  if (!s.ok()) {
    FileOutcome failed;
    failed.dbx_path = path;
    failed.file_name = GetFileNameFromPath(path);
    failed.state = FileOutcome::State::kFailed;
    failed.error = s.ToString();
    state->report.files.push_back(failed);
    if (session_failed) {
      page_->MsgBox(OutlookErrorText(), MsgButtons::kOk, MsgIcon::kInformation, kOutlookErrorTitle);
    } else {
      // Not a session failure: the error itself says what to mend.
      page_->MsgBox(PstCreateFailedText(s.ToString()), MsgButtons::kOk, MsgIcon::kExclamation, kAppTitle);
    }
    state->PSTSession.reset();
    state->SingleStore = nullptr;
    return false;
  }
  state->PstPath = path;
  state->report.pst_files.push_back(path);
  return true;
}

void BatchDriver::EndSinglePst(PageState* state) {
  if (!state->PSTSession) return;
  Status s = state->PSTSession->Logoff();
  const std::string wanted = state->PstPath;
  SettleOutput(*state, 0, s);
  if (!s.ok()) {
    FileOutcome failed;
    failed.dbx_path = wanted;
    failed.state = FileOutcome::State::kFailed;
    failed.error = s.ToString();
    state->report.files.push_back(failed);
  }
  state->SingleStore = nullptr;
  state->PSTSession.reset();
}

std::string BatchDriver::FreeFolderName(PageState* state, const std::string& name) {
  std::string candidate = name;
  for (int n = 2; state->PSTSession->HasFolder(state->SingleStore, candidate); ++n) {
    candidate = name + " (" + std::to_string(n) + ")";
  }
  return candidate;
}

bool BatchDriver::WalkEntry(int32_t k, PageState* state) {
  ConversionPage& page = *page_;
  std::string dbx_path;
  if (!source_->EntryPath(k, &dbx_path)) return true;
  dbx_path = TrimSpaces(dbx_path);
  const std::string file_name = GetFileNameFromPath(dbx_path);
  std::string folder_name = FolderNameFromFileName(file_name);
  // The Outlook Express tree and names: the whole path in the single .pst,
  // the display name for a .pst of its own.
  std::string tree_path = state->KeepFolderTree && !folder_name.empty() ? tree_.DisplayPath(dbx_path) : "";
  if (const std::string warning = tree_.TakeWarning(); !warning.empty()) {
    page.MsgBox(warning, MsgButtons::kOk, MsgIcon::kExclamation, kAppTitle);
  }
  if (!tree_path.empty()) {
    if (page.OptOnePST()) {
      folder_name = tree_path;
    } else {
      folder_name = LastFolderName(tree_path);
      for (char& c : folder_name) {
        if (c == '/') c = '_';
      }
    }
  }
  const std::string parent = page.OptOnePST() && !folder_name.empty() ? source_->FolderParent(k) : "";
  if (!parent.empty()) folder_name = parent + "\\" + folder_name;
  FileOutcome outcome;
  outcome.dbx_path = dbx_path;
  outcome.file_name = file_name;

  if (file_name.empty() || folder_name.empty()) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = "\"" + DisplayText(dbx_path) + "\" does not name a .dbx file";
    state->report.files.push_back(outcome);
  } else {
    const bool outbox_converted = state->ConvertOutbox && IsOutbox(file_name);
    if (page.OptOnePST() && state->PSTSession && (!IsSkipName(file_name) || outbox_converted)) {
      // A second file of the same name (another folder's Inbox.dbx) gets a
      // free folder name instead of ending the run.
      Status s = Status::Ok();
      if (tree_path.empty()) {
        folder_name = FreeFolderName(state, folder_name);
        s = state->PSTSession->AddFolder(state->SingleStore, folder_name);
      } else {
        // A folder made earlier only as the parent of another is taken as it
        // is; one that another file filled gets a free name.
        auto lower = [](std::string s) {
          for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          return s;
        };
        if (filled_folders_.count(lower(folder_name))) folder_name = FreeFolderName(state, folder_name);
        if (!state->PSTSession->HasFolder(state->SingleStore, folder_name)) {
          s = state->PSTSession->AddFolder(state->SingleStore, folder_name);
        }
        filled_folders_.insert(lower(folder_name));
      }
      if (!s.ok()) {
        outcome.state = FileOutcome::State::kFailed;
        outcome.error = s.ToString();
        state->report.files.push_back(outcome);
        if (source_->FailuresEndRun()) return false;
        page.SetProgressValue(ProgressBarId::kProgressBar1,
                              static_cast<float>(k) / static_cast<float>(source_->Count()) * 100.0f);
        return true;
      }
    }
    page.SetEnabled(PageControl::kCmdExtractDBX, false);
    page.SetCaption(PageControl::kFrameConversion,
                    "Details : Converting - (" + std::to_string(k) + " of " +
                        std::to_string(source_->Count()) + ") file(s)");
    page.SetCaption(PageControl::kLblCurrentDBX, "Converting Messages... from (" + DisplayText(file_name) + ")");
    const bool skip = (IsNeverConverted(file_name) && !outbox_converted) ||
                      (file_name == kDeletedItemsFile && page.ChkDeletedItems());
    if (skip) {
      outcome.state = FileOutcome::State::kSkipped;
      // Not converted, but not lost in silence: the summary and the report
      // say how many messages it holds.
      if (HoldsMail(file_name)) outcome.messages_total = MessagesHeld(dbx_path);
      state->report.files.push_back(outcome);
    } else {
      state->report.files.push_back(outcome);
      source_->Convert(k, dbx_path, folder_name, *state);
    }
  }
  page.SetProgressValue(ProgressBarId::kProgressBar1,
                        static_cast<float>(k) / static_cast<float>(source_->Count()) * 100.0f);
  return true;
}

void BatchDriver::ReportFailures(const PageState& state) {
  const RunReport& r = state.report;
  const int64_t failed_messages = r.MessagesFailed();
  const int64_t failed_files = r.FilesFailed();
  const int64_t partial = r.MessagesPartial();
  const int64_t unrecovered = r.MessagesUnrecovered();
  const int64_t in_skipped = r.MessagesInSkippedFiles();
  std::string where;  // where the report is, or why there is none
  if (!r.report_file.empty() && ReportHasEntries(r)) {
    where = "The messages that were not converted cleanly are listed in " + r.report_file;
  } else if (!r.report_error.empty()) {
    where = "The report could not be written: " + r.report_error;
  }
  if (failed_messages == 0 && failed_files == 0 && partial == 0 && unrecovered == 0 && in_skipped == 0) {
    if (!where.empty()) page_->MsgBox(where, MsgButtons::kOk, MsgIcon::kInformation, kAppTitle);
    return;
  }
  // Each count names what it counts: a file that fails as a whole is not a
  // count of failed messages.
  std::vector<std::string> counts;
  if (failed_files > 0) counts.push_back(std::to_string(failed_files) + " file(s) could not be converted.");
  if (failed_messages > 0) counts.push_back(std::to_string(failed_messages) + " message(s) could not be converted.");
  if (partial > 0) counts.push_back(std::to_string(partial) + " message(s) were converted in part only.");
  if (unrecovered > 0) {
    counts.push_back(std::to_string(unrecovered) +
                     " message(s) that the folder index no longer reaches were not recovered.");
  }
  if (in_skipped > 0) {
    counts.push_back(std::to_string(in_skipped) + " message(s) are in folders that were skipped.");
  }
  std::string text;
  for (const auto& c : counts) text += (text.empty() ? "" : " ") + c;
  for (const auto& f : r.files) {
    const bool skipped_mail = f.state == FileOutcome::State::kSkipped && f.messages_total > 0;
    if (f.MessagesLost() == 0 && f.state != FileOutcome::State::kFailed && !skipped_mail) continue;
    text += kCrLf;
    text += DisplayText(f.file_name.empty() ? f.dbx_path : f.file_name) + ": ";
    if (skipped_mail) {
      text += "skipped, holds " + std::to_string(f.messages_total) + " message(s)";
      continue;
    }
    std::vector<std::string> parts;
    if (f.messages_failed > 0) {
      parts.push_back(std::to_string(f.messages_failed) + " of " + std::to_string(f.messages_total) +
                      " message(s) failed");
    }
    if (f.messages_partial > 0) parts.push_back(std::to_string(f.messages_partial) + " converted in part");
    if (f.messages_unrecovered > 0) parts.push_back(std::to_string(f.messages_unrecovered) + " not recovered");
    if (parts.empty()) parts.push_back("not converted");
    for (size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? ", " : "") + parts[i];
    if (!f.error.empty()) text += " (" + f.error + ")";
  }
  if (!where.empty()) text += std::string(kCrLf) + kCrLf + where;
  // Folders skipped on purpose are told, not warned about.
  page_->MsgBox(text, MsgButtons::kOk, r.AllArrivedWhole() ? MsgIcon::kInformation : MsgIcon::kExclamation,
                kAppTitle);
}

}  // namespace tollan
