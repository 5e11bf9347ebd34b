// ConversionPageWidget: the part the two conversion pages share: the output
// options, the progress display, the navigation buttons and Convert, and the
// ConversionPage the batch driver and the engine run on. A page adds its own
// controls above (Body()) and runs the driver from Convert().
#ifndef TOLLAN_CONVERTER_WIZARD_QT_CONVERSION_PAGE_WIDGET_H_
#define TOLLAN_CONVERTER_WIZARD_QT_CONVERSION_PAGE_WIDGET_H_

#include <memory>
#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/engine/engine.h"
#include "converter/engine/page_state.h"
#include "converter/wizard/page_logic.h"
#include "converter/wizard/page_texts.h"
#include "converter/wizard/qt/wizard_page.h"

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace tollan {

class ConversionPageWidget : public WizardPage, public ConversionPage {
 public:
  // `convert_text` is the Convert button's text.
  ConversionPageWidget(const QString& object_name, const QString& convert_text);

  // ConversionPage.
  bool OptOnePST() override;
  bool OptEachPST() override;
  bool ChkDeletedItems() override;
  std::string BrowseForFolder(const std::string& title) override;
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override;
  void DoEvents() override;
  bool Cancelled() override;
  void SetProgressRange(ProgressBarId bar, int min, int max) override;
  void SetProgressValue(ProgressBarId bar, float value) override;
  float ProgressValue(ProgressBarId bar) override;
  void SetCaption(PageControl control, const std::string& text) override;
  void SetEnabled(PageControl control, bool enabled) override;
  void SetBusyPointer(bool busy) override;
  void SetRunLock(bool locked) override;

  // True from a click on Convert until its run has ended.
  bool running() const { return run_.running(); }

  // The state of the page's runs.
  PageState& state() { return state_; }

 protected:
  // The page's own controls go here, above the options.
  QVBoxLayout* Body() const { return body_; }
  // What Convert runs (the batch driver over the page's source, with `env`).
  virtual void Convert(const EngineEnv& env) = 0;
  // Locks or unlocks the page's own controls during a run.
  virtual void LockOwnControls(bool) {}
  // The page's own part of the options dialog: what it offers, and what to
  // do with the choice once accepted.
  virtual void OfferOptions(ConversionOptions*) {}
  virtual void TakeOptions(const ConversionOptions&) {}
  void closeEvent(QCloseEvent* event) override;

  PageState state_;
  QPushButton* convert_button_ = nullptr;

 private:
  void OptionClicked();
  // Opens the options dialog; OK takes its choices into the page state.
  void OptionsClicked();
  void ConvertClicked();
  QProgressBar* Bar(ProgressBarId bar) const;

  QVBoxLayout* body_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QRadioButton* opt_one_ = nullptr;
  QRadioButton* opt_each_ = nullptr;
  QCheckBox* chk_deleted_ = nullptr;
  QGroupBox* frame_conversion_ = nullptr;
  QProgressBar* bar1_ = nullptr;
  QProgressBar* bar2_ = nullptr;
  QLabel* lbl_progress_ = nullptr;
  QLabel* lbl_current_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* options_ = nullptr;
  QPushButton* end_ = nullptr;
  float values_[2] = {0, 0};
  PageRun run_;
  bool busy_ = false;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_CONVERSION_PAGE_WIDGET_H_
