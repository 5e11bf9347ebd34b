// Import processes on Windows: not there yet. Start fails with a reason, so
// the converter imports in its own process and says so; the default number
// of workers is 1, which asks for none.
#include <windows.h>

#include "converter/engine/import_workers.h"

namespace tollan {

using pst::Status;

std::string FindImportWorker() { return {}; }

int DefaultImportJobs() { return 1; }

Status ImportWorkers::Start(const Options&, std::unique_ptr<ImportWorkers>*) {
  return Status::NotFound("import processes are not available in the Windows build yet");
}

// Never constructed: Start makes none.
ImportWorkers::~ImportWorkers() = default;
uint64_t ImportWorkers::Send(std::string) { return 0; }
void ImportWorkers::Pump(int, std::vector<wire::ImportAnswer>*) {}
void ImportWorkers::Hurry(std::chrono::milliseconds) {}
std::vector<pid_t> ImportWorkers::Pids() const { return {}; }

}  // namespace tollan
