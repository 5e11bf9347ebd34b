// ImportWorkers: the mail import (MIME parsing and the mapping to message
// properties) run in worker processes, so that a conversion uses every core
// while the .pst is written by the calling process alone.
//
// Each worker is the program `tollan-import-worker`, started with a channel
// of its own (import_workers_process.h) and out of reach of the terminal's
// Ctrl-C (the converter gets it and closes its .pst cleanly; the workers end
// when their channel closes, and the system ends them if the converter
// dies). A worker takes message bytes and answers with the imported message
// in the frames of import_wire.h; its answers are checked as untrusted input.
//
// Messages go to a worker in batches (up to kBatchMessages messages or
// kBatchBytes bytes, a large message alone), each batch in one write, and
// a worker has at most kBatchesPerWorker batches in hand, so that the next
// is already in its channel when it finishes one. It answers a batch with
// one write (serve_imports.h), and every answer that has come is taken
// with one read.
//
// Typical use (one thread):
//   std::unique_ptr<ImportWorkers> workers;
//   Status s = ImportWorkers::Start(options, &workers);
//   uint64_t ticket = workers->Send(std::move(bytes));
//   std::vector<wire::ImportAnswer> done;
//   if (workers->BatchReady()) workers->Pump(0, &done);  // hand over, take what came
//   while (...) workers->Pump(-1, &done);   // answers in any order
//
// When a worker crashes, sends a bad answer or runs past the time limit, no
// message fails on that account alone: the worker is replaced, and each
// message it held unanswered is sent again on its own, one to a worker
// that holds nothing else, with the normal time limit (new batches wait
// until every such message is answered). Only a message that fails its
// worker when it is alone in its hands gets an answer with a failed status
// that says why. Every message sent gets exactly one answer.
//
// The time limit of a batch: a worker must answer within the limit of the
// largest message it holds (Options), counted from when it last answered,
// or from when it was handed work while it held none (or greeted, when it
// was started again). A batch of slow messages that passes it only costs
// the time of sending them again one by one, each with its own limit.
#ifndef TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_
#define TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/engine/import_wire.h"
#include "converter/engine/import_workers_process.h"
#include "platform/mail/import.h"
#include "platform/pst/status.h"

namespace tollan {

// The name of the worker program.
inline constexpr char kImportWorkerName[] = "tollan-import-worker";

// What a worker writes on its output as soon as it starts, before any
// answer: a program that does not is not taken for the worker.
inline constexpr std::string_view kImportWorkerGreeting = "tollan-import-worker/4\n";

// The number of import processes a run uses when none is asked for:
// ImportJobsFor() of the processors this process may run on.
int DefaultImportJobs();

// The choice for a machine with `processors` processors. The import in this
// process already runs on a helper thread beside the writer, so it keeps two
// processors busy without handing a byte between processes; workers pay for
// their hand-over only where they get enough processors beyond those two.
// Below kWorkersPayFrom processors the answer is 1 (the import stays in this
// process); from there on one worker per processor, at most 16.
inline constexpr int kWorkersPayFrom = 4;
int ImportJobsFor(int processors);

class ImportWorkers {
 public:
  struct Options {
    int jobs = 1;
    std::string program;  // the worker program; FindImportWorker() when empty
    mail::ImportOptions import;
    // A message may take this long, plus `time_per_mb` per MB of its size,
    // counted from when its worker has it and has greeted.
    std::chrono::milliseconds time_limit{60000};
    std::chrono::milliseconds time_per_mb{2000};
    // The workers (and each one started again) must have greeted within
    // this time of their start.
    std::chrono::milliseconds greeting_limit{10000};
    // Start the workers only when a file comes with at least this many
    // messages (see Use); 0 starts them in Start. Starting them costs about
    // as much as importing a few hundred messages, so a run that chose
    // workers for itself (the default) starts them only where they pay.
    int64_t start_from_messages = 0;
  };

  // A file with fewer messages than this imports them in the converting
  // process when the run did not ask for workers itself.
  static constexpr int64_t kPaysFromMessages = 2000;

  // Starts `options.jobs` workers (1 to 64), or, with a
  // start_from_messages, only finds the program. Fails when the program
  // cannot be found or started, or when it does not greet as the worker
  // does (kImportWorkerGreeting): then it is not the worker, and nothing is
  // left running.
  static pst::Status Start(const Options& options, std::unique_ptr<ImportWorkers>* out);

  // Whether a file of `messages` messages (-1: not known) goes to the
  // workers: once they run, every file does; before, only one of at least
  // start_from_messages, and then they are started here. A start that fails
  // is not tried again: every file is then imported by the caller, and
  // start_failure() says why.
  bool Use(int64_t messages);
  const std::string& start_failure() const { return start_failure_; }

  ImportWorkers(const ImportWorkers&) = delete;
  ImportWorkers& operator=(const ImportWorkers&) = delete;
  // Closes every worker's socket and reaps them (killing any that lingers).
  ~ImportWorkers();

  // The workers running (or that ran); 0 before they are started.
  int jobs() const { return static_cast<int>(workers_.size()); }

