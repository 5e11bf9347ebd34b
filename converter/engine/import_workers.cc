// The pool of import worker processes: queueing, the time limit, the
// replacement of workers that fail, and the answers. The same on every
// system; the processes and channels are import_workers_process.h.
#include "converter/engine/import_workers.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "converter/engine/temp_file.h"

namespace tollan {

namespace {

using pst::Status;
using Clock = std::chrono::steady_clock;

// A message over this is refused before it is sent (the import takes at
// most 2 GiB).
constexpr size_t kMaxMessage = size_t{1} << 31;
// Frames gathered into one write: two batches.
constexpr size_t kFramesPerWrite = 2 * ImportWorkers::kBatchMessages;

std::string DescribeLimit(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 != 0) return std::to_string(limit.count()) + " ms";
  return std::to_string(limit.count() / 1000) + " s";
}

}  // namespace

int DefaultImportJobs() { return ImportJobsFor(UsableProcessors()); }

int ImportJobsFor(int processors) {
  if (processors < kWorkersPayFrom) return 1;
  return std::min(processors, 16);
}

Status ImportWorkers::Start(const Options& options, std::unique_ptr<ImportWorkers>* out) {
  if (options.jobs < 1 || options.jobs > 64) {
    return Status::InvalidArgument("the number of import processes must be 1 to 64, not " +
                                   std::to_string(options.jobs));
  }
  Options opts = options;
  if (opts.program.empty()) opts.program = FindImportWorker();
  if (opts.program.empty()) {
    return Status::NotFound(std::string("the import program ") + kImportWorkerName +
                            " is not installed beside this program");
  }
  std::unique_ptr<ImportWorkers> pool(new ImportWorkers(std::move(opts)));
  if (pool->options_.start_from_messages <= 0) {
    Status s = pool->StartAll();
    if (!s.ok()) return s;
  }
  *out = std::move(pool);
  return Status::Ok();
}

Status ImportWorkers::StartAll() {
  workers_.resize(static_cast<size_t>(options_.jobs));
  Status s;
  for (Worker& w : workers_) {
    s = Spawn(&w);
    if (!s.ok()) break;
  }
  if (s.ok()) s = AwaitGreetings();
  if (!s.ok()) {
    // Not the worker, or not all of them: whatever runs is not left running.
    for (Worker& w : workers_) Stop(w, true);
    workers_.clear();
  }
  return s;
}

bool ImportWorkers::Use(int64_t messages) {
  if (!workers_.empty()) return true;
  if (!start_failure_.empty()) return false;
  if (messages >= 0 && messages < options_.start_from_messages) return false;
  Status s = StartAll();
  if (s.ok()) return true;
  start_failure_ = s.message();
  if (start_failure_.empty()) start_failure_ = "the import processes could not be started";
  return false;
}

bool ImportWorkers::TakeGreeting(Worker& w, std::string* why) {
  const size_t n = std::min(w.in.size(), kImportWorkerGreeting.size());
  if (w.in.compare(0, n, kImportWorkerGreeting, 0, n) != 0) {
    std::string came = w.in.substr(0, 32);
    for (char& c : came) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '.';
    }
    *why = "it answered \"" + came + "\" instead of the worker's greeting";
    return false;
  }
  if (n == kImportWorkerGreeting.size()) {
    w.in.erase(0, n);
    w.greeted = true;
  }
  return true;
}

Status ImportWorkers::AwaitGreetings() {
  const auto deadline = Clock::now() + options_.greeting_limit;
  const auto not_worker = [&](const std::string& why) {
    return Status::IoError("the import program " + options_.program + " is not " + kImportWorkerName + ": " + why);
  };
  std::vector<WorkerProcess::Wait> waits(workers_.size());
  for (;;) {
    bool waiting = false;
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = workers_[i];
      waits[i] = {};
      if (w.greeted) continue;
      const WorkerProcess::ReadResult r = w.process->Read(&w.in);
      if (r == WorkerProcess::ReadResult::kEnded) {
        w.process->CloseChannel();
        const std::optional<std::string> how = w.process->Reap(std::chrono::milliseconds(-1));
        return not_worker(how.value_or("it ended") + " before it greeted");
      }
      std::string why;
      if (!TakeGreeting(w, &why)) return not_worker(why);
      if (w.greeted) continue;
      waits[i].process = w.process.get();
      waiting = true;
    }
    if (!waiting) return Status::Ok();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return not_worker("it did not greet within " + DescribeLimit(options_.greeting_limit));
    }
    WorkerProcess::WaitForAny(&waits, left);
  }
}

void ImportWorkers::Hurry(std::chrono::milliseconds grace) {
  if (!stop_by_) stop_by_ = Clock::now() + grace;
}

