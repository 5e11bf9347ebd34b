// The running program and its console, the same on every system: its
// arguments as UTF-8, its environment, the interrupt the user gives
// (Ctrl-C, and on POSIX SIGTERM and SIGHUP; on Windows also Ctrl-Break and
// closing the console window), and its processor time and memory.
//
// Typical use, first thing in main():
//   std::vector<std::string> args = os::Utf8Arguments(argc, argv);
//   os::UseUtf8Console();
//   os::CatchInterrupts([] { g_stop = 1; });
#ifndef TOLLAN_PLATFORM_OS_PROCESS_H_
#define TOLLAN_PLATFORM_OS_PROCESS_H_

#include <cstdio>
#include <string>
#include <vector>

namespace os {

// The command-line arguments, argv[0] first, as UTF-8 (on Windows taken
// from the wide-character command line, so no name is lost to the ANSI
// code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes text written as UTF-8 to the standard output and error show as such
// in a console (nothing to do on POSIX terminals).
void UseUtf8Console();

// True when `stream` is a terminal or console.
bool IsTerminal(std::FILE* stream);

// Sets an environment variable for this process and those it starts.
void SetEnvironment(const std::string& name, const std::string& value);
// Removes an environment variable from this process and those it starts.
void UnsetEnvironment(const std::string& name);

// Calls `on_stop` at the first interrupt instead of ending the process; the
// next interrupt ends it at once. `on_stop` may run on a signal handler or
// another thread: it should only set a flag. Writing to a pipe whose reader
// is gone then fails instead of ending the process. Closing the console
// window on Windows gives the program a few seconds, as the system allows.
void CatchInterrupts(void (*on_stop)());

// Processor time (user and system, seconds) and peak memory (MB).
struct Usage {
  double cpu_seconds = 0;
  long peak_mb = 0;
};
// This process; and the child processes that ended and were waited for
// (POSIX; on Windows those reported by CountChild).
Usage SelfUsage();
Usage ChildrenUsage();

// Windows: adds an ended child process (its handle, still open) to
// ChildrenUsage, which the system does not keep there. Nothing on POSIX.
void CountChild(void* process_handle);

}  // namespace os

#endif  // TOLLAN_PLATFORM_OS_PROCESS_H_
