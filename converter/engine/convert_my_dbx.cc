// ConvertMyDBX: one folder of the default Outlook Express store into a .pst
// folder, read through the Kestrel object model.
#include "converter/engine/engine.h"
#include "converter/engine/engine_internal.h"
#include "converter/engine/recovered_messages.h"
#include "converter/engine/naming.h"
#include "converter/engine/report_file.h"
#include "converter/engine/texts.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_file.h"

namespace tollan {

namespace {

// The complete stored text of a message: every segment's msgText in order.
// Each character stands for one stored byte (Windows-1252), so the bytes
// come back exactly.
HRESULT JoinSegments(ConversionPage& page, _OEMsgSegments* segments, LONG count, std::string* text) {
  for (LONG j = 1; j <= count; ++j) {
    page.DoEvents();
    com::Variant index = com::Variant::Long(j);
    com::ComPtr<_OEMsgSegment> segment;
    HRESULT hr = segments->get_Item(index.get(), segment.Out());
    if (FAILED(hr)) return hr;
    if (!segment) continue;
    com::Bstr part;
    hr = segment->get_msgText(part.out());
    if (FAILED(hr)) return hr;
    *text += com::AnsiFromUtf16(part.view());
  }
  return S_OK;
}

// What the report names message `number` by.
MessageNote NoteFor(_OEMessage* message, const std::string& folder_file, LONG number) {
  MessageNote note;
  note.folder_file = folder_file;
  note.number = number;
  if (message == nullptr) return note;
  com::Bstr subject, name, address;
  if (SUCCEEDED(message->get_Subject(subject.out()))) note.subject = subject.utf8();
  if (SUCCEEDED(message->get_SenderName(name.out()))) note.sender = name.utf8();
  if (SUCCEEDED(message->get_SenderAddr(address.out()))) {
    const std::string addr = address.utf8();
    if (!addr.empty() && addr != note.sender) note.sender += (note.sender.empty() ? "<" : " <") + addr + ">";
  }
  DATE received = 0;
  if (SUCCEEDED(message->get_DateReceived(&received))) note.date = FormatReportDate(received);
  return note;
}

// The number of messages the header of the folder file at `path` declares;
// -1 when it cannot be read.
int64_t DeclaredMessages(const std::string& path) {
  std::unique_ptr<dbx::FileSource> file;
  if (!dbx::FileSource::Open(path, false, &file).ok()) return -1;
  dbx::DbxFileHeader header;
  if (!dbx::ReadFileHeader(*file, &header).ok() || !header.IsFolderFile()) return -1;
  return header.message_count;
}

}  // namespace

void ConvertMyDBX(ConversionPage& page, PageState& state, const EngineEnv& env,
                  const std::string& dbxPath, const std::string& dbxFolderName, _OEFolder* folder) {
  FileOutcome& outcome = CurrentOutcome(state, dbxPath);
  const std::string output_folder = state.OutputFolder;
  page.DoEvents();
  const bool own_pst = page.OptEachPST();
  // Reading the whole file for messages its index no longer reaches runs
  // beside the conversion of those it does.
  PendingRecoveryScan recovery(dbxPath);

  // The folder is opened first, so that one that cannot be read leaves no
  // empty .pst behind in the one-per-file mode.
  if (state.MyFolder) {
    state.MyFolder->CloseFolder();
    state.MyFolder.Reset();
  }
  page.DoEvents();
  auto end_call = [&] {
    if (own_pst) EndOwnPst(state);
    if (state.MyFolder) {
      state.MyFolder->CloseFolder();
      state.MyFolder.Reset();
    }
  };
  // A folder file whose messages the object model cannot list may still
  // hold them in its blocks: counted, and converted with recovery on (a
  // .pst of its own is made only then).
  auto recover_only = [&] {
    end_call();
    if (state.Recover && own_pst && !StartOwnPst(page, state, env, dbxFolderName, /*show_error=*/false)) return;
    ConvertRecoveredMessages(page, state, recovery,
                             TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName)), outcome);
    if (state.Recover && own_pst) EndOwnPst(state);
  };
  if (folder == nullptr) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = "no folder " + dbxFolderName + " in the store";
    end_call();
    return;
  }
  state.MyFolder = com::ComPtr<_OEFolder>::Share(folder);
  VARIANT_BOOL lock = VARIANT_FALSE;
  LONG result = 0;
  HRESULT hr = state.MyFolder->OpenFolder(&lock, &result);
  page.DoEvents();
  if (FAILED(hr)) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = DescribeError(hr);
    end_call();
    return;
  }
  state.OpenResult = result;
  if (result == 1005) {
    page.MsgBox(kCompressFolderText, MsgButtons::kOk, MsgIcon::kExclamation, kCompressFolderTitle);
  } else if (result != 0 && result != -1) {
    page.MsgBox(kOpenFolderFailedText + std::to_string(result), MsgButtons::kOk, MsgIcon::kExclamation,
                kOpenFolderFailedTitle);
    page.SetEnabled(PageControl::kFrame1, false);
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = "the folder file could not be opened (code " + std::to_string(result) + ")";
    recover_only();
    return;
  }

  page.SetProgressRange(ProgressBarId::kProgressBar2, 0, 100);
  page.DoEvents();
  // The messages actually listed, which can differ from the folder list's
  // count: none is left out.
  com::ComPtr<_OEMessages> messages;
  LONG count = 0;
  hr = state.MyFolder->get_OEMessages(messages.Out());
  if (SUCCEEDED(hr) && messages) hr = messages->get_Count(&count);
  if (FAILED(hr)) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = DescribeError(hr);
    end_call();
    return;
  }
  outcome.messages_total = count;
  outcome.messages_declared = DeclaredMessages(dbxPath);
  const bool index_short = outcome.messages_declared > count;
  if (index_short && count == 0) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = IndexShortText(count, outcome.messages_declared);
    recover_only();
    return;
  }
  if (own_pst && !StartOwnPst(page, state, env, dbxFolderName, /*show_error=*/false)) {
    end_call();
    return;
  }
  ComDateReader dates;
  MessagePipeline pipeline(page, state.PSTSession.get(), dates, count);
  for (LONG i = 1; i <= count; ++i) {
    page.DoEvents();
    if (page.Cancelled()) {
      outcome.interrupted = true;
      break;
    }
    com::ComPtr<_OEMessage> message;
    LONG index = i;
    hr = messages->get_Item(&index, message.Out());
    MessageNote note = NoteFor(message.get(), outcome.dbx_path, i);
    com::ComPtr<_OEMsgSegments> segments;
    if (SUCCEEDED(hr) && message) hr = message->get_OEMsgSegments(segments.Out());
    // A body whose chain failed part-way keeps the segments read before the
    // damaged block: a second read gives them, and they are converted.
    std::string damage;
    if (FAILED(hr) && message) {
      damage = DescribeError(hr);
      hr = message->get_OEMsgSegments(segments.Out());
      LONG kept = 0;
      if (SUCCEEDED(hr) && segments) segments->get_Count(&kept);
      if (FAILED(hr) || kept == 0) hr = com::RaiseError(com::kErrInvalidArgument, "Tollan", damage);
    }
    if (FAILED(hr) || !message || !segments) {
      // A message whose body cannot be read: skipped and reported.
      const std::string why = FAILED(hr) ? DescribeError(hr) : std::string("its body cannot be read");
      pipeline.Finish();  // the outcomes stay in message order
      ++outcome.messages_failed;
      outcome.error = "message " + std::to_string(i) + ": " + why;
      AddNote(state, note, MessageNote::What::kFailed, why);
      continue;
    }
    LONG segment_count = 0;
    segments->get_Count(&segment_count);
    if (segment_count == 0) {
      pipeline.Finish();
      ++outcome.messages_skipped;
      AddNote(state, note, MessageNote::What::kSkipped, "it has no body to convert");
      continue;
    }
    VARIANT_BOOL read = VARIANT_FALSE;
    message->get_MessageRead(&read);
    std::string text;
    hr = JoinSegments(page, segments.get(), segment_count, &text);
    if (FAILED(hr)) {
      const std::string why = DescribeError(hr);
      pipeline.Finish();
      ++outcome.messages_failed;
      outcome.error = "message " + std::to_string(i) + ": " + why;
      AddNote(state, note, MessageNote::What::kFailed, why);
      continue;
    }
    if (!damage.empty()) damage = DamagedBodyText(damage + "; " + std::to_string(text.size()) + " bytes read");
    DATE received = 0;
    message->get_DateReceived(&received);

    std::string key;
    if (LeaveOutDuplicate(state, note, text, &key, &outcome)) continue;
    MessageJob job;
    job.text = std::move(text);
    job.temp_path = IndexTempPath(output_folder, i);
    job.folder_path = TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName));
    job.read = read != VARIANT_FALSE;
    job.fallback_date = DateToFiletime(received);
    job.source_file = outcome.dbx_path;
    job.source_number = i;
    pipeline.Submit(std::move(job), [&page, &state, &outcome, i, count, damage = std::move(damage),
                                     key = std::move(key),
                                     note = std::move(note)](const Status& s, const std::string& kept) {
      if (!s.ok()) ReleaseDuplicate(state, key);
      CountOutcome(page, s, i, count, &outcome);
      if (s.ok() && !damage.empty()) ++outcome.messages_partial;
      NoteOutcome(state, note, s, kept, damage);
    });
  }
  pipeline.Finish();
  ConvertRecoveredMessages(page, state, recovery,
                           TargetFolderPath(state.StoreDisplayName, DisplayText(dbxFolderName)), outcome);
  if (index_short && count + outcome.messages_recovered < outcome.messages_declared) {
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = IndexShortText(count, outcome.messages_declared);
  }
  end_call();
}

}  // namespace tollan