void ImportWorkers::Fail(const Request& r, Status why, std::vector<wire::ImportAnswer>* done) {
  wire::ImportAnswer failed;
  failed.ticket = r.ticket;
  failed.status = std::move(why);
  done->push_back(std::move(failed));
  --outstanding_;
}

void ImportWorkers::Abandon(std::vector<wire::ImportAnswer>* done) {
  const std::string stopped = "the run was stopped before this message was imported";
  for (Worker& w : workers_) {
    if (w.held.empty()) continue;
    // Still importing when the grace ran out: ended, and its messages
    // named. Which of several it was on is not known (its answers go out
    // together), so each says it was one of them.
    const auto busy = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - w.since);
    const size_t in_hand = w.sending;
    Stop(w, true);
    for (size_t i = 0; i < w.held.size(); ++i) {
      std::string why = stopped;
      if (i < in_hand && in_hand == 1) {
        why = "the run was stopped while this message was being imported (for " + DescribeLimit(busy) +
              "); its import process was ended";
      } else if (i < in_hand) {
        why = "the run was stopped while its import process held this message and " +
              std::to_string(in_hand - 1) + " more not yet answered (for " + DescribeLimit(busy) +
              "); the process was ended";
      }
      Fail(w.held[i], Status::IoError(why), done);
    }
    // Not started again: the run is ending, and whatever is sent after
    // goes to the workers left or fails as not imported.
    w.held.clear();
    w.batches.clear();
  }
  for (std::deque<Request>* q : {&retry_, &queue_}) {
    for (const Request& r : *q) Fail(r, Status::IoError(stopped), done);
    q->clear();
  }
}

ImportWorkers::~ImportWorkers() {
  // Closing the channels ends the workers between messages; any that is
  // stuck inside one is killed.
  for (Worker& w : workers_) {
    if (w.process) w.process->CloseChannel();
  }
  for (Worker& w : workers_) {
    if (!w.held.empty()) Stop(w, true);
  }
  for (Worker& w : workers_) Stop(w, false);
}

std::string ImportWorkers::Stop(Worker& w, bool kill_now) {
  if (!w.process) return "the import process ended";
  w.process->CloseChannel();
  if (kill_now) w.process->Kill();
  // An idle worker ends within moments of its channel closing; one that
  // does not is killed after a grace period.
  std::optional<std::string> how = w.process->Reap(std::chrono::milliseconds(kill_now ? -1 : 2000));
  if (!how) {
    w.process->Kill();
    how = w.process->Reap(std::chrono::milliseconds(-1));
  }
  w.process.reset();
  // Ended inside a message, it may have left that message's file.
  for (const Request& r : w.held) RemoveLeftoverTempFile(r.temp_path, *r.message);
  return how.value_or("the import process ended");
}

Status ImportWorkers::Spawn(Worker* w) {
  std::vector<std::string> args = {"--parent",   std::to_string(CurrentProcessId()),
                                    "--codepage", std::to_string(options_.import.default_code_page),
                                    "--max-depth", std::to_string(options_.import.max_embedding_depth)};
  if (options_.import.now_filetime != 0) {
    args.push_back("--now");
    args.push_back(std::to_string(options_.import.now_filetime));
  }
  if (!options_.import.guess_utf8) args.push_back("--no-guess-utf8");
  w->process.reset();
  w->greeted = false;
  w->held.clear();
  w->batches.clear();
  w->sending = 0;
  w->sent = 0;
  w->in.clear();
  return WorkerProcess::Start(options_.program, args, &w->process);
}

uint64_t ImportWorkers::Send(std::string message, std::string temp_path) {
  Request r;
  r.ticket = next_ticket_++;
  r.prefix = wire::RequestPrefix(r.ticket, temp_path, message.size());
  r.temp_path = std::move(temp_path);
  r.message = std::make_shared<const std::string>(std::move(message));
  ++outstanding_;
  queue_.push_back(std::move(r));
  return queue_.back().ticket;
}

std::vector<pid_t> ImportWorkers::Pids() const {
  std::vector<pid_t> pids;
  for (const Worker& w : workers_) pids.push_back(w.process ? static_cast<pid_t>(w.process->id()) : -1);
  return pids;
}

std::chrono::milliseconds ImportWorkers::LimitFor(const Request& r) const {
  return options_.time_limit + options_.time_per_mb * static_cast<int64_t>(r.message->size() >> 20);
}

std::chrono::milliseconds ImportWorkers::LimitFor(const Worker& w) const {
  std::chrono::milliseconds limit{0};
  for (const Request& r : w.held) limit = std::max(limit, LimitFor(r));
  return limit;
}

