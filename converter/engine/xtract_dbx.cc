// XtractDBX: one hand-picked .dbx file into a .pst folder, read through the
// DbxMessageReader component.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <iterator>

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
#include "platform/os/file.h"

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

bool LeaveOutDuplicate(PageState& state, const MessageNote& note, const std::string& text, std::string* key,
                       FileOutcome* outcome) {
  if (!state.Duplicates) return false;
  *key = DuplicateFilter::KeyOf(text);
  if (state.Duplicates->Claim(*key)) return false;
  ++outcome->messages_duplicate;
  AddNote(state, note, MessageNote::What::kDuplicate,
          "the same message (Message-ID and content) is already in the output");
  return true;
}

void ReleaseDuplicate(PageState& state, const std::string& key) {
  if (state.Duplicates && !key.empty()) state.Duplicates->Release(key);
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
  const bool session_failed = !s.ok();
  page.DoEvents();
  PstStoreHandle* store = nullptr;
  if (s.ok()) {
    // Two files of one name converted within a second would meet at one
    // name: the second gets a free one. The file name keeps the name's
    // bytes; the names shown inside the .pst are made fit to show.
    const std::string path = FreeFilePath(PstPath(state.OutputFolder, folder_name, stamp()));
    const std::string shown = DisplayText(folder_name);
    state.StoreDisplayName = shown + " : Created - " + stamp();
    state.StoreFolderName = shown;
    page.DoEvents();
    s = state.PSTSession->AddPSTStore(path, state.StoreDisplayName, &store);
    if (s.ok()) {
      state.PstPath = path;
      state.report.pst_files.push_back(path);
    }
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
    if (show_error && session_failed) {
      page.MsgBox(OutlookErrorText(), MsgButtons::kOk, MsgIcon::kInformation, kOutlookErrorTitle);
    } else if (show_error) {
      // Not a session failure: the error itself says what to mend.
      page.MsgBox(PstCreateFailedText(s.ToString()), MsgButtons::kOk, MsgIcon::kExclamation, kAppTitle);
    }
    EndOwnPst(state);
    return false;
  }
  return true;
}

namespace {

// Keeps what reading the completed .pst at `path` back found, and names
// each message that differs in the report.
void RecordVerification(PageState& state, const std::string& path) {
  const PstVerification* v = state.PSTSession->Verification(path);
  if (v == nullptr) return;
  state.report.verifications.push_back(*v);
  for (const PstVerification::Mismatch& m : v->mismatches) {
    MessageNote note;
    note.folder_file = m.folder_file;
    note.number = m.number;
    note.what = MessageNote::What::kMismatch;
    note.why = "read back from " + v->path + ": " + m.what + " differs from what was written";
    state.report.messages.push_back(std::move(note));
  }
}

// Names in the report where each part after the first begins.
void NoteParts(PageState& state, const std::vector<std::string>& parts,
               const std::vector<PstMessageSource>& starts) {
  for (size_t k = 0; k < starts.size() && k + 1 < parts.size(); ++k) {
    MessageNote note;
    note.folder_file = starts[k].folder_file;
    note.number = starts[k].number;
    note.what = MessageNote::What::kNewPart;
    note.why = parts[k] + " reached the size limit; this message and the ones after it are in " + parts[k + 1];
    state.report.messages.push_back(std::move(note));
  }
}

// The messages of a part of the .pst asked for at `wanted` that could not be
// completed: counted as failed instead of saved, and named in the report.
void DropLostMessages(PageState& state, size_t first_file, const std::string& wanted) {
  std::string why;
  for (const PstMessageSource& m : state.PSTSession->LostInParts(wanted, &why)) {
    for (size_t k = first_file; k < state.report.files.size(); ++k) {
      FileOutcome& f = state.report.files[k];
      if (f.dbx_path != m.folder_file) continue;
      int64_t& saved = f.messages_converted > 0 ? f.messages_converted : f.messages_recovered;
      if (saved > 0) {
        --saved;
        ++f.messages_failed;
      }
      break;
    }
    MessageNote note;
    note.folder_file = m.folder_file;
    note.number = m.number;
    note.what = MessageNote::What::kFailed;
    note.why = PstIncompleteText(why);
    state.report.messages.push_back(std::move(note));
  }
}

}  // namespace

