// The import worker on Windows: the standard handles, which are the
// converter's pipes, read and written with ReadFile and WriteFile (no text
// mode); the converter's job object ends it with the converter.
#include <windows.h>

#include <algorithm>

#include "tools/tollan-import-worker/worker_system.h"

namespace tollan::worker {

bool Prepare(long parent) {
  if (parent <= 0 || GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR) return false;
  // The console's Ctrl-C is the converter's to handle; a crash ends this
  // process at once, without a dialog or a debugger, and the converter
  // reports its message.
  SetConsoleCtrlHandler(nullptr, TRUE);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  return true;
}

size_t ReadSome(char* p, size_t n) {
  DWORD k = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), p, want, &k, nullptr)) return 0;
  return k;
}

bool WriteAll(const char* p, size_t n) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (n > 0) {
    DWORD k = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    if (!WriteFile(out, p, want, &k, nullptr) || k == 0) return false;
    p += k;
    n -= k;
  }
  return true;
}

}  // namespace tollan::worker
