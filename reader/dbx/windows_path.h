// Paths of the reader on Windows: the object model and the converter pass
// UTF-8, the kestrel tool its ANSI command line. Bytes that are valid UTF-8
// are taken as UTF-8, others as the ANSI code page.
#ifndef TOLLAN_READER_DBX_WINDOWS_PATH_H_
#define TOLLAN_READER_DBX_WINDOWS_PATH_H_

#if defined(_WIN32)
#include <windows.h>

#include <string>

namespace dbx {

inline std::wstring WindowsPath(const std::string& path) {
  if (path.empty()) return std::wstring();
  const int n = static_cast<int>(path.size());
  UINT code_page = CP_UTF8;
  int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), n, nullptr, 0);
  if (wide == 0) {
    code_page = CP_ACP;
    wide = MultiByteToWideChar(CP_ACP, 0, path.data(), n, nullptr, 0);
  }
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(code_page, 0, path.data(), n, out.data(), wide);
  return out;
}

}  // namespace dbx
#endif  // _WIN32

#endif  // TOLLAN_READER_DBX_WINDOWS_PATH_H_
