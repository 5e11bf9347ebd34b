// The per-message pipeline both engine entry points share: write the message
// text to a temporary .eml file, read its date, add a mail item to the target
// folder, import the file into it, set the message flags and the two dates,
// save the item and delete the file.
#ifndef TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_
#define TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "converter/engine/conversion_page.h"
#include "converter/engine/pst_session.h"

namespace tollan {

// Reads the date of a written .eml file (the Date header, else the newest
// Received header); nullopt when the file has none. FILETIME ticks.
// `content` is exactly what was written to `eml_path`; a reader may take the
// header block from it instead of reading the file back. MessagePipeline may
// call it on its helper thread and on the calling thread, one call at a time.
class MessageDateReader {
 public:
  virtual ~MessageDateReader() = default;
  virtual std::optional<uint64_t> MessageDate(const std::string& eml_path, std::string_view content) = 0;
};

struct MessageJob {
  std::string text;         // the complete stored Internet message
  std::string temp_path;    // the wanted temporary file path
  std::string folder_path;  // "\\" + store display name + "\" + folder name
  bool read = true;         // sets the read flag
  // The date to use when the message text has none (the received date of
  // the source record); 0 when unknown, and then no date is set at all.
  uint64_t fallback_date = 0;
  // The source message, as the report names it: its folder file and number.
  std::string source_file;
  int64_t source_number = 0;
};

// Runs the pipeline for one message, yielding to the page between the slow
// steps. Ok when the item was saved; otherwise the step that failed. The
// temporary file is gone afterwards in either case. When the item was saved
// with its original attached, *kept_original (if given) says why.
Status ConvertMessage(ConversionPage& page, PstSession& session, MessageDateReader& dates,
                      const MessageJob& job, std::string* kept_original = nullptr);

// Runs the pipeline for the messages of one file, in order. Each message's
// outcome reaches its `done` on the calling thread, in the order the
// messages were submitted; the page is only ever called from that thread.
//
// When the session has import workers, they write the temporary files of
// the next messages, read their dates, import them and remove the files
// while the calling thread saves earlier ones (the date read from the
// header block, as the date reader does). Else, when the session lets imports run off its thread, a helper
// thread does that part, and the calling thread imports the next messages
// too whenever it would otherwise wait for the helper; otherwise each
// message runs to its end within Submit. Either way every message goes
// through the same steps.
class MessagePipeline {
 public:
  // The message's outcome and, for a saved message that kept its original
  // attached, why (PstMailItem::KeptOriginalReason).
  using Done = std::function<void(const Status&, const std::string& kept_original)>;

  // `session` may be null: every message then fails with "no .pst is open".
  // `messages` is how many the caller means to submit (-1: not known): the
  // session's import workers take them only when they pay for that many
  // (ImportWorkers::Use).
  MessagePipeline(ConversionPage& page, PstSession* session, MessageDateReader& dates, int64_t messages = -1);
  MessagePipeline(const MessagePipeline&) = delete;
  MessagePipeline& operator=(const MessagePipeline&) = delete;
  // Finishes every submitted message.
  ~MessagePipeline();

  void Submit(MessageJob job, Done done);

  // Waits for every submitted message and hands out its outcome.
  void Finish();

 private:
  struct Slot;

  // The calling thread's part of a new message: its temporary file and its
  // item in the session; sets slot.status.
  void Open(Slot& slot);
  void PrepareLoop();
  // The helper's part of one message: its date and its import. The calling
  // thread does it too, for the next message in line, when it would
  // otherwise wait for the helper.
  Status Prepare(Slot& slot);
  // Prepare, then frees the message text (the item holds what it needs).
  void PrepareAndRelease(Slot& slot);
  // Completes the prepared messages at the front; waits for the helper
  // while more than `keep` messages (or too many bytes) are outstanding.
  void CompleteReady(size_t keep);
  void Complete(std::unique_ptr<Slot> slot);
  // The same with import workers, all on the calling thread.
  void SubmitToWorkers(std::unique_ptr<Slot> slot);
  void DrainWorkers(size_t keep);

  // Messages submitted ahead of the one being saved, and their bytes (each
  // held twice once imported): the helper runs this far ahead at most.
  static constexpr size_t kDepth = 32;
  static constexpr size_t kMaxBytes = 64 << 20;
  // Hand-overs between the threads in batches, so that neither wakes the
  // other for every message: an idle helper starts again once this many
  // messages wait, and a waiting caller goes on once at most kLowWater do.
  static constexpr size_t kWakeBatch = 8;
  // With workers: how often a wait looks at the page's stop, and how long
  // the messages in the workers' hands may take once it is set.
  static constexpr int kStopCheckMs = 200;
  static constexpr std::chrono::milliseconds kStopGrace{3000};
  static constexpr size_t kLowWater = kDepth / 2;
  // With workers: enough messages ahead that every worker has a batch in
  // hand and the next in its channel (ImportWorkers::Capacity), within this.
  static constexpr size_t kMaxWorkerDepth = 512;

  ConversionPage& page_;
  PstSession* session_;
  MessageDateReader& dates_;
  ImportWorkers* const workers_;
  const size_t worker_depth_;
  const bool concurrent_;

  std::mutex mu_;
  std::mutex dates_mu_;  // one MessageDate call at a time
  std::condition_variable work_cv_;      // work for the helper, or stop
  std::condition_variable prepared_cv_;  // the caller may go on
  std::deque<std::unique_ptr<Slot>> slots_;  // submitted, not yet completed
  std::deque<Slot*> to_prepare_;
  size_t inflight_bytes_ = 0;
  bool helper_idle_ = false;
  bool caller_waiting_ = false;
  bool stop_ = false;
  // One helper, and the calling thread when it has nothing else to do:
  // GMime objects made and freed on more threads at once contend for
  // GLib's process-wide locks, so a third importer would lose time.
  std::thread helper_;

  // With workers: the slots waiting for their answer, by ticket.
  std::unordered_map<uint64_t, Slot*> awaited_;
  std::vector<wire::ImportAnswer> answers_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_
