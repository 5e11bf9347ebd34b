// A worker process on Windows: CreateProcessW, two anonymous pipes, a
// thread per direction, and a job object that ends the workers when this
// process ends.
//
// Anonymous pipes cannot be waited on or written without blocking, so each
// worker has a reader thread, which appends what comes to `incoming`, and a
// writer thread, which writes what `outgoing` holds. The pool's thread only
// moves bytes in and out of those under one lock and sleeps on one
// condition variable, which every thread signals; that also avoids the
// limit of 64 handles of WaitForMultipleObjects.
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <thread>

#include "converter/engine/import_workers.h"
#include "converter/engine/import_workers_process.h"
#include "platform/os/process.h"
#include "platform/os/wide_path.h"

namespace tollan {

namespace {

using pst::Status;

constexpr DWORD kPipeBuffer = 1 << 20;
// What Write takes before the writer thread has written it: the room of a
// socket's buffer on POSIX.
constexpr size_t kOutgoingLimit = 1 << 20;
constexpr size_t kReadChunk = 256 * 1024;

// One lock for every worker's buffers, and the condition the pool's thread
// waits on.
std::mutex g_lock;
std::condition_variable g_changed;

std::string LastError(const std::string& what) {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = what + ": ";
  if (text != nullptr) {
    std::wstring w(text);
    LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L'.')) w.pop_back();
    out += os::Utf8FromWide(w);
  }
  return out + " (error " + std::to_string(code) + ")";
}

std::string DescribeExit(DWORD code) {
  // A process ended from outside (or one that exits with 0 in the middle
  // of a message) says 0: that is no answer either.
  if (code == 0) return "the import process ended without answering";
  if (code < 0xC0000000u) return "the import process exited with status " + std::to_string(code);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
  const char* what = nullptr;
  switch (code) {
    case 0xC0000005u: what = "an access violation"; break;
    case 0xC00000FDu: what = "a stack overflow"; break;
    case 0xC0000017u:
    case 0xC000009Au: what = "out of memory"; break;
    case 0xC0000409u: what = "a failed check"; break;
    case 0xC000001Du: what = "an illegal instruction"; break;
    case 0xC0000094u: what = "an integer division by zero"; break;
    default: break;
  }
  return std::string("the import process ended with exception ") + hex + (what ? std::string(" (") + what + ")" : "");
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
    } else {
      if (c == L'"') out.append(slashes + 1, L'\\');
      slashes = 0;
    }
    out.push_back(c);
  }
  out.append(slashes, L'\\');
  return out + L"\"";
}

// The job every worker is put in: closing its last handle, which the
// system does when this process ends however it ends, ends them all.
HANDLE WorkerJob() {
  static HANDLE job = [] {
    HANDLE h = CreateJobObjectW(nullptr, nullptr);
    if (h != nullptr) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return h;
  }();
  return job;
}

}  // namespace

struct WorkerProcess::Impl {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HANDLE to_child = nullptr;    // the writer thread's, which closes it
  HANDLE from_child = nullptr;  // the reader thread's
  std::thread reader, writer;
  bool killed = false;
  // Under g_lock:
  std::string incoming;
  bool ended = false;  // the worker closed its output
  std::string outgoing;
  bool closing = false;  // CloseChannel: the writer closes its pipe
  bool broken = false;   // a write failed: the worker is gone
  std::condition_variable wake_writer;

  void Read() {
    std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    for (;;) {
      DWORD n = 0;
      const BOOL ok = ReadFile(from_child, buffer.get(), kReadChunk, &n, nullptr);
      std::lock_guard<std::mutex> lock(g_lock);
      if (!ok || n == 0) {
        ended = true;
        g_changed.notify_all();
        return;
      }
      incoming.append(buffer.get(), n);
      g_changed.notify_all();
    }
  }

  void Write() {
    std::string chunk;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(g_lock);
        wake_writer.wait(lock, [&] { return !outgoing.empty() || closing; });
        if (outgoing.empty()) break;
        chunk.clear();
        chunk.swap(outgoing);
        g_changed.notify_all();  // room again
      }
      const char* p = chunk.data();
      size_t left = chunk.size();
      while (left > 0) {
        DWORD n = 0;
        if (!WriteFile(to_child, p, static_cast<DWORD>(std::min<size_t>(left, 1u << 30)), &n, nullptr) || n == 0) {
          std::lock_guard<std::mutex> lock(g_lock);
          broken = true;
          outgoing.clear();
          g_changed.notify_all();
          CloseHandle(to_child);
          return;
        }
        p += n;
        left -= n;
      }
    }
    CloseHandle(to_child);
  }

  // Ready for the pool: something to read, the end, or room to write.
  bool Ready(bool want_write) const {
    return !incoming.empty() || ended || broken || (want_write && outgoing.size() < kOutgoingLimit);
  }
};

WorkerProcess::WorkerProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

WorkerProcess::~WorkerProcess() {
  CloseChannel();
  if (impl_->process != nullptr && !Reap(std::chrono::milliseconds(0))) {
    Kill();
    Reap(std::chrono::milliseconds(-1));
  }
  // Both pipes are broken once the worker has ended.
  if (impl_->writer.joinable()) impl_->writer.join();
  if (impl_->reader.joinable()) impl_->reader.join();
  if (impl_->from_child != nullptr) CloseHandle(impl_->from_child);
}

