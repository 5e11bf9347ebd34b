// Win32ConversionPage: the part the two Windows conversion pages share: the
// output options, the progress display, the navigation buttons, Options…
// and Convert, and the ConversionPage the batch driver and the engine run
// on. A page adds its own controls (its template's upper part) and runs the
// driver from Convert(), as the Qt pages do, through the same page logic.
#ifndef TOLLAN_CONVERTER_WIZARD_WIN32_CONVERSION_PAGE_WIN32_H_
#define TOLLAN_CONVERTER_WIZARD_WIN32_CONVERSION_PAGE_WIN32_H_

#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/engine/engine.h"
#include "converter/engine/page_state.h"
#include "converter/wizard/page_logic.h"
#include "converter/wizard/win32/resource.h"
#include "converter/wizard/win32/win32_page.h"

namespace tollan {

class Win32ConversionPage : public Win32Page, public ConversionPage {
 public:
  // `convert_text` is the Convert button's text.
  Win32ConversionPage(int template_id, std::string convert_text);

  // ConversionPage.
  bool OptOnePST() override { return Checked(IDC_OptOnePST); }
  bool OptEachPST() override { return Checked(IDC_OptEachPST); }
  bool ChkDeletedItems() override { return Checked(IDC_ChkDeletedItems); }
  std::string BrowseForFolder(const std::string& title) override;
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override {
    return Ask(text, buttons, icon, title);
  }
  void DoEvents() override { PumpMessages(); }
  bool Cancelled() override { return run_.cancel_requested(); }
  void SetProgressRange(ProgressBarId bar, int min, int max) override;
  void SetProgressValue(ProgressBarId bar, float value) override;
  float ProgressValue(ProgressBarId bar) override;
  void SetCaption(PageControl control, const std::string& text) override;
  void SetEnabled(PageControl control, bool enabled) override;
  void SetBusyPointer(bool busy) override;
  void SetRunLock(bool locked) override;

 protected:
  // What Convert runs (the batch driver over the page's source, with `env`).
  virtual void Convert(const EngineEnv& env) = 0;
  // The page's own controls: their texts and first state; their clicks.
  virtual void InitOwnControls() {}
  virtual void OwnCommand(int /*id*/, int /*code*/) {}
  // Locks or unlocks the page's own controls during a run.
  virtual void LockOwnControls(bool) {}
  // The page's part of the options dialog.
  virtual void OfferOptions(ConversionOptions*) {}
  virtual void TakeOptions(const ConversionOptions&) {}
  // The page's unload, after a run has ended.
  virtual void Unload() {}

  PageState state_;

 private:
  void OnInit() final;
  void OnCommand(int id, int code) final;
  bool OnCloseRequest() final { return run_.MayClose(); }
  void OnDestroy() final;
  bool OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) final;
  void OptionsClicked();
  int ControlId(PageControl control) const;

  std::string convert_text_;
  PageRun run_;
  float values_[2] = {0, 0};
  bool busy_ = false;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_WIN32_CONVERSION_PAGE_WIN32_H_
