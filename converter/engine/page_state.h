// PageState: the fields of a conversion page that the batch driver and the
// conversion engine share during a run, and the run's report of what became
// of every file and message.
#ifndef TOLLAN_CONVERTER_ENGINE_PAGE_STATE_H_
#define TOLLAN_CONVERTER_ENGINE_PAGE_STATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "converter/engine/duplicate_filter.h"
#include "converter/engine/pst_session.h"
#include "platform/com/com_ptr.h"
#include "reader/model/interfaces.h"

namespace tollan {

// What became of one entry of a run.
struct FileOutcome {
  enum class State { kConverted, kSkipped, kPassedOver, kFailed };
  std::string dbx_path;
  std::string file_name;
  State state = State::kConverted;
  // Messages the source listed; for a file skipped on purpose, the messages
  // its index lists (none were converted).
  int64_t messages_total = 0;
  int64_t messages_converted = 0;  // saved into the .pst
  int64_t messages_skipped = 0;    // without a body to convert
  int64_t messages_failed = 0;     // could not be read, imported or saved
  // Saved into the .pst but not whole: a body cut short or damaged (counted
  // in messages_converted or messages_recovered too).
  int64_t messages_partial = 0;
  int64_t messages_duplicate = 0;  // left out: already in the output (PageState::Duplicates)
  // Messages the folder file's header declares; -1 when not known.
  int64_t messages_declared = -1;
  bool interrupted = false;        // the run was stopped during this file
  std::string error;               // why the file (or its last message) failed
  // Messages the file holds that its index does not reach (found by the
  // recovery scan), and those of them converted into "Recovered".
  int64_t messages_beyond_index = 0;
  int64_t messages_recovered = 0;
  // Of messages_beyond_index, those no recovery was tried for (it was off).
  int64_t messages_unrecovered = 0;

  // The messages of this file that are not in the outputs whole: failed,
  // saved in part, or left behind the index. Skipped files hold none.
  int64_t MessagesLost() const { return messages_failed + messages_partial + messages_unrecovered; }
};

// One message that did not come through cleanly, named so that the user can
// look for it: by its folder file and its number there (from 1, the order in
// which the file lists it), with the subject, sender and received date its
// record gives.
struct MessageNote {
  enum class What { kFailed, kSkipped, kIncomplete, kKeptOriginal, kRecovered, kMismatch, kDuplicate, kNewPart };
  std::string folder_file;  // the .dbx file's path
  int64_t number = 0;
  std::string subject;
  std::string sender;
  std::string date;  // "YYYY-MM-DD HH:MM:SS" as stored, "" when none
  What what = What::kFailed;
  std::string why;
};

struct RunReport {
  std::vector<FileOutcome> files;
  // Every message not converted cleanly, and the first of each further part
  // of a .pst split at a size limit.
  std::vector<MessageNote> messages;
  std::vector<std::string> pst_files;  // every .pst made, in order
  // What reading each .pst back found, in order (runs that verify).
  std::vector<PstVerification> verifications;
  bool finished = false;               // the closing message was reached
  // The report file written at the end of the run ("" when none), or why it
  // could not be written.
  std::string report_file;
  std::string report_error;
  bool interrupted = false;            // the user stopped the run

  int64_t MessagesConverted() const;
  // Every message the .pst files hold: converted or recovered.
  int64_t MessagesSaved() const;
  int64_t MessagesSkipped() const;
  int64_t MessagesFailed() const;
  int64_t MessagesPartial() const;
  int64_t MessagesUnrecovered() const;
  int64_t MessagesDuplicate() const;
  int64_t FilesFailed() const;
  // The messages held by files skipped on purpose (the Outbox, Deleted Items
  // while skipped, ...).
  int64_t MessagesInSkippedFiles() const;
  // True when every message of every file converted is in the outputs
  // whole: nothing failed, was saved in part or was left behind the index,
  // and no file failed.
  bool AllArrivedWhole() const;

 private:
  // The sum of per_file(f) over every file of the run.
  template <typename PerFile>
  int64_t SumOverFiles(PerFile per_file) const {
    int64_t n = 0;
    for (const auto& f : files) n += per_file(f);
    return n;
  }
};

struct PageState {
  // The chosen output folder, always ending with the separator once a run has
  // started.
  std::string OutputFolder;
  // The session of the single .pst (whole run) or of the current file's .pst.
  std::unique_ptr<PstSession> PSTSession;
  // The single .pst store of a run, owned by PSTSession.
  PstStoreHandle* SingleStore = nullptr;
  std::string StoreDisplayName;
  std::string StoreFolderName;
  // Where the run's report goes: a new file of this path when set, else
  // beside the outputs when anything went wrong (report_file.h).
  std::string ReportPath;
  // Beyond the flat folders of a run: the .pst folders follow the Outlook
  // Express folder tree and names; messages the folder index has lost are
  // recovered too.
  bool KeepFolderTree = false;
  bool Recover = false;
  // Every .pst is proven once complete: the structural check, then every
  // message read back and compared with what was written (the sessions
  // the page makes read back; report.verifications holds the outcome).
  bool Verify = false;
  // The sessions the page makes begin a new part of a .pst before it would
  // pass this size (0: no limit; see NewPstWriterSession).
  uint64_t MaxPstBytes = 0;
  // The Outbox ("Outbox.dbx", "Outbox(1).dbx") is converted too instead of
  // being skipped.
  bool ConvertOutbox = false;
  // When set, a message already in the run's output is left out (counted in
  // messages_duplicate and named in the report).
  std::shared_ptr<DuplicateFilter> Duplicates;
  // The path asked for the .pst being written (its final name may differ:
  // see PstSession::CompletedPath).
  std::string PstPath;
  RunReport report;

  // The default-store page only: the reader's top object, the folder the
  // engine has open, and the result codes of the last openings.
  tollan::com::ComPtr<_OE> MyOE;
  tollan::com::ComPtr<_OEFolder> MyFolder;
  LONG OpenResult = 0;
  LONG StoreResult = 0;
};

inline int64_t RunReport::MessagesConverted() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_converted; });
}
inline int64_t RunReport::MessagesSaved() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_converted + f.messages_recovered; });
}
inline int64_t RunReport::MessagesSkipped() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_skipped; });
}
inline int64_t RunReport::MessagesFailed() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_failed; });
}
inline int64_t RunReport::MessagesPartial() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_partial; });
}
inline int64_t RunReport::MessagesUnrecovered() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_unrecovered; });
}
inline int64_t RunReport::MessagesInSkippedFiles() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.state == FileOutcome::State::kSkipped ? f.messages_total : 0; });
}
inline bool RunReport::AllArrivedWhole() const {
  for (const auto& f : files) {
    if (f.state == FileOutcome::State::kFailed || f.MessagesLost() > 0) return false;
  }
  return true;
}
inline int64_t RunReport::MessagesDuplicate() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.messages_duplicate; });
}
inline int64_t RunReport::FilesFailed() const {
  return SumOverFiles([](const FileOutcome& f) -> int64_t { return f.state == FileOutcome::State::kFailed ? 1 : 0; });
}

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_PAGE_STATE_H_