bool ImportWorkers::BatchReady() const {
  bool whole = false;
  if (queue_.empty() || !retry_.empty() || (NextBatch(&whole), !whole)) return false;
  return std::any_of(workers_.begin(), workers_.end(), HasRoom);
}

bool ImportWorkers::HasRoom(const Worker& w) {
  return w.process && w.batches.size() < kBatchesPerWorker && (w.held.empty() || !w.held.front().alone);
}

size_t ImportWorkers::NextBatch(bool* whole) const {
  // Small messages together, up to the count and the bytes of a batch; a
  // large one alone.
  size_t n = 0;
  size_t bytes = 0;
  for (const Request& r : queue_) {
    const size_t size = r.message->size();
    if (n > 0 && (size > kAloneBytes || bytes + size > kBatchBytes)) {
      *whole = true;
      return n;
    }
    ++n;
    bytes += size;
    if (n == kBatchMessages || size > kAloneBytes) {
      *whole = true;
      return n;
    }
  }
  *whole = false;
  return n;
}

void ImportWorkers::Assign(bool partial) {
  const auto now = Clock::now();
  const auto start = [now](Worker& w) {
    // A worker started again has its start-up to itself: its clock starts
    // when it has greeted.
    if (w.held.empty() || !w.greeted) w.since = now;
  };
  // A message sent again goes alone, to a worker that holds nothing, and
  // nothing follows it there until it is answered.
  while (!retry_.empty()) {
    auto idle = std::find_if(workers_.begin(), workers_.end(),
                             [](const Worker& w) { return w.process && w.held.empty(); });
    if (idle == workers_.end()) return;
    start(*idle);
    idle->held.push_back(std::move(retry_.front()));
    idle->batches.push_back(1);
    retry_.pop_front();
  }
  // New batches, to the least busy worker first, so that work spreads over
  // all; none while a message sent again waits, so that a worker empties
  // for it.
  while (!queue_.empty()) {
    bool whole = false;
    const size_t n = NextBatch(&whole);
    if (!whole && !partial) return;
    Worker* best = nullptr;
    for (Worker& w : workers_) {
      if (HasRoom(w) && (best == nullptr || w.batches.size() < best->batches.size())) best = &w;
    }
    if (best == nullptr) return;
    start(*best);
    for (size_t i = 0; i < n; ++i) {
      best->held.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    best->batches.push_back(n);
  }
}

bool ImportWorkers::Flush(Worker& w) {
  while (w.sending < w.held.size()) {
    // The frames not yet written, gathered into one write.
    std::string_view parts[2 * kFramesPerWrite];
    size_t n = 0;
    size_t skip = w.sent;
    for (size_t i = w.sending; i < w.held.size() && n < 2 * kFramesPerWrite; ++i) {
      const Request& r = w.held[i];
      for (std::string_view part : {std::string_view(r.prefix.data(), r.prefix.size()),
                                    std::string_view(*r.message)}) {
        const size_t cut = std::min(skip, part.size());
        skip -= cut;
        parts[n++] = part.substr(cut);
      }
    }
    const std::optional<size_t> k = w.process->Write(parts, n);
    if (!k) return false;
    if (*k == 0) return true;
    // Past the frames now written whole.
    w.sent += *k;
    while (w.sending < w.held.size()) {
      const size_t total = w.held[w.sending].prefix.size() + w.held[w.sending].message->size();
      if (w.sent < total) break;
      w.sent -= total;
      ++w.sending;
    }
  }
  return true;
}

bool ImportWorkers::Receive(Worker& w, std::vector<wire::ImportAnswer>* done, std::string* why) {
  if (w.process->Read(&w.in) == WorkerProcess::ReadResult::kEnded) {
    *why = "";  // gone: the caller reads its exit status
    return false;
  }
  // A worker started again greets first, like the first ones.
  if (!w.greeted) {
    std::string what;
    if (!TakeGreeting(w, &what)) {
      *why = "the import process is not " + std::string(kImportWorkerName) + " (" + what + ")";
      return false;
    }
    if (!w.greeted) return true;
    w.since = Clock::now();
  }
  // Whole frames are taken off the front as they complete.
  size_t used = 0;
  for (;;) {
    std::string_view rest(w.in.data() + used, w.in.size() - used);
    std::optional<size_t> length;
    // An answer may hold some times the message (text as UTF-16); more
    // than that is not believed.
    const size_t front_size = w.held.empty() ? 0 : w.held.front().message->size();
    const size_t max_payload = std::min<size_t>(UINT32_MAX, 64 * (size_t{1} << 20) + 8 * front_size);
    Status s = wire::ReadHeader(rest, wire::FrameKind::kAnswer, max_payload, &length);
    if (!s.ok()) {
      *why = "the import process sent an unreadable answer (" + s.ToString() + ")";
      return false;
    }
    if (!length || rest.size() < wire::kHeaderSize + *length) break;
    if (w.held.empty() || w.sending == 0) {
      *why = "the import process answered a message it was not given";
      return false;
    }
    wire::ImportAnswer answer;
    s = wire::DecodeAnswer(rest.substr(wire::kHeaderSize, *length), &answer, w.held.front().message);
    if (!s.ok()) {
      *why = "the import process sent an unreadable answer (" + s.ToString() + ")";
      return false;
    }
    if (answer.ticket != w.held.front().ticket) {
      *why = "the import process answered another message than the one it was given";
      return false;
    }
    used += wire::kHeaderSize + *length;
    w.held.pop_front();
    if (--w.batches.front() == 0) w.batches.pop_front();
    --w.sending;
    w.since = Clock::now();
    --outstanding_;
    done->push_back(std::move(answer));
  }
  if (used > 0) w.in.erase(0, used);
  return true;
}

void ImportWorkers::Replace(Worker& w, const std::string& why, std::vector<wire::ImportAnswer>* done) {
  // Killed at once: a worker that sent nonsense or overran is not trusted
  // to stop by itself.
  const std::string how = Stop(w, !why.empty());
  const std::string reason = why.empty() ? how : why;
  std::deque<Request> held = std::move(w.held);
  if (held.size() == 1 && held.front().alone) {
    // Alone in its hands: this message failed it.
    Fail(held.front(), Status::IoError(reason + " while importing this message; it was not imported"), done);
    held.clear();
  }
  // Any of several may have been the one: each goes again, alone.
  for (Request& r : held) {
    r.alone = true;
    retry_.push_back(std::move(r));
  }
  Status s = Spawn(&w);
  (void)s;  // a worker that cannot be started again leaves the others to go on
}

void ImportWorkers::Pump(int timeout_ms, std::vector<wire::ImportAnswer>* done) {
  const size_t answered_before = done->size();
  std::vector<WorkerProcess::Wait> waits(workers_.size());
  for (;;) {
    // Oversized messages are answered here, without a worker.
    while (!queue_.empty() && queue_.front().message->size() >= kMaxMessage) {
      wire::ImportAnswer a;
      a.ticket = queue_.front().ticket;
      a.status = Status::TooLarge("the message is over 2 GiB");
      done->push_back(std::move(a));
      --outstanding_;
      queue_.pop_front();
    }
    if (stop_by_ && Clock::now() >= *stop_by_ && outstanding_ > 0) {
      Abandon(done);
      return;
    }
    Assign(timeout_ms != 0);
    const auto now = Clock::now();
    auto wait = std::chrono::milliseconds(timeout_ms < 0 ? INT_MAX : timeout_ms);
    bool replaced = false;  // then its messages are handed on before any wait
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = workers_[i];
      waits[i] = {};
      if (!w.process) continue;
      if (!Flush(w)) {
        Replace(w, "", done);
        replaced = true;
        continue;
      }
      waits[i].process = w.process.get();
      waits[i].want_write = w.sending < w.held.size();
      if (!w.held.empty()) {
        const auto limit = w.greeted ? LimitFor(w) : options_.greeting_limit;
        const auto deadline = w.since + limit;
        if (now >= deadline) {
          Replace(w, w.greeted ? "the import did not finish within " + DescribeLimit(limit)
                               : "the import process did not greet within " + DescribeLimit(limit),
                  done);
          waits[i] = {};
          replaced = true;
          continue;
        }
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                  std::chrono::milliseconds(1));
      }
      if (stop_by_) {
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(*stop_by_ - now) +
                                  std::chrono::milliseconds(1));
      }
    }
    if (std::none_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.process != nullptr; })) {
      // No worker could be started again: what is queued cannot be imported.
      for (std::deque<Request>* q : {&retry_, &queue_}) {
        for (const Request& r : *q) Fail(r, Status::IoError("no import process is running"), done);
        q->clear();
      }
      return;
    }
    if (done->size() > answered_before || outstanding_ == 0) return;
    if (replaced) continue;
    WorkerProcess::WaitForAny(&waits, wait.count() >= INT_MAX ? std::chrono::milliseconds(-1) : wait);
    bool any = false;
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = workers_[i];
      if (!waits[i].ready || w.process.get() != waits[i].process) continue;
      any = true;
      std::string why;
      if (!Receive(w, done, &why)) Replace(w, why, done);
    }
    if (done->size() > answered_before || timeout_ms == 0) return;
    if (timeout_ms > 0 && !any && wait.count() >= timeout_ms) return;
  }
}

}  // namespace tollan