void SettleOutput(PageState& state, size_t first_file, const Status& logoff) {
  auto& outputs = state.report.pst_files;
  const std::string wanted = state.PstPath;
  state.PstPath.clear();
  auto it = std::find(outputs.rbegin(), outputs.rend(), wanted);
  if (wanted.empty() || it == outputs.rend() || !state.PSTSession) return;
  const std::vector<std::string> parts = state.PSTSession->CompletedParts(wanted);
  if (!parts.empty()) {
    *it = parts.front();
    outputs.insert(it.base(), parts.begin() + 1, parts.end());
    for (const std::string& part : parts) RecordVerification(state, part);
    NoteParts(state, parts, state.PSTSession->PartStarts(wanted));
    DropLostMessages(state, first_file, wanted);
    return;
  }
  outputs.erase(std::next(it).base());
  // Nothing saved into it is kept.
  for (size_t k = first_file; k < state.report.files.size(); ++k) {
    FileOutcome& f = state.report.files[k];
    if (f.messages_converted == 0) continue;
    f.messages_failed += f.messages_converted;
    f.messages_converted = 0;
    f.state = FileOutcome::State::kFailed;
    f.error = PstIncompleteText(logoff.ToString());
  }
}

void EndOwnPst(PageState& state) {
  if (!state.PSTSession) return;
  Status s = state.PSTSession->Logoff();
  const size_t current = state.report.files.empty() ? 0 : state.report.files.size() - 1;
  if (!s.ok() && !state.report.files.empty()) {
    state.report.files.back().state = FileOutcome::State::kFailed;
    state.report.files.back().error = s.ToString();
  }
  const std::string wanted = state.PstPath;
  SettleOutput(state, current, s);
  // A file that failed before any message reached its .pst leaves none; one
  // whose messages only recovery brought back keeps them.
  if (!state.report.files.empty() && !wanted.empty()) {
    const FileOutcome& f = state.report.files.back();
    auto& outputs = state.report.pst_files;
    if (f.state == FileOutcome::State::kFailed && f.messages_converted == 0 &&
        f.messages_recovered == 0 && !outputs.empty() &&
        state.PSTSession->CompletedPath(wanted) == outputs.back()) {
      os::Remove(outputs.back());
      std::erase_if(state.report.verifications,
                    [&](const PstVerification& v) { return v.path == outputs.back(); });
      outputs.pop_back();
    }
  }
  state.PSTSession.reset();
}

