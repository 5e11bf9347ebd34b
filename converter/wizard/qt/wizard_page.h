// WizardPage: what every page of the wizard has in common: its own top-level
// window with the caption "Brindle Tollan", F1 for the help guide, the exit
// question, and the move to the next page (the next page shown, this one
// closed). The program ends when its last page closes.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_WIZARD_PAGE_H_
#define TOLLAN_CONVERTER_WIZARD_QT_WIZARD_PAGE_H_

#include <QString>
#include <QWidget>

#include "converter/engine/conversion_page.h"
#include "converter/wizard/page_texts.h"

class QKeyEvent;

namespace tollan {

class WizardPage : public QWidget {
 public:
  explicit WizardPage(const QString& object_name);

  // Asks "Are you sure you want to exit now?"; on Yes closes this page.
  void ConfirmExit();

  // Shows `next` and closes this page.
  void MoveTo(QWidget* next);

  // A message box of the page through the page dialogs.
  MsgAnswer Ask(const QString& text, MsgButtons buttons, MsgIcon icon,
                const QString& title = QString::fromLatin1(kAppTitle));

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A fixed text as a label shows it (CR LF line ends become LF).
QString ForDisplay(const std::string& text);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_WIZARD_PAGE_H_
