// The import worker's loop: request frames in on standard input, answer
// frames out on standard output (import_wire.h), until the input ends. Each
// message is written to its temporary file (the request names it) before
// it is imported, and the file is removed after.
//
// Answers go out together: the worker imports every whole request it has
// read and writes the answers in one write when no further whole request
// waits in what it has read (before it would wait for more), or sooner when
// they grow large. The converter sends messages in batches, so a batch is
// answered with one write. When the process dies inside a batch, none of
// the batch's answers may have gone out; the converter then sends each
// unanswered message again on its own, so that only the message that kills
// a worker by itself is failed.
//
// Typical use (after tollan::worker::Prepare and the greeting):
//   return tollan::worker::ServeImports([&](uint64_t ticket, auto text) {
//     return tollan::ImportOneMessage(ticket, text, options);
//   });
#ifndef TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_SERVE_IMPORTS_H_
#define TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_SERVE_IMPORTS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "converter/engine/import_wire.h"

namespace tollan::worker {

// Imports one message. `text` is the message alone; the answer may keep
// windows on it (a large attachment is sent as such, never decoded here).
using ImportFunction =
    std::function<wire::ImportAnswer(uint64_t ticket, std::shared_ptr<const std::string> text)>;

// Serves requests until the input ends. Returns the process's exit status:
// 0 when the input ended between requests, 1 when it ended inside one, held
// something that is not a request, or the answers could not be written.
int ServeImports(const ImportFunction& import);

}  // namespace tollan::worker

#endif  // TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_SERVE_IMPORTS_H_