int64_t WorkerProcess::id() const { return impl_->pid; }

Status WorkerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                            std::unique_ptr<WorkerProcess>* out) {
  // The child's ends are inherited; ours are not.
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_in = nullptr, to_child = nullptr, from_child = nullptr, child_out = nullptr;
  if (!CreatePipe(&child_in, &to_child, &inherit, kPipeBuffer)) return Status::IoError(LastError("CreatePipe"));
  if (!CreatePipe(&from_child, &child_out, &inherit, kPipeBuffer)) {
    const Status s = Status::IoError(LastError("CreatePipe"));
    CloseHandle(child_in);
    CloseHandle(to_child);
    return s;
  }
  SetHandleInformation(to_child, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(from_child, HANDLE_FLAG_INHERIT, 0);

  const std::wstring path = os::WidePath(program);
  std::wstring command = Quote(os::Wide(program));
  for (const std::string& a : args) command += L" " + Quote(os::Wide(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  // No console of its own and no console window: the console's Ctrl-C and
  // Ctrl-Break reach only the converter, which finishes its .pst and then
  // closes the workers. Suspended until it is in the job.
  const DWORD flags = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED;
  const BOOL started = CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                      nullptr, &startup, &info);
  const std::string why = started ? std::string() : LastError("cannot start the import program " + program);
  CloseHandle(child_in);
  CloseHandle(child_out);
  if (!started) {
    CloseHandle(to_child);
    CloseHandle(from_child);
    return Status::IoError(why);
  }
  // Without the job (a system that refuses it), a worker still ends when
  // its input closes, which the system does when this process ends.
  if (HANDLE job = WorkerJob(); job != nullptr) AssignProcessToJobObject(job, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);

  auto impl = std::make_unique<Impl>();
  impl->process = info.hProcess;
  impl->pid = info.dwProcessId;
  impl->to_child = to_child;
  impl->from_child = from_child;
  Impl* p = impl.get();
  impl->reader = std::thread([p] { p->Read(); });
  impl->writer = std::thread([p] { p->Write(); });
  out->reset(new WorkerProcess(std::move(impl)));
  return Status::Ok();
}

std::optional<size_t> WorkerProcess::Write(const std::string_view* parts, size_t count) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (impl_->broken || impl_->closing) return std::nullopt;
  size_t taken = 0;
  for (size_t i = 0; i < count && impl_->outgoing.size() < kOutgoingLimit; ++i) {
    const std::string_view part = parts[i].substr(0, kOutgoingLimit - impl_->outgoing.size());
    impl_->outgoing.append(part);
    taken += part.size();
    if (part.size() < parts[i].size()) break;
  }
  if (taken > 0) impl_->wake_writer.notify_one();
  return taken;
}

WorkerProcess::ReadResult WorkerProcess::Read(std::string* into) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!impl_->incoming.empty()) {
    if (into->empty()) {
      into->swap(impl_->incoming);
    } else {
      into->append(impl_->incoming);
    }
    impl_->incoming.clear();
    return ReadResult::kSome;
  }
  return impl_->ended ? ReadResult::kEnded : ReadResult::kNothing;
}

void WorkerProcess::CloseChannel() {
  std::lock_guard<std::mutex> lock(g_lock);
  impl_->closing = true;
  impl_->wake_writer.notify_one();
}

void WorkerProcess::Kill() {
  if (impl_->process == nullptr) return;
  impl_->killed = true;
  TerminateProcess(impl_->process, 1);
}

std::optional<std::string> WorkerProcess::Reap(std::chrono::milliseconds wait) {
  if (impl_->process == nullptr) return "the import process ended";
  const DWORD ms = wait.count() < 0 ? INFINITE : static_cast<DWORD>(std::min<int64_t>(wait.count(), INFINITE - 1));
  if (WaitForSingleObject(impl_->process, ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(impl_->process, &code);
  os::CountChild(impl_->process);
  CloseHandle(impl_->process);
  impl_->process = nullptr;
  return impl_->killed ? "the import process was ended" : DescribeExit(code);
}

void WorkerProcess::WaitForAny(std::vector<Wait>* waits, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(g_lock);
  const auto any_ready = [&] {
    bool any = false;
    for (Wait& w : *waits) {
      w.ready = w.process != nullptr && w.process->impl_->Ready(w.want_write);
      any = any || w.ready;
    }
    return any;
  };
  if (timeout.count() < 0) {
    g_changed.wait(lock, any_ready);
  } else {
    g_changed.wait_for(lock, timeout, any_ready);
  }
}

std::string FindImportWorker() {
  if (const wchar_t* env = _wgetenv(L"TOLLAN_IMPORT_WORKER"); env != nullptr && *env != L'\0') {
    return os::Utf8FromWide(env);
  }
  std::wstring self(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (n == 0 || n >= self.size()) return {};
  self.resize(n);
  const size_t slash = self.find_last_of(L"\\/");
  const std::wstring candidate =
      (slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1)) + os::Wide(kImportWorkerName) +
      L".exe";
  if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return os::Utf8FromWide(candidate);
}

int UsableProcessors() {
  DWORD_PTR mine = 0, system = 0;
  int n = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &mine, &system)) {
    for (; mine != 0; mine &= mine - 1) ++n;
  }
  if (n <= 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    n = static_cast<int>(info.dwNumberOfProcessors);
  }
  return n;
}

int64_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace tollan
