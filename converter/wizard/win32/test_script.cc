// The test hook of the Windows pages.
#include "converter/wizard/win32/test_script.h"

#include <windows.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "converter/wizard/win32/resource.h"
#include "converter/wizard/win32/shell_win32.h"

namespace tollan {
namespace {

struct Script {
  std::wstring path;
  std::vector<std::string> lines;
  size_t next = 0;
  DWORD waiting_since = 0;
  DWORD quiet_since = 0;  // "settle": no message box up since then
  std::deque<std::string> folders;
  std::deque<std::vector<std::string>> files;
};

Script* script = nullptr;

const struct {
  const char* name;
  int id;
} kControls[] = {
    {"OptDefaultOE", IDC_OptDefaultOE}, {"OptChooseDBX", IDC_OptChooseDBX},
    {"CmdNext", IDC_CmdNext},           {"cmdEnd", IDC_cmdEnd},
    {"CmdHelp", IDC_CmdHelp},           {"OptOnePST", IDC_OptOnePST},
    {"OptEachPST", IDC_OptEachPST},     {"ChkDeletedItems", IDC_ChkDeletedItems},
    {"CmdBack", IDC_CmdBack},           {"CmdOptions", IDC_CmdOptions},
    {"CmdExtractDBX", IDC_CmdExtractDBX}, {"cmdAdd", IDC_cmdAdd},
    {"CmdAddFolder", IDC_CmdAddFolder}, {"cmdClear1", IDC_cmdClear1},
    {"ChkKeepFolderTree", IDC_ChkKeepFolderTree}, {"ChkRecover", IDC_ChkRecover},
    {"ChkVerify", IDC_ChkVerify},       {"ChkConvertOutbox", IDC_ChkConvertOutbox},
    {"LblDefaultOEIdentity", IDC_LblDefaultOEIdentity}, {"grdFiles1", IDC_grdFiles1},
    {"OK", IDOK},                       {"Cancel", IDCANCEL},
};

void Log(const std::string& line) {
  std::ofstream(std::filesystem::path(script->path + L".log"), std::ios::app) << line << "\n";
}

// The dialogs of this thread that take input now (a modal one disables its
// owner), newest first as the system lists them.
std::vector<HWND> InputDialogs() {
  std::vector<HWND> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM l) -> BOOL {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (IsWindowVisible(w) && IsWindowEnabled(w) && std::wstring(cls) == L"#32770") {
          reinterpret_cast<std::vector<HWND>*>(l)->push_back(w);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// A message box: a dialog without the pages' and the options' controls.
HWND MessageBoxUp() {
  for (HWND w : InputDialogs()) {
    if (GetDlgItem(w, IDC_CmdHelp) == nullptr && GetDlgItem(w, IDC_ChkVerify) == nullptr) return w;
  }
  return nullptr;
}

int ControlId(const std::string& name) {
  for (const auto& c : kControls) {
    if (name == c.name) return c.id;
  }
  return 0;
}

// True when a window that takes input now has the control `name`.
bool ControlUp(const std::string& name) {
  const int id = ControlId(name);
  for (HWND dialog : InputDialogs()) {
    if (id != 0 && GetDlgItem(dialog, id) != nullptr) return true;
  }
  return false;
}

bool Click(const std::string& name) {
  const int id = ControlId(name);
  if (id == 0) return false;
  for (HWND dialog : InputDialogs()) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr || !IsWindowEnabled(control)) continue;
    const LONG style = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (style == BS_AUTORADIOBUTTON) {
      for (HWND c = GetNextDlgGroupItem(dialog, control, FALSE); c != control && c != nullptr;
           c = GetNextDlgGroupItem(dialog, c, FALSE)) {
        SendMessageW(c, BM_SETCHECK, BST_UNCHECKED, 0);
      }
      SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    } else if (style == BS_AUTOCHECKBOX) {
      const bool on = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
      SendMessageW(control, BM_SETCHECK, on ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return true;
  }
  return false;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
  return parts;
}

// Plays the current line; false when it must wait for a later tick.
bool Play(const std::string& line) {
  const size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
  if (verb == "click") return Click(arg);
  if (verb == "folder") {
    script->folders.push_back(arg);
    return true;
  }
  if (verb == "files") {
    script->files.push_back(Split(arg, '|'));
    return true;
  }
  if (verb == "wait") return ControlUp(arg);
  if (verb == "box") return MessageBoxUp() != nullptr;
  if (verb == "press") {
    HWND box = MessageBoxUp();
    if (box == nullptr) return false;
    const int id = arg == "yes" ? IDYES : arg == "no" ? IDNO : IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return true;
  }
  if (verb == "settle") {
    if (HWND box = MessageBoxUp()) {
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      script->quiet_since = 0;
      return false;
    }
    if (script->quiet_since == 0) script->quiet_since = GetTickCount();
    if (GetTickCount() - script->quiet_since < 2000) return false;
    script->quiet_since = 0;
    return true;
  }
  if (verb == "shot") {
    const std::wstring marker = script->path + L"." + W(arg);
    if (script->waiting_since == 0) {
      // Everything on the screen painted before the picture is taken.
      for (HWND w : InputDialogs()) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      GdiFlush();
      std::ofstream(std::filesystem::path(marker)).put('\n');
      return false;
    }
    return GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
  return true;  // blank lines and comments
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  static bool playing = false;
  if (playing || script->next >= script->lines.size()) return;
  playing = true;
  const std::string& line = script->lines[script->next];
  if (Play(line)) {
    Log(line);
    ++script->next;
    script->waiting_since = 0;
  } else if (script->waiting_since == 0) {
    script->waiting_since = GetTickCount();
  } else if (GetTickCount() - script->waiting_since > 120000) {
    Log("timed out: " + line);
    ExitProcess(3);
  }
  playing = false;
}

}  // namespace

void StartTestScript() {
  wchar_t path[32768];
  const DWORD n = GetEnvironmentVariableW(L"TOLLAN_WIZARD_SCRIPT", path, 32768);
  if (n == 0 || n >= 32768) return;
  script = new Script;
  script->path = path;
  std::ifstream in{std::filesystem::path(script->path)};
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] != '#') script->lines.push_back(line);
  }
  SetTimer(nullptr, 0, 200, Tick);
}

bool ScriptedFolder(std::string* folder) {
  if (script == nullptr || script->folders.empty()) return false;
  *folder = script->folders.front();
  script->folders.pop_front();
  return true;
}

bool ScriptedFiles(std::vector<std::string>* files) {
  if (script == nullptr || script->files.empty()) return false;
  *files = script->files.front();
  script->files.pop_front();
  return true;
}

}  // namespace tollan
