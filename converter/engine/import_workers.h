// ImportWorkers: the mail import (MIME parsing and the mapping to message
// properties) run in worker processes, so that a conversion uses every core
// while the .pst is written by the calling process alone.
//
// Each worker is the program `tollan-import-worker`, started with a channel
// of its own (import_workers_process.h) and out of reach of the terminal's
// Ctrl-C (the converter gets it and closes its .pst cleanly; the workers end
// when their channel closes, and the system ends them if the converter
// dies). Several messages go to a worker in one write when they are small.
// A worker takes message bytes and answers with the imported message in the
// frames of import_wire.h; its answers are checked as untrusted input.
//
// Typical use (one thread):
//   std::unique_ptr<ImportWorkers> workers;
//   Status s = ImportWorkers::Start(options, &workers);
//   uint64_t ticket = workers->Send(std::move(bytes));
//   std::vector<wire::ImportAnswer> done;
//   while (...) workers->Pump(-1, &done);   // answers in any order
//
// A message that makes its worker crash, send a bad answer or run past the
// time limit gets an answer with a failed status that says why; the worker
// is replaced and the other messages it held go to another worker. Every
// message sent gets exactly one answer.
#ifndef TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_
#define TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_

#include <sys/types.h>

#include <array>
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
inline constexpr std::string_view kImportWorkerGreeting = "tollan-import-worker/2\n";

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

// The import of one message as a worker does it: the mapping, the report's
// verdict and the date from the header block (the reader of the date
// component).
wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::string_view message, const mail::ImportOptions& options);
// The same for a text the answer may share: a large attachment stays a
// window on it (mail::ImportMessage), which AppendAnswer sends as such.
wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::shared_ptr<const std::string> message,
                                    const mail::ImportOptions& options);

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
  };

  // Starts `options.jobs` workers (1 to 64). Fails when the program cannot
  // be found or started, or when it does not greet as the worker does
  // (kImportWorkerGreeting): then it is not the worker, and nothing is left
  // running.
  static pst::Status Start(const Options& options, std::unique_ptr<ImportWorkers>* out);

  ImportWorkers(const ImportWorkers&) = delete;
  ImportWorkers& operator=(const ImportWorkers&) = delete;
  // Closes every worker's socket and reaps them (killing any that lingers).
  ~ImportWorkers();

  int jobs() const { return static_cast<int>(workers_.size()); }

  // Queues one message; its answer carries the returned ticket. The text is
  // kept until the answer comes, and after that by the answer's values that
  // are windows on it (import_wire.h).
  uint64_t Send(std::string message);

  // Messages sent and not yet answered.
  size_t Outstanding() const { return outstanding_; }

  // Moves the work on: hands queued messages to free workers, writes and
  // reads what the sockets take, and appends every finished answer to
  // `done`. Waits up to `timeout_ms` (-1: until something is answered)
  // when nothing was answered at once; returns at once when nothing is
  // outstanding.
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
    std::array<char, wire::kRequestPrefixSize> prefix;  // the frame's bytes before the message
  };
  struct Worker {
    std::unique_ptr<WorkerProcess> process;  // null: not running
    std::deque<Request> held;  // handed over, in the order the worker takes them
    size_t held_bytes = 0;     // the sizes of their messages
    size_t sending = 0;        // held[sending] is the frame being written
    size_t sent = 0;           // of which this many bytes are written
    std::string in;            // bytes read, not yet a whole frame
    std::chrono::steady_clock::time_point front_since;  // when the front message started
    bool greeted = false;      // kImportWorkerGreeting has come
  };

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
  void Assign();
  // Writes what the channel takes; false when the worker is gone.
  bool Flush(Worker& w);
  // Reads and decodes what has come; false when the worker is gone or
  // sent something unreadable (then *why says what).
  bool Receive(Worker& w, std::vector<wire::ImportAnswer>* done, std::string* why);
  // Ends a worker that failed: its front message fails with `why`, the
  // others go back to the queue, and a new worker takes its place.
  void Replace(Worker& w, const std::string& why, std::vector<wire::ImportAnswer>* done);
  std::chrono::milliseconds LimitFor(const Request& r) const;
  // Closes the worker's channel and reaps it, killing it at once or after
  // a grace for it to end by itself; returns how it ended.
  std::string Stop(Worker& w, bool kill_now);

  Options options_;
  std::vector<Worker> workers_;
  std::deque<Request> queue_;  // sent, not yet handed to a worker
  uint64_t next_ticket_ = 1;
  size_t outstanding_ = 0;
  // Set by Hurry: when the messages in hand must be done.
  std::optional<std::chrono::steady_clock::time_point> stop_by_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_H_
