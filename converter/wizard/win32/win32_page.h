// Win32Page: one page of the Windows wizard: a modeless dialog made from its
// template, with the caption "Brindle Tollan", F1 opening the help guide on
// every control, the exit question, and the move to the next page (the next
// page shown, this one closed). The pages live in one list; the program
// ends when its last page has closed (RunWizard).
//
//   class MyPage : public Win32Page {
//     void OnInit() override { SetText(IDC_X, "text"); }
//     void OnCommand(int id, int code) override { ... }
//   };
//   return RunWizard(NewStartPage());
#ifndef TOLLAN_CONVERTER_WIZARD_WIN32_WIN32_PAGE_H_
#define TOLLAN_CONVERTER_WIZARD_WIN32_WIN32_PAGE_H_

#include <windows.h>

#include <memory>
#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/wizard/page_logic.h"

namespace tollan {

class Win32Page {
 public:
  explicit Win32Page(int template_id) : template_id_(template_id) {}
  virtual ~Win32Page() = default;
  Win32Page(const Win32Page&) = delete;
  Win32Page& operator=(const Win32Page&) = delete;

  HWND hwnd() const { return hwnd_; }
  // False once the page's window is gone.
  bool alive() const { return hwnd_ != nullptr; }

  // Control `id`'s text (UTF-8) and state.
  void SetText(int id, const std::string& text);
  std::string Text(int id);
  bool Checked(int id);
  void Check(int id, bool checked);
  void Enable(int id, bool enabled);

  // A message box of the page.
  MsgAnswer Ask(const std::string& text, MsgButtons buttons, MsgIcon icon,
                const std::string& title = kAppTitle);
  AskFn Asker();

  // Asks "Are you sure you want to exit now?"; on Yes closes this page.
  void ConfirmExitAndClose();
  // Shows `next` and closes this page.
  void MoveTo(std::unique_ptr<Win32Page> next);
  // Closes the page (its window is destroyed; the page goes with it).
  void Close();

  // Makes the page's window and shows it; false when the template fails.
  bool Show();

 protected:
  // The controls' texts and first state (WM_INITDIALOG).
  virtual void OnInit() {}
  virtual void OnCommand(int /*id*/, int /*code*/) {}
  // The window is being closed (the frame, Alt+F4): true when it may close.
  virtual bool OnCloseRequest() { return true; }
  // The window is going (the page's unload).
  virtual void OnDestroy() {}
  // Other messages; true when handled (the result in *result).
  virtual bool OnMessage(UINT /*msg*/, WPARAM /*w*/, LPARAM /*l*/, INT_PTR* /*result*/) {
    return false;
  }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

  int template_id_;
  HWND hwnd_ = nullptr;
};

// Runs the wizard's message loop from `first` until its last page has
// closed; the program's exit status.
int RunWizard(std::unique_ptr<Win32Page> first);

// Handles the pending window messages of the wizard's pages and returns.
void PumpMessages();

// The page opened last that is still open (nullptr when none).
Win32Page* CurrentPage();

// The three pages, made new for every visit.
std::unique_ptr<Win32Page> NewStartPage();
std::unique_ptr<Win32Page> NewDefaultStorePage();
std::unique_ptr<Win32Page> NewFileListPage();

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_WIN32_WIN32_PAGE_H_
