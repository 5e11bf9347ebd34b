// The Qt dialogs behind the wizard pages, and the switch tests use to put
// scripted ones in their place.
#include "converter/wizard/qt/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace tollan {
namespace {

Dialogs* current = nullptr;

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::kNone: return QMessageBox::NoIcon;
    case MsgIcon::kCritical: return QMessageBox::Critical;
    case MsgIcon::kQuestion: return QMessageBox::Question;
    case MsgIcon::kExclamation: return QMessageBox::Warning;
    case MsgIcon::kInformation: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

Dialogs& WizardDialogs() {
  static QtDialogs qt_dialogs;
  return current != nullptr ? *current : qt_dialogs;
}

void SetWizardDialogs(Dialogs* dialogs) { current = dialogs; }

QString QtDialogs::AskFolder(QWidget* owner, const QString& title) {
  QString folder = QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return QString();
  return QDir::toNativeSeparators(folder);
}

QStringList QtDialogs::OpenFiles(QFileDialog* dialog) {
  if (dialog->exec() != QDialog::Accepted) return {};
  return dialog->selectedFiles();
}

MsgAnswer QtDialogs::Message(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title) {
  // The fixed texts separate their lines with CR LF; Qt wants LF alone.
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(ToQtIcon(icon), title, shown,
                  buttons == MsgButtons::kYesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  owner);
  if (buttons == MsgButtons::kYesNo) box.setDefaultButton(QMessageBox::Yes);
  int pressed = box.exec();
  if (buttons == MsgButtons::kOk) return MsgAnswer::kOk;
  return pressed == QMessageBox::Yes ? MsgAnswer::kYes : MsgAnswer::kNo;
}

}  // namespace tollan
