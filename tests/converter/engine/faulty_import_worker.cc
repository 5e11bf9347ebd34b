// An import worker for the tests: the worker's own loop and import, except
// for a message that holds one of these lines, which
//   X-Test-Fault: crash   kills the process,
//   X-Test-Fault: hang    never finishes,
//   X-Test-Fault: lie     is answered under another ticket,
// every time it is imported. Takes the worker's arguments; uses --parent
// and --now.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "converter/engine/import_one.h"
#include "converter/engine/import_workers.h"
#include "platform/mail/gmime_util.h"
#include "tools/tollan-import-worker/serve_imports.h"
#include "tools/tollan-import-worker/worker_system.h"

int main(int argc, char** argv) {
  mail::ImportOptions options;
  long parent = -1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--parent") == 0) parent = std::strtol(argv[++i], nullptr, 10);
    if (std::strcmp(argv[i], "--now") == 0) options.now_filetime = std::strtoull(argv[++i], nullptr, 10);
  }
  if (parent <= 0 || !tollan::worker::Prepare(parent)) return 2;
  mail::EnsureGMimeInitialized();
  if (!tollan::worker::WriteAll(tollan::kImportWorkerGreeting.data(), tollan::kImportWorkerGreeting.size())) {
    return 1;
  }
  return tollan::worker::ServeImports([&options](uint64_t ticket, std::shared_ptr<const std::string> text) {
    if (text->find("\nX-Test-Fault: crash") != std::string::npos) ::raise(SIGKILL);
    if (text->find("\nX-Test-Fault: hang") != std::string::npos) {
      for (;;) ::pause();
    }
    const bool lie = text->find("\nX-Test-Fault: lie") != std::string::npos;
    return tollan::ImportOneMessage(lie ? ticket + 1000 : ticket, std::move(text), options);
  });
}
