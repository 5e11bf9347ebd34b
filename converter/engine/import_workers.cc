// The pool of import worker processes: spawning, the poll loop, the time
// limit, and the replacement of workers that fail.
#include "converter/engine/import_workers.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>

#include "converter/engine/message_date.h"
#include "converter/engine/pst_writer_session.h"

extern char** environ;

namespace tollan {

namespace {

using pst::Status;
using Clock = std::chrono::steady_clock;

// A message over this is refused before it is sent (the import takes at
// most 2 GiB).
constexpr size_t kMaxMessage = size_t{1} << 31;
// Messages handed to one worker at a time: the next one is already in its
// socket when it finishes the first.
constexpr size_t kHeldPerWorker = 2;
constexpr size_t kReadChunk = 256 * 1024;
constexpr int kSocketBuffer = 1 << 20;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string DescribeExit(int status) {
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    const char* name = sigabbrev_np(sig);
    return "the import process was ended by signal " + std::to_string(sig) +
           (name ? std::string(" (SIG") + name + ")" : std::string());
  }
  if (WIFEXITED(status)) return "the import process exited with status " + std::to_string(WEXITSTATUS(status));
  return "the import process ended";
}

std::string DescribeLimit(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 != 0) return std::to_string(limit.count()) + " ms";
  return std::to_string(limit.count() / 1000) + " s";
}

}  // namespace

std::string FindImportWorker() {
  if (const char* env = std::getenv("TOLLAN_IMPORT_WORKER"); env != nullptr && *env != '\0') return env;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const std::filesystem::path dir = self.parent_path();
  for (const auto& candidate : {dir / kImportWorkerName, dir / "../lib/tollan" / kImportWorkerName,
                                dir / "../libexec/tollan" / kImportWorkerName}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
  }
  return {};
}

int DefaultImportJobs() {
  cpu_set_t set;
  int n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  if (n <= 0) n = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  return ImportJobsFor(n);
}

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
  pool->workers_.resize(static_cast<size_t>(pool->options_.jobs));
  for (Worker& w : pool->workers_) {
    Status s = pool->Spawn(&w);
    if (!s.ok()) return s;  // the destructor ends the ones started
  }
  Status s = pool->AwaitGreetings();
  if (!s.ok()) {
    // Not the worker: whatever it is, it is not left running.
    for (Worker& w : pool->workers_) pool->Stop(w, true);
    return s;
  }
  *out = std::move(pool);
  return Status::Ok();
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
  char buf[64];
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Worker*> waiting;
    for (Worker& w : workers_) {
      if (w.greeted) continue;
      fds.push_back({w.fd, POLLIN, 0});
      waiting.push_back(&w);
    }
    if (waiting.empty()) return Status::Ok();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const auto not_worker = [&](const std::string& why) {
      return Status::IoError("the import program " + options_.program + " is not " + kImportWorkerName +
                             ": " + why);
    };
    if (left.count() <= 0) {
      return not_worker("it did not greet within " + DescribeLimit(options_.greeting_limit));
    }
    const int r = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
    if (r < 0 && errno != EINTR) return Status::IoError(Errno("poll"));
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      Worker& w = *waiting[i];
      const ssize_t k = ::recv(w.fd, buf, sizeof buf, 0);
      if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (k <= 0) {
        int status = 0;
        pid_t gone = -1;
        while ((gone = ::waitpid(w.pid, &status, 0)) < 0 && errno == EINTR) {
        }
        if (gone != w.pid) return not_worker("it ended before it greeted");
        w.pid = -1;
        return not_worker(DescribeExit(status) + " before it greeted");
      }
      w.in.append(buf, static_cast<size_t>(k));
      std::string why;
      if (!TakeGreeting(w, &why)) return not_worker(why);
    }
  }
}

void ImportWorkers::Hurry(std::chrono::milliseconds grace) {
  if (!stop_by_) stop_by_ = Clock::now() + grace;
}

void ImportWorkers::Abandon(std::vector<wire::ImportAnswer>* done) {
  const std::string stopped = "the run was stopped before this message was imported";
  for (Worker& w : workers_) {
    if (w.held.empty()) continue;
    // Still importing when the grace ran out: ended, and its message named.
    const auto busy = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - w.front_since);
    if (w.fd >= 0) ::close(w.fd);
    w.fd = -1;
    if (w.pid > 0) {
      ::kill(w.pid, SIGKILL);
      while (::waitpid(w.pid, nullptr, 0) < 0 && errno == EINTR) {
      }
      w.pid = -1;
    }
    bool front = true;
    for (Request& r : w.held) {
      wire::ImportAnswer failed;
      failed.ticket = r.ticket;
      failed.status = Status::IoError(
          front && w.sending > 0
              ? "the run was stopped while this message was being imported (for " + DescribeLimit(busy) +
                    "); its import process was ended"
              : stopped);
      front = false;
      done->push_back(std::move(failed));
      --outstanding_;
    }
    // Not started again: the run is ending, and whatever is sent after
    // goes to the workers left or fails as not imported.
    w.held.clear();
  }
  for (Request& r : queue_) {
    wire::ImportAnswer failed;
    failed.ticket = r.ticket;
    failed.status = Status::IoError(stopped);
    done->push_back(std::move(failed));
    --outstanding_;
  }
  queue_.clear();
}

