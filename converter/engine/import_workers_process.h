// WorkerProcess: one import worker process and the channel to it, the part
// of the worker pool (import_workers.h) that differs between systems. The
// pool itself (queueing, time limits, replacement, answers) is the same
// everywhere and talks to its workers only through this class.
//
// On POSIX the channel is a socket pair; the worker runs in a process group
// of its own and is killed by the kernel when this process dies. On Windows
// it is a pair of pipes, each served by a thread of its own; the worker runs
// in a job object that ends it when this process dies, in a console process
// group of its own, so that Ctrl-C reaches only this process.
//
// Typical use (one thread; WaitForWorkers wakes it):
//   std::unique_ptr<WorkerProcess> p;
//   Status s = WorkerProcess::Start(program, args, &p);
//   size_t n = p->Write(parts, count);       // what the channel took
//   p->Read(&in);                            // what has come
//   p->CloseChannel(); p->Reap(wait);        // the worker ends
//
// Nothing here waits unless it says so. After the worker has gone, Write
// and Read say so; Reap then tells how it ended.
#ifndef TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_PROCESS_H_
#define TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_PROCESS_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pst/status.h"

namespace tollan {

class WorkerProcess {
 public:
  // Starts `program` with `args` (not including the program itself), its
  // standard input and output the two directions of a new channel.
  static pst::Status Start(const std::string& program, const std::vector<std::string>& args,
                           std::unique_ptr<WorkerProcess>* out);

  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;
  // Kills the worker if it still runs, and reaps it.
  ~WorkerProcess();

  // The process id.
  int64_t id() const;

  // Writes as much of the bytes of `parts` (in order, as one stream) as the
  // channel takes without waiting; returns how many, or nullopt when the
  // worker is gone.
  std::optional<size_t> Write(const std::string_view* parts, size_t count);

  enum class ReadResult { kSome, kNothing, kEnded };
  // Appends what has come to `into`, without waiting. kEnded: the worker
  // closed its end (it has ended, or is ending).
  ReadResult Read(std::string* into);

  // Closes this end of the channel: a worker between messages then ends.
  void CloseChannel();
  // Ends the worker at once.
  void Kill();
  // Waits up to `wait` (forever when negative) for the worker to end;
  // returns how it ended, in words for the report ("the import process
  // exited with status 3"), or nullopt while it still runs.
  std::optional<std::string> Reap(std::chrono::milliseconds wait);

  // What a wait is for, and what it found.
  struct Wait {
    WorkerProcess* process = nullptr;  // null: not waited for
    bool want_write = false;           // also wake when it takes more bytes
    bool ready = false;                // set: worth a Read (or a Write)
  };
  // Waits up to `timeout` (forever when negative) until one of `waits` has
  // something to read, has ended, or (with want_write) takes more bytes,
  // and marks those that are ready.
  static void WaitForAny(std::vector<Wait>* waits, std::chrono::milliseconds timeout);

 private:
  struct Impl;
  explicit WorkerProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Where the worker program of this installation is: $TOLLAN_IMPORT_WORKER,
// else beside the running program (on POSIX also in ../lib/tollan or
// ../libexec/tollan relative to it). Empty when none is there.
std::string FindImportWorker();

// The processors this process may run on.
int UsableProcessors();

// The id of this process.
int64_t CurrentProcessId();

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_IMPORT_WORKERS_PROCESS_H_
