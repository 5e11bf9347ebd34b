// tollan-import-worker: the mail import of the converters, in a process of
// its own. It reads request frames on its standard input, imports each
// message and writes the answer frame on its standard output
// (import_wire.h), one message after another, until its input ends. Before
// anything else it writes its greeting (kImportWorkerGreeting). The
// converter starts it; it is not meant to be run by hand. What differs
// between systems is in worker_system.h.
//
// The loop itself, and how answers are gathered, is serve_imports.h.
//
// usage: tollan-import-worker --parent PID [--codepage N] [--max-depth N]
//                             [--now FILETIME] [--no-guess-utf8]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "converter/engine/import_one.h"
#include "converter/engine/import_wire.h"
#include "converter/engine/import_workers.h"
#include "platform/mail/gmime_util.h"
#include "tools/tollan-import-worker/serve_imports.h"
#include "tools/tollan-import-worker/worker_system.h"

namespace {

int Usage() {
  std::fprintf(stderr, "tollan-import-worker: started by the converter only\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  mail::ImportOptions options;
  long parent = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--parent" && has_value) {
      parent = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--codepage" && has_value) {
      options.default_code_page = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--max-depth" && has_value) {
      options.max_embedding_depth = std::atoi(argv[++i]);
    } else if (arg == "--now" && has_value) {
      options.now_filetime = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--no-guess-utf8") {
      options.guess_utf8 = false;
    } else {
      return Usage();
    }
  }
  if (parent <= 0 || !tollan::worker::Prepare(parent)) return Usage();

  // The converter takes this program for its worker only once it has said
  // so; the import library is set up first, so that the time a message may
  // take is not spent on it.
  mail::EnsureGMimeInitialized();
  if (!tollan::worker::WriteAll(tollan::kImportWorkerGreeting.data(), tollan::kImportWorkerGreeting.size())) {
    return 1;
  }

  return tollan::worker::ServeImports([&options](uint64_t ticket, std::shared_ptr<const std::string> text) {
    return tollan::ImportOneMessage(ticket, std::move(text), options);
  });
}
