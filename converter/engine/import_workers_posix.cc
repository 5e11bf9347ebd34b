// A worker process on POSIX: a socket pair, posix_spawn and poll.
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
#include <filesystem>
#include <memory>

#include "converter/engine/import_workers.h"
#include "converter/engine/import_workers_process.h"

extern char** environ;

namespace tollan {

namespace {

using pst::Status;

constexpr int kSocketBuffer = 1 << 20;
// What one writev takes at most (IOV_MAX is at least this).
constexpr size_t kMaxParts = 64;

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

}  // namespace

struct WorkerProcess::Impl {
  pid_t pid = -1;
  int fd = -1;
};

WorkerProcess::WorkerProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

WorkerProcess::~WorkerProcess() {
  CloseChannel();
  if (impl_->pid > 0) {
    Kill();
    Reap(std::chrono::milliseconds(-1));
  }
}

int64_t WorkerProcess::id() const { return impl_->pid; }

Status WorkerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                            std::unique_ptr<WorkerProcess>* out) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    return Status::IoError(std::string("socketpair: ") + std::strerror(errno));
  }
  for (int fd : sv) {
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
  }
  std::vector<const char*> argv = {program.c_str()};
  for (const std::string& a : args) argv.push_back(a.c_str());
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
  const int err =
      ::posix_spawn(&pid, program.c_str(), &actions, &attr, const_cast<char**>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(sv[1]);
  if (err != 0) {
    ::close(sv[0]);
    return Status::IoError("cannot start the import program " + program + ": " + std::strerror(err));
  }
  ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
  auto impl = std::make_unique<Impl>();
  impl->pid = pid;
  impl->fd = sv[0];
  out->reset(new WorkerProcess(std::move(impl)));
  return Status::Ok();
}

std::optional<size_t> WorkerProcess::Write(const std::string_view* parts, size_t count) {
  if (impl_->fd < 0) return std::nullopt;
  iovec iov[kMaxParts];
  size_t n = 0;
  for (size_t i = 0; i < count && n < kMaxParts; ++i) {
    if (parts[i].empty()) continue;
    iov[n++] = {const_cast<char*>(parts[i].data()), parts[i].size()};
  }
  if (n == 0) return 0;
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = n;
  for (;;) {
    const ssize_t k = ::sendmsg(impl_->fd, &msg, MSG_NOSIGNAL);
    if (k >= 0) return static_cast<size_t>(k);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return std::nullopt;
  }
}

WorkerProcess::ReadResult WorkerProcess::Read(std::string* into) {
  if (impl_->fd < 0) return ReadResult::kEnded;
  constexpr size_t kChunk = 256 * 1024;
  // One buffer for all workers of this thread, never zeroed.
  static thread_local std::unique_ptr<char[]> buffer(new char[kChunk]);
  ReadResult result = ReadResult::kNothing;
  for (;;) {
    const ssize_t k = ::recv(impl_->fd, buffer.get(), kChunk, 0);
    if (k > 0) {
      into->append(buffer.get(), static_cast<size_t>(k));
      result = ReadResult::kSome;
      if (static_cast<size_t>(k) < kChunk) return result;
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return result;
    return result == ReadResult::kSome ? result : ReadResult::kEnded;
  }
}

void WorkerProcess::CloseChannel() {
  if (impl_->fd >= 0) ::close(impl_->fd);
  impl_->fd = -1;
}

void WorkerProcess::Kill() {
  if (impl_->pid > 0) ::kill(impl_->pid, SIGKILL);
}

std::optional<std::string> WorkerProcess::Reap(std::chrono::milliseconds wait) {
  if (impl_->pid <= 0) return "the import process ended";
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(impl_->pid, &status, wait.count() < 0 ? 0 : WNOHANG);
    if (r == impl_->pid) {
      impl_->pid = -1;
      return DescribeExit(status);
    }
    if (r < 0 && errno != EINTR) {
      impl_->pid = -1;
      return "the import process ended";
    }
    if (r == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      ::usleep(std::min<int64_t>(10000, wait.count() * 1000));
    }
  }
}

void WorkerProcess::WaitForAny(std::vector<Wait>* waits, std::chrono::milliseconds timeout) {
  std::vector<pollfd> fds(waits->size());
  for (size_t i = 0; i < waits->size(); ++i) {
    Wait& w = (*waits)[i];
    w.ready = false;
    fds[i] = {-1, 0, 0};
    if (w.process == nullptr || w.process->impl_->fd < 0) continue;
    fds[i] = {w.process->impl_->fd, static_cast<short>(POLLIN | (w.want_write ? POLLOUT : 0)), 0};
  }
  const int ms = timeout.count() < 0 ? -1 : static_cast<int>(std::min<int64_t>(timeout.count(), INT_MAX));
  if (::poll(fds.data(), fds.size(), ms) <= 0) return;
  for (size_t i = 0; i < waits->size(); ++i) (*waits)[i].ready = fds[i].revents != 0;
}

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

int64_t CurrentProcessId() { return ::getpid(); }

int UsableProcessors() {
  cpu_set_t set;
  int n = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  if (n <= 0) n = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  return n;
}

}  // namespace tollan
