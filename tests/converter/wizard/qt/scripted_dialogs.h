// ScriptedDialogs: the wizard's dialogs answered by a test. Folder and file
// answers and Yes/No answers are queued beforehand; every dialog asked is
// recorded, and an optional hook sees each message box as it is shown (the
// page's state at that moment, mid-run).
#ifndef TOLLAN_TESTS_CONVERTER_WIZARD_QT_SCRIPTED_DIALOGS_H_
#define TOLLAN_TESTS_CONVERTER_WIZARD_QT_SCRIPTED_DIALOGS_H_

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "converter/wizard/qt/dialogs.h"

namespace tollan {

class ScriptedDialogs : public Dialogs {
 public:
  struct Box {
    QString text;
    MsgButtons buttons;
    MsgIcon icon;
    QString title;
    QWidget* owner;
  };
  struct FileDialogSeen {
    QString object_name;
    QStringList filters;
    QFileDialog::FileMode mode;
  };

  ScriptedDialogs() { SetWizardDialogs(this); }
  ~ScriptedDialogs() override { SetWizardDialogs(nullptr); }

  QString AskFolder(QWidget*, const QString& title) override {
    folder_titles.push_back(title);
    if (folders.empty()) return QString();
    QString answer = folders.front();
    folders.pop_front();
    return answer;
  }

  QStringList OpenFiles(QFileDialog* dialog) override {
    file_dialogs.push_back({dialog->objectName(), dialog->nameFilters(), dialog->fileMode()});
    if (files.empty()) return {};
    QStringList answer = files.front();
    files.pop_front();
    return answer;
  }

  MsgAnswer Message(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                    const QString& title) override {
    boxes.push_back({text, buttons, icon, title, owner});
    if (on_box) on_box(boxes.back());
    if (buttons == MsgButtons::kOk) return MsgAnswer::kOk;
    if (answers.empty()) {
      ++unanswered;
      return MsgAnswer::kNo;
    }
    MsgAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  // Answers, used in order.
  std::deque<QString> folders;
  std::deque<QStringList> files;
  std::deque<MsgAnswer> answers;
  std::function<void(const Box&)> on_box;

  // What was asked.
  std::vector<QString> folder_titles;
  std::vector<FileDialogSeen> file_dialogs;
  std::vector<Box> boxes;
  int unanswered = 0;

  // The closing message of a run: the last box, or the one before it when
  // the run ends by telling of mail in folders it skipped.
  const Box& ClosingBox() const {
    const bool skipped_told =
        boxes.size() > 1 && boxes.back().text.contains(QStringLiteral("in folders that were skipped"));
    return boxes[boxes.size() - (skipped_told ? 2 : 1)];
  }
};

}  // namespace tollan

#endif  // TOLLAN_TESTS_CONVERTER_WIZARD_QT_SCRIPTED_DIALOGS_H_
