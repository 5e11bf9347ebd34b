// XtractDBX: one hand-picked .dbx file into a .pst folder, read through the
// DbxMessageReader component.
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "converter/discovery/path_names.h"
#include "converter/engine/components.h"
#include "converter/engine/engine.h"
#include "converter/engine/engine_internal.h"
#include "converter/engine/message_date.h"
#include "converter/engine/message_pipeline.h"
#include "converter/engine/naming.h"
#include "converter/engine/recovered_messages.h"
#include "converter/engine/report_file.h"
#include "converter/engine/texts.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"

namespace tollan {

uint64_t DateToFiletime(double date) {
  if (!(date > 0)) return 0;
  double seconds = std::round((date - 25569.0) * 86400.0);
  return UnixToFiletime(static_cast<int64_t>(seconds));
}

std::optional<uint64_t> ComDateReader::MessageDate(const std::string& eml_path, std::string_view content) {
  (void)eml_path;  // holds `content`; reading it back would only cost time
  com::ComPtr<IEmlDateParser> parser;
  if (FAILED(CreateEngineComponent(CLSID_EmlDateParser, IID_IEmlDateParser, parser.OutVoid()))) {
    return std::nullopt;
  }
  // The header block is all the parser reads.
  constexpr size_t kHeadLimit = 1 << 20;
  LONG status = 0;
  parser->LoadBytes(content.data(), static_cast<LONG>(std::min(content.size(), kHeadLimit)), &status);
  DATE date = 0;
  if (parser->MessageDate(&date) != S_OK) return std::nullopt;
  uint64_t ft = DateToFiletime(date);
  return ft != 0 ? std::optional<uint64_t>(ft) : std::nullopt;
}

void AddNote(PageState& state, const MessageNote& note, MessageNote::What what, const std::string& why) {
  state.report.messages.push_back(note);
  state.report.messages.back().what = what;
  state.report.messages.back().why = why;
}

void NoteOutcome(PageState& state, const MessageNote& note, const Status& s, const std::string& kept_original,
                 const std::string& incomplete) {
  if (!s.ok()) {
    AddNote(state, note, MessageNote::What::kFailed, s.ToString());
  } else if (!incomplete.empty()) {
    AddNote(state, note, MessageNote::What::kIncomplete, incomplete);
  } else if (!kept_original.empty()) {
    AddNote(state, note, MessageNote::What::kKeptOriginal, kept_original);
  }
}

void CountOutcome(ConversionPage& page, const Status& s, int64_t index, int64_t count,
                  FileOutcome* outcome) {
  if (!s.ok()) {
    ++outcome->messages_failed;
    outcome->error = "message " + std::to_string(index) + ": " + s.ToString();
    return;
  }
  const int64_t done = ++outcome->messages_converted;
  const float value = ProgressValue(done, count);
  page.SetProgressValue(ProgressBarId::kProgressBar2, value);
  page.SetCaption(PageControl::kLblProgessCurrent, ProgressText(value, done, count));
}

std::string DescribeError(HRESULT hr) {
  com::ErrorRecord e = com::TakeError(hr);
  return e.description.empty() ? "error " + std::to_string(e.number) : e.description;
}

std::string TargetFolderPath(const std::string& store_display_name, const std::string& folder_name) {
  return "\\\\" + store_display_name + "\\" + folder_name;
}

FileOutcome& CurrentOutcome(PageState& state, const std::string& dbx_path) {
  if (state.report.files.empty() || state.report.files.back().dbx_path != dbx_path) {
    FileOutcome f;
    f.dbx_path = dbx_path;
    f.file_name = GetFileNameFromPath(dbx_path);
    state.report.files.push_back(f);
  }
  return state.report.files.back();
}

bool StartOwnPst(ConversionPage& page, PageState& state, const EngineEnv& env,
                 const std::string& folder_name, bool show_error) {
  auto stamp = env.timestamp ? env.timestamp : std::function<std::string()>(Timestamp);
  state.PSTSession = env.sessions ? env.sessions() : nullptr;
  Status s = state.PSTSession ? state.PSTSession->Logon()
                              : Status::IoError("no personal-folders session available");
  page.DoEvents();
  PstStoreHandle* store = nullptr;
  if (s.ok()) {
    // Two files of one name converted within a second would meet at one
    // name: the second gets a free one.
    const std::string path = FreeFilePath(state.OutputFolder + folder_name + stamp() + ".pst");
    state.StoreDisplayName = folder_name + " : Created - " + stamp();
    state.StoreFolderName = folder_name;
    page.DoEvents();
    s = state.PSTSession->AddPSTStore(path, state.StoreDisplayName, &store);
    if (s.ok()) state.report.pst_files.push_back(path);
  }
  // The new store already has its own Deleted Items folder.
  if (s.ok() && !state.PSTSession->HasFolder(store, state.StoreFolderName)) {
    s = state.PSTSession->AddFolder(store, state.StoreFolderName);
  }
  if (!s.ok()) {
    if (!state.report.files.empty()) {
      state.report.files.back().state = FileOutcome::State::kFailed;
      state.report.files.back().error = s.ToString();
    }
    if (show_error) {
      page.MsgBox(OutlookErrorText(), MsgButtons::kOk, MsgIcon::kInformation, kOutlookErrorTitle);
    }
    EndOwnPst(state);
    return false;
  }
  return true;
}

void EndOwnPst(PageState& state) {
  if (!state.PSTSession) return;
  Status s = state.PSTSession->Logoff();
  if (!s.ok() && !state.report.files.empty()) {
    state.report.files.back().state = FileOutcome::State::kFailed;
    state.report.files.back().error = s.ToString();
  }
  state.PSTSession.reset();
}

void XtractDBX(ConversionPage& page, PageState& state, const EngineEnv& env,
               const std::string& dbxPath, const std::string& dbxFolderName) {
  FileOutcome& outcome = CurrentOutcome(state, dbxPath);
  const std::string output_folder = state.OutputFolder;
  page.DoEvents();
  const bool own_pst = page.OptEachPST();
  if (own_pst && !StartOwnPst(page, state, env, dbxFolderName)) return;

  com::ComPtr<IDbxMessageReader> reader;
  HRESULT hr = env.message_readers
                   ? env.message_readers(reader.Out())
                   : CreateEngineComponent(CLSID_DbxMessageReader, IID_IDbxMessageReader, reader.OutVoid());
  page.DoEvents();
  LONG count = -1;
  if (SUCCEEDED(hr)) {
    com::Bstr path(dbxPath.c_str());
    hr = reader->OpenDbx(path.get());
    if (SUCCEEDED(hr)) hr = reader->CountMessages(&count);
  }
  if (FAILED(hr)) {
    std::string why = DescribeError(hr);
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = why;
    page.MsgBox(SoftwareLogText(why), MsgButtons::kOk, MsgIcon::kNone, kAppTitle);
    if (reader) reader->CloseDbx();
    if (own_pst) EndOwnPst(state);
    return;
  }
  if (count == -1) {
    // Not a readable folder file: no box, nothing converted, but the run's
    // report says so.
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = "not a readable Outlook Express folder file";
    reader->CloseDbx();
    // Its blocks may still hold messages.
    ConvertRecoveredMessages(page, state, dbxPath,
                             TargetFolderPath(state.StoreDisplayName, dbxFolderName), outcome);
    if (own_pst) EndOwnPst(state);
    return;
  }

  page.SetProgressRange(ProgressBarId::kProgressBar2, 0, 100);
  page.DoEvents();
  outcome.messages_total = count;
  ComDateReader dates;
  MessagePipeline pipeline(page, state.PSTSession.get(), dates);
  for (LONG i = 0; i < count; ++i) {
    page.DoEvents();
    com::Bstr subject;
    std::string subject_text;
    if (SUCCEEDED(reader->GetSubject(i, subject.out()))) subject_text = subject.utf8();
    DATE received = 0;
    reader->GetReceivedDate(i, &received);
    // What the report names the message by, should anything go wrong.
    MessageNote note;
    note.folder_file = outcome.dbx_path;
    note.number = i + 1;
    note.subject = subject_text;
    com::Bstr sender;
    if (SUCCEEDED(reader->GetSender(i, sender.out()))) note.sender = sender.utf8();
    note.date = FormatReportDate(received);
    if (subject_text.empty()) subject_text = "Empty-Subject" + std::to_string(i);
    com::Bstr text;
    hr = reader->GetMessageBytes(i, text.out());
    if (FAILED(hr)) {
      const std::string why = DescribeError(hr);
      pipeline.Finish();  // the outcomes stay in message order
      ++outcome.messages_failed;
      outcome.error = why;
      AddNote(state, note, MessageNote::What::kFailed, why);
      continue;
    }
    const bool incomplete = hr == S_FALSE;

    MessageJob job;
    job.text.assign(reinterpret_cast<const char*>(text.get()), SysStringByteLen(text.get()));
    job.temp_path = SubjectTempPath(output_folder, i, subject_text);
    job.folder_path = TargetFolderPath(state.StoreDisplayName, dbxFolderName);
    job.read = true;
    job.fallback_date = DateToFiletime(received);
    pipeline.Submit(std::move(job), [&page, &state, &outcome, i, count, incomplete,
                                     note = std::move(note)](const Status& s, const std::string& kept) {
      CountOutcome(page, s, i, count, &outcome);
      NoteOutcome(state, note, s, kept, incomplete ? kIncompleteBodyReason : "");
    });
  }
  pipeline.Finish();
  ConvertRecoveredMessages(page, state, dbxPath,
                           TargetFolderPath(state.StoreDisplayName, dbxFolderName), outcome);
  if (own_pst) EndOwnPst(state);
  reader->CloseDbx();
}

}  // namespace tollan