ImportWorkers::~ImportWorkers() {
  // Closing the sockets ends the workers between messages; any that is
  // stuck inside one is killed.
  for (Worker& w : workers_) {
    if (w.fd >= 0) ::close(w.fd);
    w.fd = -1;
  }
  for (Worker& w : workers_) {
    if (!w.held.empty()) Stop(w, true);
  }
  for (Worker& w : workers_) Stop(w, false);
}

void ImportWorkers::Stop(Worker& w, bool kill_now) {
  if (w.fd >= 0) ::close(w.fd);
  w.fd = -1;
  if (w.pid <= 0) return;
  if (kill_now) ::kill(w.pid, SIGKILL);
  int status;
  // An idle worker ends within moments of its socket closing; one that
  // does not is killed after a grace period.
  for (int i = 0; i < 200; ++i) {
    pid_t r = ::waitpid(w.pid, &status, WNOHANG);
    if (r == w.pid || (r < 0 && errno != EINTR)) {
      w.pid = -1;
      return;
    }
    ::usleep(10000);
  }
  ::kill(w.pid, SIGKILL);
  while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
  }
  w.pid = -1;
}

Status ImportWorkers::Spawn(Worker* w) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return Status::IoError(Errno("socketpair"));
  for (int fd : sv) {
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
  }
  const std::string parent = std::to_string(::getpid());
  const std::string code_page = std::to_string(options_.import.default_code_page);
  const std::string depth = std::to_string(options_.import.max_embedding_depth);
  std::vector<const char*> argv = {options_.program.c_str(), "--parent", parent.c_str(), "--codepage",
                                   code_page.c_str(), "--max-depth", depth.c_str()};
  const std::string now = std::to_string(options_.import.now_filetime);
  if (options_.import.now_filetime != 0) {
    argv.push_back("--now");
    argv.push_back(now.c_str());
  }
  if (!options_.import.guess_utf8) argv.push_back("--no-guess-utf8");
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The worker reads requests on 0 and answers on 1, both its end of the
  // pair; the dup2 clears close-on-exec on the copies.
  posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A group of its own: the terminal's Ctrl-C goes to the converter, which
  // finishes its .pst and then closes the workers.
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int err = ::posix_spawn(&pid, options_.program.c_str(), &actions, &attr, const_cast<char**>(argv.data()),
                                environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(sv[1]);
  if (err != 0) {
    ::close(sv[0]);
    return Status::IoError("cannot start the import program " + options_.program + ": " + std::strerror(err));
  }
  ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
  w->pid = pid;
  w->fd = sv[0];
  w->greeted = false;
  w->held.clear();
  w->sending = 0;
  w->sent = 0;
  w->in.clear();
  return Status::Ok();
}

uint64_t ImportWorkers::Send(std::string message) {
  const uint64_t ticket = next_ticket_++;
  ++outstanding_;
  queue_.push_back(Request{ticket, std::make_shared<const std::string>(std::move(message))});
  return ticket;
}

std::vector<pid_t> ImportWorkers::Pids() const {
  std::vector<pid_t> pids;
  for (const Worker& w : workers_) pids.push_back(w.pid);
  return pids;
}

std::chrono::milliseconds ImportWorkers::LimitFor(const Request& r) const {
  return options_.time_limit + options_.time_per_mb * static_cast<int64_t>(r.message->size() >> 20);
}

void ImportWorkers::Assign() {
  // The least busy live worker first, so that work spreads over all.
  while (!queue_.empty()) {
    Worker* best = nullptr;
    for (Worker& w : workers_) {
      if (w.fd < 0 || w.held.size() >= kHeldPerWorker) continue;
      if (best == nullptr || w.held.size() < best->held.size()) best = &w;
    }
    if (best == nullptr) return;
    // A worker started again has its start-up to itself: the clock of its
    // front message starts when it has greeted.
    if (best->held.empty() || !best->greeted) best->front_since = Clock::now();
    best->held.push_back(std::move(queue_.front()));
    queue_.pop_front();
  }
}

