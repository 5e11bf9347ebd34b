// The running program on POSIX (see process.h).
#include "platform/os/process.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

namespace os {
namespace {

void (*g_on_stop)() = nullptr;

void OnInterrupt(int) {
  if (g_on_stop) g_on_stop();
}

Usage FromRusage(const rusage& u) {
  Usage out;
  out.cpu_seconds = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                    static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  out.peak_mb = u.ru_maxrss / 1024;
  return out;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseUtf8Console() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(fileno(stream)) != 0; }

void SetEnvironment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvironment(const std::string& name) { ::unsetenv(name.c_str()); }

void CatchInterrupts(void (*on_stop)()) {
  g_on_stop = on_stop;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The handler is taken back on the first signal: the next one ends the
  // process the usual way.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal or a dropped ssh session: the run ends as if stopped.
  sigaction(SIGHUP, &action, nullptr);
  // A terminal's Ctrl-C also ends the reader of a pipe the output goes
  // through (`| tee log`): writing to it then fails instead of ending the
  // run.
  signal(SIGPIPE, SIG_IGN);
}

Usage SelfUsage() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return FromRusage(u);
}

Usage ChildrenUsage() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return FromRusage(u);
}

// The kernel counts them already.
void CountChild(void*) {}

}  // namespace os
