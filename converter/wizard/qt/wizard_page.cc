// The common behaviour of the wizard pages.
#include "converter/wizard/qt/wizard_page.h"

#include <QKeyEvent>
#include <QShortcut>

#include "converter/wizard/page_logic.h"
#include "converter/wizard/qt/dialogs.h"
#include "converter/wizard/qt/shell.h"

namespace tollan {

WizardPage::WizardPage(const QString& object_name) : QWidget(nullptr, Qt::Window) {
  setObjectName(object_name);
  setWindowTitle(QString::fromLatin1(kWindowCaption));
  setAttribute(Qt::WA_DeleteOnClose);
  // F1 anywhere on the page, whichever control has the focus, also while a
  // run is in progress.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::WindowShortcut);
  QObject::connect(help, &QShortcut::activated, this, [this] { ShowHelp(this); });
}

void WizardPage::ConfirmExit() {
  const AskFn ask = [this](const std::string& text, MsgButtons buttons, MsgIcon icon,
                           const std::string& title) {
    return Ask(QString::fromStdString(text), buttons, icon, QString::fromStdString(title));
  };
  if (tollan::ConfirmExit(ask)) close();
}

void WizardPage::MoveTo(QWidget* next) {
  next->show();
  close();
}

MsgAnswer WizardPage::Ask(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) {
  return WizardDialogs().Message(this, text, buttons, icon, title);
}

void WizardPage::keyPressEvent(QKeyEvent* event) {
  // Reached when the shortcut did not take the key (a key sent to the page
  // itself).
  if (event->key() == Qt::Key_F1) {
    ShowHelp(this);
    return;
  }
  QWidget::keyPressEvent(event);
}

QString ForDisplay(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace tollan
