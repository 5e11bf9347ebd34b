// The pages of the wizard, made new for every visit: the start page, the
// default-store page and the file-list page. A page is shown by the caller
// (WizardPage::MoveTo, or main() for the first one).
#ifndef TOLLAN_CONVERTER_WIZARD_QT_NAVIGATION_H_
#define TOLLAN_CONVERTER_WIZARD_QT_NAVIGATION_H_

class QWidget;

namespace tollan {

// frmMain, loaded anew (default-store option selected, its explanation shown).
QWidget* NewStartPage();
// frmDefaultOE; its loading finds and opens the default store.
QWidget* NewDefaultStorePage();
// frmChooseDBX with an empty list.
QWidget* NewFileListPage();

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_NAVIGATION_H_
