// Dialogs: the modal questions the wizard pages ask the user (a folder, files
// to open, a message box). The pages reach them through WizardDialogs(), so
// the program shows the real Qt dialogs while tests put in scripted answers
// and drive the pages without blocking.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_DIALOGS_H_
#define TOLLAN_CONVERTER_WIZARD_QT_DIALOGS_H_

#include <QString>
#include <QStringList>

#include "converter/engine/conversion_page.h"

class QFileDialog;
class QWidget;

namespace tollan {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A folder chosen under `title` (only existing folders can be confirmed);
  // the empty text when the user cancels.
  virtual QString AskFolder(QWidget* owner, const QString& title) = 0;

  // Runs the page's configured open-file dialog; the chosen files in the
  // order the dialog gives them, none when cancelled.
  virtual QStringList OpenFiles(QFileDialog* dialog) = 0;

  // A message box; returns the button pressed (kOk for an OK box that was
  // closed some other way, kNo for a Yes/No box closed without an answer).
  virtual MsgAnswer Message(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                            const QString& title) = 0;
};

// The dialogs the pages use now (the Qt ones unless replaced).
Dialogs& WizardDialogs();

// Replaces them; nullptr restores the Qt dialogs. The caller keeps ownership.
void SetWizardDialogs(Dialogs* dialogs);

// The real dialogs: QFileDialog and QMessageBox, modal to their owner.
class QtDialogs : public Dialogs {
 public:
  QString AskFolder(QWidget* owner, const QString& title) override;
  QStringList OpenFiles(QFileDialog* dialog) override;
  MsgAnswer Message(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                    const QString& title) override;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_DIALOGS_H_