bool ImportWorkers::Flush(Worker& w) {
  while (w.sending < w.held.size()) {
    const Request& r = w.held[w.sending];
    const std::string& text = *r.message;
    const std::string prefix = wire::RequestPrefix(r.ticket, text.size());
    const size_t total = prefix.size() + text.size();
    iovec iov[2];
    int n = 0;
    if (w.sent < prefix.size()) {
      iov[n++] = {const_cast<char*>(prefix.data()) + w.sent, prefix.size() - w.sent};
      iov[n++] = {const_cast<char*>(text.data()), text.size()};
    } else {
      const size_t off = w.sent - prefix.size();
      iov[n++] = {const_cast<char*>(text.data()) + off, text.size() - off};
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(n);
    const ssize_t k = ::sendmsg(w.fd, &msg, MSG_NOSIGNAL);
    if (k < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    w.sent += static_cast<size_t>(k);
    if (w.sent == total) {
      ++w.sending;
      w.sent = 0;
    }
  }
  return true;
}

bool ImportWorkers::Receive(Worker& w, std::vector<wire::ImportAnswer>* done, std::string* why) {
  if (!read_buffer_) read_buffer_.reset(new char[kReadChunk]);
  for (;;) {
    const ssize_t k = ::recv(w.fd, read_buffer_.get(), kReadChunk, 0);
    if (k > 0) w.in.append(read_buffer_.get(), static_cast<size_t>(k));
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (k <= 0) {
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
      if (!w.greeted) continue;
      w.front_since = Clock::now();
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
      --w.sending;
      w.front_since = Clock::now();
      --outstanding_;
      done->push_back(std::move(answer));
    }
    if (used > 0) w.in.erase(0, used);
  }
  return true;
}

void ImportWorkers::Replace(Worker& w, const std::string& why, std::vector<wire::ImportAnswer>* done) {
  // Killed at once: a worker that sent nonsense or overran is not trusted
  // to stop by itself.
  if (w.fd >= 0) ::close(w.fd);
  w.fd = -1;
  std::string reason = why;
  if (w.pid > 0) {
    if (!why.empty()) ::kill(w.pid, SIGKILL);
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(w.pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (reason.empty()) reason = r == w.pid ? DescribeExit(status) : "the import process ended";
    w.pid = -1;
  }
  std::deque<Request> held = std::move(w.held);
  if (!held.empty()) {
    wire::ImportAnswer failed;
    failed.ticket = held.front().ticket;
    // Not the message's fault as far as is known: the process failed.
    failed.status = Status::IoError(reason + " while importing this message; it was not imported");
    done->push_back(std::move(failed));
    --outstanding_;
    held.pop_front();
  }
  // The others it held go first to the next free worker.
  for (auto it = held.rbegin(); it != held.rend(); ++it) queue_.push_front(std::move(*it));
  Status s = Spawn(&w);
  (void)s;  // a worker that cannot be started again leaves the others to go on
}

void ImportWorkers::Pump(int timeout_ms, std::vector<wire::ImportAnswer>* done) {
  const size_t answered_before = done->size();
  std::vector<pollfd> fds(workers_.size());
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
    Assign();
    const auto now = Clock::now();
    auto wait = std::chrono::milliseconds(timeout_ms < 0 ? INT_MAX : timeout_ms);
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = workers_[i];
      fds[i] = {w.fd, 0, 0};
      if (w.fd < 0) continue;
      if (!Flush(w)) {
        Replace(w, "", done);
        fds[i].fd = -1;
        continue;
      }
      fds[i].events = POLLIN;
      if (w.sending < w.held.size()) fds[i].events |= POLLOUT;
      if (!w.held.empty()) {
        const auto limit = w.greeted ? LimitFor(w.held.front()) : options_.greeting_limit;
        const auto deadline = w.front_since + limit;
        if (now >= deadline) {
          Replace(w, w.greeted ? "the import did not finish within " + DescribeLimit(limit)
                               : "the import process did not greet within " + DescribeLimit(limit),
                  done);
          fds[i].fd = -1;
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
    if (std::none_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.fd >= 0; })) {
      // No worker could be started again: what is queued cannot be imported.
      for (Request& r : queue_) {
        wire::ImportAnswer failed;
        failed.ticket = r.ticket;
        failed.status = Status::IoError("no import process is running");
        done->push_back(std::move(failed));
        --outstanding_;
      }
      queue_.clear();
      return;
    }
    if (done->size() > answered_before || outstanding_ == 0) return;
    const int r = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<int64_t>(wait.count(), INT_MAX)));
    if (r < 0 && errno != EINTR) return;
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = workers_[i];
      if (fds[i].fd < 0 || w.fd != fds[i].fd || fds[i].revents == 0) continue;
      std::string why;
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !Receive(w, done, &why)) {
        Replace(w, why, done);
      }
    }
    if (done->size() > answered_before || timeout_ms == 0) return;
    if (timeout_ms > 0 && r == 0 && wait.count() >= timeout_ms) return;
  }
}

}  // namespace tollan
