// The common behaviour of the Windows pages and the wizard's message loop.
#include "converter/wizard/win32/win32_page.h"

#include <vector>

#include "converter/wizard/page_texts.h"
#include "converter/wizard/win32/shell_win32.h"

namespace tollan {
namespace {

// The pages, oldest first. A page whose window is gone is deleted by the
// message loop, outside its own handlers.
std::vector<std::unique_ptr<Win32Page>>& Pages() {
  static std::vector<std::unique_ptr<Win32Page>> pages;
  return pages;
}

bool PassToDialog(MSG* msg) {
  // A key handled here can open a page (the list grows): the windows first.
  std::vector<HWND> windows;
  for (const auto& page : Pages()) {
    if (page->alive()) windows.push_back(page->hwnd());
  }
  for (HWND window : windows) {
    if (IsWindow(window) && IsDialogMessageW(window, msg)) return true;
  }
  return false;
}

void DropClosedPages() {
  auto& pages = Pages();
  for (size_t i = 0; i < pages.size();) {
    if (pages[i]->alive()) {
      ++i;
    } else {
      pages.erase(pages.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

UINT IconFlags(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::kCritical: return MB_ICONERROR;
    case MsgIcon::kQuestion: return MB_ICONQUESTION;
    case MsgIcon::kExclamation: return MB_ICONWARNING;
    case MsgIcon::kInformation: return MB_ICONINFORMATION;
    case MsgIcon::kNone: break;
  }
  return 0;
}

}  // namespace

void Win32Page::SetText(int id, const std::string& text) {
  SetDlgItemTextW(hwnd_, id, W(text).c_str());
}

std::string Win32Page::Text(int id) {
  HWND control = GetDlgItem(hwnd_, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return U8(text);
}

bool Win32Page::Checked(int id) { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

void Win32Page::Check(int id, bool checked) {
  CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32Page::Enable(int id, bool enabled) { EnableWindow(GetDlgItem(hwnd_, id), enabled); }

MsgAnswer Win32Page::Ask(const std::string& text, MsgButtons buttons, MsgIcon icon,
                         const std::string& title) {
  const UINT type = (buttons == MsgButtons::kYesNo ? MB_YESNO : MB_OK) | IconFlags(icon);
  switch (MessageBoxW(hwnd_, W(text).c_str(), W(title).c_str(), type)) {
    case IDYES: return MsgAnswer::kYes;
    case IDNO: return MsgAnswer::kNo;
    default: return buttons == MsgButtons::kYesNo ? MsgAnswer::kNo : MsgAnswer::kOk;
  }
}

AskFn Win32Page::Asker() {
  return [this](const std::string& text, MsgButtons buttons, MsgIcon icon, const std::string& title) {
    return Ask(text, buttons, icon, title);
  };
}

void Win32Page::ConfirmExitAndClose() {
  if (ConfirmExit(Asker())) Close();
}

void Win32Page::MoveTo(std::unique_ptr<Win32Page> next) {
  Win32Page* shown = next.get();
  Pages().push_back(std::move(next));
  if (shown->Show()) Close();
}

void Win32Page::Close() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool Win32Page::Show() {
  hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id_), nullptr, Proc,
                             reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return false;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  return true;
}

INT_PTR CALLBACK Win32Page::Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_INITDIALOG) {
    auto* page = reinterpret_cast<Win32Page*>(l);
    SetWindowLongPtrW(hwnd, DWLP_USER, l);
    page->hwnd_ = hwnd;
    SetWindowTextW(hwnd, W(kWindowCaption).c_str());
    page->OnInit();
    return TRUE;
  }
  auto* page = reinterpret_cast<Win32Page*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (page == nullptr) return FALSE;
  switch (msg) {
    case WM_COMMAND:
      page->OnCommand(LOWORD(w), HIWORD(w));
      return TRUE;
    case WM_HELP:  // F1, whichever control has the focus, also during a run
      ShowHelp(hwnd);
      return TRUE;
    case WM_CLOSE:
      if (page->OnCloseRequest()) page->Close();
      return TRUE;
    case WM_DESTROY:
      page->OnDestroy();
      return TRUE;
    case WM_NCDESTROY:
      page->hwnd_ = nullptr;
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      return FALSE;
    default: break;
  }
  INT_PTR result = 0;
  if (page->OnMessage(msg, w, l, &result)) {
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // For the outer loop, after the run.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!PassToDialog(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

Win32Page* CurrentPage() {
  auto& pages = Pages();
  for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
    if ((*it)->alive()) return it->get();
  }
  return nullptr;
}

int RunWizard(std::unique_ptr<Win32Page> first) {
  Win32Page* shown = first.get();
  Pages().push_back(std::move(first));
  if (!shown->Show()) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!PassToDialog(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    DropClosedPages();
    if (Pages().empty()) break;
  }
  return 0;
}

}  // namespace tollan
