// Import processes on Windows: not there yet. Start fails with a reason, so
// the converter imports in its own process and says so.
#include <windows.h>

#include "converter/engine/import_workers_process.h"

namespace tollan {

using pst::Status;

struct WorkerProcess::Impl {};

WorkerProcess::WorkerProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WorkerProcess::~WorkerProcess() = default;

Status WorkerProcess::Start(const std::string&, const std::vector<std::string>&, std::unique_ptr<WorkerProcess>*) {
  return Status::NotFound("import processes are not available in the Windows build yet");
}

// Never constructed: Start makes none.
int64_t WorkerProcess::id() const { return 0; }
std::optional<size_t> WorkerProcess::Write(const std::string_view*, size_t) { return std::nullopt; }
WorkerProcess::ReadResult WorkerProcess::Read(std::string*) { return ReadResult::kEnded; }
void WorkerProcess::CloseChannel() {}
void WorkerProcess::Kill() {}
std::optional<std::string> WorkerProcess::Reap(std::chrono::milliseconds) { return "the import process ended"; }
void WorkerProcess::WaitForAny(std::vector<Wait>*, std::chrono::milliseconds) {}

std::string FindImportWorker() { return {}; }
int UsableProcessors() { return 1; }
int64_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace tollan