  // Queues one message; its answer carries the returned ticket. The text is
  // kept until the answer comes, and after that by the answer's values that
  // are windows on it (import_wire.h). With a `temp_path`, the worker writes
  // the text to that new file (or the first free name beside it) before the
  // import and removes it after; when a worker is ended before it answers,
  // what it may have left there is removed (RemoveLeftoverTempFile).
  uint64_t Send(std::string message, std::string temp_path = std::string());

  // The batches: messages and bytes, and a message over kAloneBytes goes
  // alone.
  static constexpr size_t kBatchMessages = 16;
  static constexpr size_t kBatchBytes = size_t{1} << 20;
  static constexpr size_t kAloneBytes = kBatchBytes / 4;
  static constexpr size_t kBatchesPerWorker = 2;

  // Messages sent and not yet answered.
  size_t Outstanding() const { return outstanding_; }

  // A whole batch waits and a worker has room for it: worth a Pump(0).
  bool BatchReady() const;

  // The messages the workers may hold at once, with a batch waiting: a
  // caller that keeps this many sent keeps every worker busy.
  size_t Capacity() const { return (jobs() * kBatchesPerWorker + 1) * kBatchMessages; }

  // Moves the work on: hands queued messages to workers with room for a
  // batch, writes and reads what the channels take, and appends every
  // finished answer to `done`. Waits up to `timeout_ms` (-1: until something
  // is answered) when nothing was answered at once; returns at once when
  // nothing is outstanding. With a `timeout_ms` of 0 (the caller has other
  // work) only whole batches are handed over; otherwise whatever is queued
  // goes, since the caller would only wait for it.
  void Pump(int timeout_ms, std::vector<wire::ImportAnswer>* done);

  // The run is being stopped: the messages in the workers' hands may take
  // `grace` more; then every worker still importing is ended and each
  // message not yet answered fails, saying the run was stopped. Takes
  // effect in Pump.
  void Hurry(std::chrono::milliseconds grace);

  // The process ids of the running workers (for tests and diagnostics).
  std::vector<pid_t> Pids() const;

 private:
  struct Request {
    uint64_t ticket = 0;
    std::shared_ptr<const std::string> message;
    std::string temp_path;
    std::string prefix;  // the frame's bytes before the message
    bool alone = false;  // sent again on its own after its worker failed
  };
  struct Worker {
    std::unique_ptr<WorkerProcess> process;  // null: not running
    std::deque<Request> held;  // handed over, in the order the worker takes them
    std::deque<size_t> batches;  // the number of held messages of each batch, in order
    size_t sending = 0;        // held[sending] is the frame being written
    size_t sent = 0;           // of which this many bytes are written
    std::string in;            // bytes read, not yet a whole frame
    std::chrono::steady_clock::time_point since;  // when it last answered, or was handed work idle
    bool greeted = false;      // kImportWorkerGreeting has come
  };

  // Starts every worker and waits for their greetings.
  pst::Status StartAll();

  explicit ImportWorkers(Options options) : options_(std::move(options)) {}

  pst::Status Spawn(Worker* w);
  // Waits for the greeting of every worker just started.
  pst::Status AwaitGreetings();
  // Takes the greeting off the front of w.in; false when what came is not
  // the greeting (*why says what came).
  bool TakeGreeting(Worker& w, std::string* why);
  // Past the grace of Hurry: ends the workers still importing and fails
  // every message not yet answered.
  void Abandon(std::vector<wire::ImportAnswer>* done);
  // Hands the messages sent again alone to workers that hold nothing, then
  // (when none waits) batches to workers with room; a batch that is not
  // whole only when `partial`.
  void Assign(bool partial);
  // A worker may take a new batch: it runs, holds fewer than
  // kBatchesPerWorker and no message sent again alone.
  static bool HasRoom(const Worker& w);
  // The messages at the front of queue_ that go together.
  size_t NextBatch(bool* whole) const;
  // Writes what the channel takes; false when the worker is gone.
  bool Flush(Worker& w);
  // Reads and decodes what has come; false when the worker is gone or
  // sent something unreadable (then *why says what).
  bool Receive(Worker& w, std::vector<wire::ImportAnswer>* done, std::string* why);
  // Ends a worker that failed and starts another in its place. A message
  // it held alone fails with `why`; every other message it held is sent
  // again alone.
  void Replace(Worker& w, const std::string& why, std::vector<wire::ImportAnswer>* done);
  std::chrono::milliseconds LimitFor(const Request& r) const;
  // The time a worker has for what it holds: the largest limit among them.
  std::chrono::milliseconds LimitFor(const Worker& w) const;
  // Fails a message that will not be imported.
  void Fail(const Request& r, pst::Status why, std::vector<wire::ImportAnswer>* done);
  // Closes the worker's channel and reaps it, killing it at once or after
  // a grace for it to end by itself; returns how it ended.
  std::string Stop(Worker& w, bool kill_now);

  Options options_;
  std::string start_failure_;  // the start in Use failed: why
  std::vector<Worker> workers_;
  std::deque<Request> queue_;  // sent, not yet handed to a worker
  std::deque<Request> retry_;  // held by a worker that failed: each goes again alone
  uint64_t next_ticket_ = 1;
  size_t outstanding_ = 0;
  // Set by Hurry: when the messages in hand must be done.
  std::optional<std::chrono::steady_clock::time_point> stop_by_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_
