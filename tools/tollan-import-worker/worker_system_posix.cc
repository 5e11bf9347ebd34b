// The import worker on POSIX: descriptors 0 and 1, and the parent-death
// signal.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>

#include "tools/tollan-import-worker/worker_system.h"

namespace tollan::worker {

bool Prepare(long parent) {
  if (::isatty(0)) return false;
  // Ends with the converter, even when it is killed; if it is already gone,
  // there is nobody to answer.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != static_cast<pid_t>(parent)) return false;
  // Terminal signals are the converter's to handle: it closes the .pst and
  // then closes this worker's input.
  ::signal(SIGINT, SIG_IGN);
  ::signal(SIGQUIT, SIG_IGN);
  ::signal(SIGHUP, SIG_IGN);
  return true;
}

size_t ReadSome(char* p, size_t n) {
  for (;;) {
    const ssize_t k = ::read(0, p, n);
    if (k < 0 && errno == EINTR) continue;
    return k > 0 ? static_cast<size_t>(k) : 0;
  }
}

bool WriteAll(const char* p, size_t n) {
  while (n > 0) {
    const ssize_t k = ::write(1, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

}  // namespace tollan::worker
