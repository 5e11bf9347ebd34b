// The running program on Windows (see process.h).
#include "platform/os/process.h"

#include <io.h>
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/os/wide_path.h"

namespace os {
namespace {

void (*g_on_stop)() = nullptr;
std::atomic<bool> g_stopping{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      // The second one takes the default way: the process ends.
      if (g_stopping.exchange(true)) return FALSE;
      if (g_on_stop) g_on_stop();
      // A closed console ends the process when the handler returns: the
      // run gets the time the system gives to close its files.
      if (event == CTRL_CLOSE_EVENT) Sleep(4500);
      return TRUE;
    default:
      return FALSE;
  }
}

double Seconds(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
         1e7;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr || n != argc) {
    if (wide) LocalFree(wide);
    return {argv, argv + argc};
  }
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return out;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
}

// An empty value removes the variable.
void UnsetEnvironment(const std::string& name) { _wputenv_s(Wide(name).c_str(), L""); }

void CatchInterrupts(void (*on_stop)()) {
  g_on_stop = on_stop;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

Usage SelfUsage() {
  Usage out;
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    out.cpu_seconds = Seconds(kernel) + Seconds(user);
  }
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    out.peak_mb = static_cast<long>(memory.PeakWorkingSetSize / (1024 * 1024));
  }
  return out;
}

namespace {
std::mutex g_children_lock;
Usage g_children;
}  // namespace

Usage ChildrenUsage() {
  std::lock_guard<std::mutex> lock(g_children_lock);
  return g_children;
}

void CountChild(void* process_handle) {
  HANDLE h = static_cast<HANDLE>(process_handle);
  Usage u;
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(h, &created, &exited, &kernel, &user)) u.cpu_seconds = Seconds(kernel) + Seconds(user);
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(h, &memory, sizeof memory)) {
    u.peak_mb = static_cast<long>(memory.PeakWorkingSetSize / (1024 * 1024));
  }
  std::lock_guard<std::mutex> lock(g_children_lock);
  g_children.cpu_seconds += u.cpu_seconds;
  g_children.peak_mb = std::max(g_children.peak_mb, u.peak_mb);
}

}  // namespace os
