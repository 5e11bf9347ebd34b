// Converting the messages only the recovery scan finds; see
// recovered_messages.h.
#include "converter/engine/recovered_messages.h"

#include <memory>
#include <system_error>
#include <utility>

#include "converter/engine/engine_internal.h"
#include "converter/engine/message_pipeline.h"
#include "converter/engine/report_file.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/recovery_scan.h"

namespace tollan {

struct PendingRecoveryScan::Result {
  std::unique_ptr<dbx::FileSource> file;
  dbx::DbxRecoveryScan scan;
  bool ok = false;
};

namespace {

void Scan(const std::string& dbx_path, PendingRecoveryScan::Result* result) {
  result->scan.keep_indexed = false;  // those are converted already
  result->ok = dbx::FileSource::Open(dbx_path, false, &result->file).ok() &&
               dbx::ScanFolderFile(*result->file, &result->scan).ok();
}

}  // namespace

PendingRecoveryScan::PendingRecoveryScan(std::string dbx_path)
    : dbx_path_(std::move(dbx_path)), result_(std::make_unique<Result>()) {
  try {
    thread_ = std::thread(Scan, std::cref(dbx_path_), result_.get());
  } catch (const std::system_error&) {
    // Scanned in Take instead.
  }
}

PendingRecoveryScan::~PendingRecoveryScan() {
  if (thread_.joinable()) thread_.join();
}

std::unique_ptr<PendingRecoveryScan::Result> PendingRecoveryScan::Take() {
  if (thread_.joinable()) {
    thread_.join();
  } else if (result_) {
    Scan(dbx_path_, result_.get());
  }
  std::unique_ptr<Result> taken = std::move(result_);
  if (taken && !taken->ok) taken.reset();
  return taken;
}

void ConvertRecoveredMessages(ConversionPage& page, PageState& state, PendingRecoveryScan& pending,
                              const std::string& folder_path, FileOutcome& outcome) {
  std::unique_ptr<PendingRecoveryScan::Result> found = pending.Take();
  if (!found) return;
  const dbx::DbxRecoveryScan& scan = found->scan;
  dbx::FileSource& file = *found->file;
  page.DoEvents();
  outcome.messages_beyond_index = static_cast<int64_t>(scan.BeyondIndexCount());
  if (outcome.messages_beyond_index == 0) return;
  if (!state.Recover || !state.PSTSession) {
    outcome.messages_unrecovered = outcome.messages_beyond_index;
    return;
  }
  if (page.Cancelled()) {
    outcome.interrupted = true;
    return;
  }
  const std::string recovered_path = folder_path + "\\" + kRecoveredFolderName;
  Status s = state.PSTSession->AddSubfolder(folder_path, kRecoveredFolderName);
  if (!s.ok()) {
    outcome.messages_failed += outcome.messages_beyond_index;
    outcome.error = "no folder \"" + std::string(kRecoveredFolderName) + "\": " + s.ToString();
    return;
  }
  ComDateReader dates;
  MessagePipeline pipeline(page, state.PSTSession.get(), dates, outcome.messages_beyond_index);
  int64_t number = 0;
  for (const dbx::DbxRecoveredMessage& m : scan.messages) {
    if (m.origin == dbx::RecoveryOrigin::kIndex) continue;
    page.DoEvents();
    if (page.Cancelled()) {
      outcome.interrupted = true;
      break;
    }
    ++number;
    const bool has_record = m.origin == dbx::RecoveryOrigin::kRecord;
    MessageNote note;
    note.folder_file = outcome.dbx_path;
    note.number = number;
    if (has_record) {
      note.subject = m.record.subject;
      note.sender = m.record.sender_addr;
      note.date = FormatReportDate(m.record.date_received);
    }
    std::string why = std::string("recovered message ") + std::to_string(number) +
                      (has_record ? ", found through its surviving record"
                       : m.origin == dbx::RecoveryOrigin::kFragment
                           ? ", a fragment: the rest of a message whose start is lost, " +
                                 std::to_string(m.text_size) + " bytes from the body block at offset " +
                                 std::to_string(m.body_position)
                           : ", found as a body chain no record names");
    if (m.incomplete) why += "; its body chain was cut short, the bytes found are converted";
    MessageJob job;
    const dbx::DbxStatus read = dbx::ReadRecoveredText(file, m, &job.text);
    if (!read.ok()) {
      s = Status::IoError(read.ToString());
      pipeline.Finish();  // the outcomes stay in message order
      ++outcome.messages_failed;
      outcome.error = s.ToString();
      AddNote(state, note, MessageNote::What::kFailed, why + ": " + s.ToString());
      continue;
    }
    job.temp_path = state.OutputFolder + "recovered" + std::to_string(number) + ".eml";
    job.folder_path = recovered_path;
    job.read = has_record ? m.record.message_read() : true;
    job.fallback_date = has_record ? DateToFiletime(m.record.date_received) : 0;
    job.source_file = outcome.dbx_path;
    job.source_number = number;
    pipeline.Submit(std::move(job), [&state, &outcome, note = std::move(note), why,
                                     cut = m.incomplete](const Status& result, const std::string&) {
      if (result.ok()) {
        ++outcome.messages_recovered;
        if (cut) ++outcome.messages_partial;
        AddNote(state, note, MessageNote::What::kRecovered, why);
      } else {
        ++outcome.messages_failed;
        outcome.error = "recovered message " + std::to_string(note.number) + ": " +
                        result.ToString();
        AddNote(state, note, MessageNote::What::kFailed, why + ": " + result.ToString());
      }
    });
  }
  pipeline.Finish();
}

}  // namespace tollan
