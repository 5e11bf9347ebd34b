// The part of the import worker that differs between systems: how it makes
// sure it ends with the converter and leaves the console's interrupts to
// it, and how it reads its requests and writes its answers (bytes as they
// are, never text-mode translated).
#ifndef TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_WORKER_SYSTEM_H_
#define TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_WORKER_SYSTEM_H_

#include <cstddef>

namespace tollan::worker {

// Sets this process up to serve the converter `parent`. On POSIX it is
// killed when the converter dies; on Windows the converter's job object
// does that. False when it should not go on: the converter is already gone,
// or the input is a terminal (someone ran it by hand).
bool Prepare(long parent);

// Reads up to `n` bytes of the requests; 0 at their end or on an error.
size_t ReadSome(char* p, size_t n);

// Writes all `n` bytes of answers; false when the converter is gone.
bool WriteAll(const char* p, size_t n);

}  // namespace tollan::worker

#endif  // TOLLAN_TOOLS_TOLLAN_IMPORT_WORKER_WORKER_SYSTEM_H_
