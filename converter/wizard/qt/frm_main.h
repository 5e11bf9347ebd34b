// frmMain: the start page. The user chooses between the default Outlook
// Express store and .dbx files picked by hand; Next opens the matching page.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_FRM_MAIN_H_
#define TOLLAN_CONVERTER_WIZARD_QT_FRM_MAIN_H_

#include "converter/wizard/page_texts.h"
#include "converter/wizard/qt/wizard_page.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace tollan {

class FrmMain : public WizardPage {
 public:
  FrmMain();

 private:
  void Next();

  QRadioButton* opt_default_ = nullptr;
  QRadioButton* opt_choose_ = nullptr;
  QLabel* explanation_ = nullptr;
  QPushButton* next_ = nullptr;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_FRM_MAIN_H_