void XtractDBX(ConversionPage& page, PageState& state, const EngineEnv& env,
               const std::string& dbxPath, const std::string& dbxFolderName) {
  FileOutcome& outcome = CurrentOutcome(state, dbxPath);
  const std::string output_folder = state.OutputFolder;
  page.DoEvents();
  const bool own_pst = page.OptEachPST();
  // Reading the whole file for messages its index no longer reaches runs
  // beside the conversion of those it does.
  PendingRecoveryScan recovery(dbxPath);

  // The source is opened first, so that a file that cannot be read leaves
  // no empty .pst behind in the one-per-file mode.
  com::ComPtr<IDbxMessageReader> reader;
  HRESULT hr = env.message_readers
                   ? env.message_readers(reader.Out())
                   : CreateEngineComponent(CLSID_DbxMessageReader, IID_IDbxMessageReader, reader.OutVoid());
  page.DoEvents();
  LONG count = -1, declared = -1;
  if (SUCCEEDED(hr)) {
    // The path goes to the reader as its bytes, whatever their encoding.
    BSTR path = SysAllocStringByteLen(dbxPath.data(), static_cast<UINT>(dbxPath.size()));
    hr = reader->OpenDbxBytes(path);
    SysFreeString(path);
    if (SUCCEEDED(hr)) hr = reader->CountMessages(&count);
    if (SUCCEEDED(hr)) reader->GetDeclaredCount(&declared);
  }
  if (FAILED(hr)) {
    std::string why = DescribeError(hr);
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = why;
    page.MsgBox(SoftwareLogText(why), MsgButtons::kOk, MsgIcon::kNone, kAppTitle);
    if (reader) reader->CloseDbx();
    return;
  }
  if (count == -1) {
    // Not a readable folder file: no box, nothing converted, but the run's
    // report says so and why.
    com::Bstr why;
    reader->GetOpenError(why.out());
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = "not a readable Outlook Express folder file";
    if (!why.view().empty()) outcome.error += " (" + DisplayText(why.utf8()) + ")";
    reader->CloseDbx();
    // Its blocks may still hold messages (converted with recovery on; a
    // .pst of its own is made only then).
    if (state.Recover && own_pst && !StartOwnPst(page, state, env, dbxFolderName)) return;
    ConvertRecoveredMessages(page, state, recovery,
                             TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName)), outcome);
    if (state.Recover && own_pst) EndOwnPst(state);
    return;
  }
  outcome.messages_total = count;
  outcome.messages_declared = declared;
  const bool index_short = declared > count;
  if (index_short && count == 0) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = IndexShortText(count, declared);
    reader->CloseDbx();
    // Its blocks may still hold messages (converted with recovery on; a
    // .pst of its own is made only then).
    if (state.Recover && own_pst && !StartOwnPst(page, state, env, dbxFolderName)) return;
    ConvertRecoveredMessages(page, state, recovery,
                             TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName)), outcome);
    if (state.Recover && own_pst) EndOwnPst(state);
    return;
  }
  if (own_pst && !StartOwnPst(page, state, env, dbxFolderName)) {
    reader->CloseDbx();
    return;
  }

  page.SetProgressRange(ProgressBarId::kProgressBar2, 0, 100);
  page.DoEvents();
  ComDateReader dates;
  MessagePipeline pipeline(page, state.PSTSession.get(), dates, count);
  for (LONG i = 0; i < count; ++i) {
    page.DoEvents();
    if (page.Cancelled()) {
      outcome.interrupted = true;
      break;
    }
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
    std::string text;
    hr = reader->TakeMessageBytes(i, &text);
    if (FAILED(hr)) {
      const std::string why = DescribeError(hr);
      pipeline.Finish();  // the outcomes stay in message order
      ++outcome.messages_failed;
      outcome.error = "message " + std::to_string(i + 1) + ": " + why;
      AddNote(state, note, MessageNote::What::kFailed, why);
      continue;
    }
    // A damaged body is converted as far as it could be read, and the
    // report says what was lost.
    std::string incomplete;
    if (hr == S_FALSE) {
      com::Bstr damage;
      reader->GetBodyDamage(i, damage.out());
      incomplete = damage.view().empty() ? kIncompleteBodyReason : DamagedBodyText(damage.utf8());
    }

    MessageJob job;
    job.text = std::move(text);  // held once, not twice, while the message is imported
    std::string key;
    if (LeaveOutDuplicate(state, note, job.text, &key, &outcome)) continue;
    job.temp_path = SubjectTempPath(output_folder, i, subject_text);
    job.folder_path = TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName));
    job.read = true;
    job.fallback_date = DateToFiletime(received);
    job.source_file = outcome.dbx_path;
    job.source_number = i + 1;
    pipeline.Submit(std::move(job), [&page, &state, &outcome, i, count, incomplete = std::move(incomplete),
                                     key = std::move(key),
                                     note = std::move(note)](const Status& s, const std::string& kept) {
      if (!s.ok()) ReleaseDuplicate(state, key);
      // Named by its number from 1, as the report numbers it.
      CountOutcome(page, s, i + 1, count, &outcome);
      if (s.ok() && !incomplete.empty()) ++outcome.messages_partial;
      NoteOutcome(state, note, s, kept, incomplete);
    });
  }
  pipeline.Finish();
  ConvertRecoveredMessages(page, state, recovery,
                           TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName)), outcome);
  if (index_short && count + outcome.messages_recovered < declared) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = IndexShortText(count, declared);
  }
  if (own_pst) EndOwnPst(state);
  reader->CloseDbx();
}

}  // namespace tollan
