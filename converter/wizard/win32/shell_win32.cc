// The folder browser, the file picker and the help guide on Windows.
#include "converter/wizard/win32/shell_win32.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include "converter/wizard/file_list_page.h"
#include "converter/wizard/page_texts.h"
#include "converter/wizard/win32/test_script.h"
#include "platform/os/file.h"
#include "platform/os/wide_path.h"

namespace tollan {

std::wstring W(const std::string& utf8) { return os::Wide(utf8); }
std::string U8(const std::wstring& wide) { return os::Utf8FromWide(wide); }

std::string Shown(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::string BrowseForFolder(HWND owner, const std::string& title) {
  std::string scripted;
  if (ScriptedFolder(&scripted)) return os::SlashPath(scripted);
  const std::wstring wide_title = W(title);
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = wide_title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (item == nullptr) return std::string();
  // Long paths too: the buffer takes the longest path the system has.
  std::wstring path(32768, L'\0');
  const bool ok = SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()),
                                        GPFIDL_DEFAULT) != FALSE;
  CoTaskMemFree(item);
  if (!ok) return std::string();
  path.resize(wcslen(path.c_str()));
  return os::SlashPath(U8(path));
}

std::vector<std::string> OpenDbxFiles(HWND owner) {
  std::vector<std::string> scripted;
  if (ScriptedFiles(&scripted)) {
    for (std::string& f : scripted) f = os::SlashPath(f);
    return scripted;
  }
  // "Description\0*.dbx\0\0", the description the shared one.
  std::wstring filter = W(kDbxFileFilter);
  filter.append(1, L'\0').append(L"*.dbx").append(2, L'\0');
  // Room for many names: a selection that does not fit is refused by the
  // dialog, which then says so itself.
  std::wstring buffer(65536, L'\0');
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
              OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return {};
  // The answer's parts are NUL-ended; the UTF-8 keeps each NUL.
  size_t end = 0;
  while (end + 1 < buffer.size() && !(buffer[end] == L'\0' && buffer[end + 1] == L'\0')) ++end;
  std::vector<std::string> files = SplitOpenFileNames(U8(buffer.substr(0, end + 1)) + '\0');
  for (std::string& f : files) f = os::SlashPath(f);
  return files;
}

void ShowHelp(HWND owner) {
  std::wstring exe(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  exe.resize(n);
  const size_t sep = exe.find_last_of(L"\\/");
  const std::wstring guide = exe.substr(0, sep == std::wstring::npos ? 0 : sep + 1) + L"help\\guide.html";
  ShellExecuteW(owner, L"open", guide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tollan
