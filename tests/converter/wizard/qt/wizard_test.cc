// The wizard's real windows driven as a user would: the start page, the moves
// between the pages, the exit question, F1, the file list (files, a folder
// tree, Clear), Convert in both modes on a generated store with the .pst
// files checked, and the default-store page on a Wine prefix written here.
// The dialogs are answered by a script.
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "converter/discovery/path_logger.h"
#include "converter/engine/texts.h"
#include "converter/wizard/qt/conversion_page_widget.h"
#include "converter/wizard/qt/frm_choose_dbx.h"
#include "converter/wizard/qt/frm_main.h"
#include "converter/wizard/qt/navigation.h"
#include "converter/wizard/qt/shell.h"
#include "platform/pst/check/check.h"
#include "tests/converter/wizard/qt/scripted_dialogs.h"
#include "tests/converter/wizard/qt/wizard_fixtures.h"
#include "tests/support/dbxgen/store.h"

namespace tollan {
namespace {

using testing::OpenPages;
namespace fs = std::filesystem;

template <typename T>
T* Get(QWidget* page, const char* name) {
  T* w = page->findChild<T*>(QString::fromLatin1(name));
  if (w == nullptr) qFatal("no control %s on %s", name, qPrintable(page->objectName()));
  return w;
}

QString Label(QWidget* page, const char* name) { return Get<QLabel>(page, name)->text(); }

// The one page now open.
QWidget* CurrentPage() {
  testing::FlushClosedPages();
  QList<QWidget*> pages = OpenPages();
  if (pages.size() != 1) qFatal("%d pages open", static_cast<int>(pages.size()));
  return pages.front();
}

std::vector<std::string> FilesIn(const fs::path& dir, const std::string& ext) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() == ext) out.push_back(e.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Every .pst in `dir` passes pst-check; returns the messages they hold.
int64_t CheckPsts(const fs::path& dir) {
  int64_t messages = 0;
  for (const auto& name : FilesIn(dir, ".pst")) {
    pst::check::Report r = pst::check::CheckFile((dir / name).string());
    if (!r.ok()) {
      qWarning("%s: %s", name.c_str(), r.fatal.c_str());
      for (const auto& p : r.problems) qWarning("  %s", p.ToString().c_str());
      return -1;
    }
    messages += static_cast<int64_t>(r.stats.messages);
  }
  return messages;
}

// Runs `answer` on the next modal dialog that opens (polled, as the dialog
// runs its own event loop).
template <typename Dialog>
void AnswerNextDialog(std::function<void(Dialog*)> answer) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      answer(dialog);
    }
  });
  timer->start();
}

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT

 private:
  fs::path root_;
  fs::path store_;

  QWidget* StartAt(bool file_list) {
    QWidget* start = NewStartPage();
    start->show();
    if (file_list) Get<QRadioButton>(start, "OptChooseDBX")->click();
    Get<QPushButton>(start, "CmdNext")->click();
    return CurrentPage();
  }

  // The tree A/ (a1.dbx, a2.txt) A/B/ (b1.dbx) A/C/ A/B/D/ (d1.DBX).
  fs::path MakeTree() {
    fs::path a = root_ / "A";
    fs::create_directories(a / "B" / "D");
    fs::create_directories(a / "C");
    std::ofstream(a / "a1.dbx") << "x";
    std::ofstream(a / "a2.txt") << "x";
    std::ofstream(a / "B" / "b1.dbx") << "x";
    std::ofstream(a / "B" / "D" / "d1.DBX") << "x";
    return a;
  }

 private slots:
  void initTestCase() {
    testing::QuietPlatformNotes();
    root_ = fs::temp_directory_path() / ("wizard-test-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    store_ = root_ / "store";
    QVERIFY(testing::WriteSampleStore(store_));
    QVERIFY(testing::RegisterReader(root_ / "registrations.ini"));
  }

  void cleanupTestCase() {
    CoFreeUnusedLibraries();
    fs::remove_all(root_);
  }

  void cleanup() {
    for (QWidget* page : OpenPages()) {
      page->close();
    }
    if (QTextBrowser* help = HelpBrowser()) help->window()->close();
    testing::FlushClosedPages();
    QVERIFY(OpenPages().isEmpty());
    unsetenv("KESTREL_REGISTRY");
  }

  void startPageAtRest() {
    QWidget* page = NewStartPage();
    page->show();
    QCOMPARE(page->objectName(), QStringLiteral("frmMain"));
    QCOMPARE(page->windowTitle(), QStringLiteral("Brindle Tollan"));
    QCOMPARE(Get<QGroupBox>(page, "Frame1")->title(), QStringLiteral(" I want to convert "));
    QCOMPARE(Get<QGroupBox>(page, "Frame2")->title(), QStringLiteral(" Quick Help "));
    auto* opt_default = Get<QRadioButton>(page, "OptDefaultOE");
    auto* opt_choose = Get<QRadioButton>(page, "OptChooseDBX");
    QCOMPARE(opt_default->text(), QStringLiteral("Default Outlook Express folder(s)"));
    QCOMPARE(opt_choose->text(), QStringLiteral("Choose (.dbx) files located in a folder"));
    QVERIFY(opt_default->isChecked());
    QVERIFY(!opt_choose->isChecked());
    QCOMPARE(Label(page, "Label1"),
             QStringLiteral("Outlook Express should not be in running mode, when you perform conversion"));
    auto* next = Get<QPushButton>(page, "CmdNext");
    QCOMPARE(next->text(), QStringLiteral("&Next >"));
    QVERIFY(next->isEnabled());
    QCOMPARE(Get<QPushButton>(page, "cmdEnd")->text(), QStringLiteral("E&xit"));
    QCOMPARE(Get<QPushButton>(page, "CmdHelp")->text(), QStringLiteral("&Help Manual"));
    QCOMPARE(Label(page, "LblDefaultOE"), ForDisplay(kDefaultStoreExplanation));
    QCOMPARE(OpenPages().size(), 1);
  }

  void explanationsFollowTheChoice() {
    QWidget* page = NewStartPage();
    page->show();
    Get<QRadioButton>(page, "OptChooseDBX")->click();
    QCOMPARE(Label(page, "LblDefaultOE"), QString::fromLatin1(kChosenFilesExplanation));
    Get<QRadioButton>(page, "OptDefaultOE")->click();
    // The two paragraphs, separated by an empty line.
    QVERIFY(Label(page, "LblDefaultOE").contains(QStringLiteral("Windows 98.)\n\nIf you choose")));
    QCOMPARE(Label(page, "LblDefaultOE"), ForDisplay(kDefaultStoreExplanation));
  }

  void nextOpensEachPageAndBackReturnsAFreshStartPage() {
    ScriptedDialogs dialogs;
    // To the file-list page: the start page is closed, not hidden.
    QPointer<QWidget> start = NewStartPage();
    start->show();
    Get<QRadioButton>(start, "OptChooseDBX")->click();
    Get<QPushButton>(start, "CmdNext")->click();
    QWidget* page = CurrentPage();
    QVERIFY(start.isNull());
    QCOMPARE(page->objectName(), QStringLiteral("frmChooseDBX"));
    QCOMPARE(page->windowTitle(), QStringLiteral("Brindle Tollan"));

    // Back: the start page is loaded anew with the default option.
    Get<QPushButton>(page, "CmdBack")->click();
    page = CurrentPage();
    QCOMPARE(page->objectName(), QStringLiteral("frmMain"));
    QVERIFY(Get<QRadioButton>(page, "OptDefaultOE")->isChecked());
    QCOMPARE(Label(page, "LblDefaultOE"), ForDisplay(kDefaultStoreExplanation));

    // To the default-store page (no registry here: it says so on the page).
    fs::create_directories(root_ / "empty-prefix");
    std::ofstream(root_ / "empty-prefix" / "user.reg") << "WINE REGISTRY Version 2\n";
    std::ofstream(root_ / "empty-prefix" / "system.reg") << "WINE REGISTRY Version 2\n";
    setenv("KESTREL_REGISTRY", ("wine:" + (root_ / "empty-prefix").string()).c_str(), 1);
    Get<QPushButton>(page, "CmdNext")->click();
    page = CurrentPage();
    QCOMPARE(page->objectName(), QStringLiteral("frmDefaultOE"));
    Get<QPushButton>(page, "CmdBack")->click();
    QCOMPARE(CurrentPage()->objectName(), QStringLiteral("frmMain"));
    QVERIFY(dialogs.boxes.empty());
  }

  void exitAsksFirstOnEveryPage() {
    for (int which = 0; which < 3; ++which) {
      ScriptedDialogs dialogs;
      QWidget* page = which == 0 ? NewStartPage() : which == 1 ? NewFileListPage() : NewDefaultStorePage();
      page->show();
      dialogs.answers = {MsgAnswer::kNo, MsgAnswer::kYes};
      Get<QPushButton>(page, "cmdEnd")->click();
      QCOMPARE(dialogs.boxes.size(), size_t{1});
      QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Are you sure you want to exit now?"));
      QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Tollan"));
      QCOMPARE(dialogs.boxes[0].buttons, MsgButtons::kYesNo);
      QCOMPARE(dialogs.boxes[0].icon, MsgIcon::kQuestion);
      QCOMPARE(CurrentPage(), page);  // No: nothing happens
      Get<QPushButton>(page, "cmdEnd")->click();
      testing::FlushClosedPages();
      QVERIFY(OpenPages().isEmpty());  // Yes: the last page is gone
    }
  }

  void f1AndHelpButtonsOpenTheGuideOnItsContents() {
    ScriptedDialogs dialogs;
    for (int which = 0; which < 3; ++which) {
      QWidget* page = which == 0 ? NewStartPage() : which == 1 ? NewFileListPage() : NewDefaultStorePage();
      page->show();
      page->activateWindow();
      QVERIFY(QTest::qWaitForWindowExposed(page));
      if (QTextBrowser* open = HelpBrowser()) open->window()->close();
      testing::FlushClosedPages();
      QVERIFY(HelpBrowser() == nullptr);

      QTest::keyClick(page, Qt::Key_F1);
      QTextBrowser* help = HelpBrowser();
      QVERIFY(help != nullptr);
      QVERIFY(help->window()->isVisible());
      QCOMPARE(help->source(), QUrl(QStringLiteral("qrc:/help/guide.html")));
      QVERIFY(help->toPlainText().contains(QStringLiteral("Contents")));
      QVERIFY(help->document()->toHtml().contains(QStringLiteral("troubleshooting")));
      // The help window is no page: it does not count and keeps nothing alive.
      QCOMPARE(OpenPages().size(), 1);
      QVERIFY(!help->window()->testAttribute(Qt::WA_QuitOnClose));

      help->window()->close();
      testing::FlushClosedPages();
      Get<QPushButton>(page, "CmdHelp")->click();
      QVERIFY(HelpBrowser() != nullptr && HelpBrowser()->window()->isVisible());
      page->close();
      testing::FlushClosedPages();
    }
    // The address the Outlook error names opens at its section.
    ShowHelpAt(nullptr, kSupportAddress);
    QCOMPARE(HelpBrowser()->source().fragment(), QStringLiteral("troubleshooting"));
    QVERIFY(dialogs.boxes.empty());
  }

  void realDialogsCarryTextsTitlesIconsAndButtons() {
    QtDialogs qt;
    QWidget owner;
    owner.show();
    // A Yes/No question: the CR LF of the fixed texts becomes a line break.
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    AnswerNextDialog<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      title = box->windowTitle();
      icon = box->icon();
      buttons = box->standardButtons();
      box->button(QMessageBox::No)->click();
    });
    QCOMPARE(qt.Message(&owner, QString::fromLatin1(kClearQuestion), MsgButtons::kYesNo, MsgIcon::kQuestion,
                        QStringLiteral("Tollan")),
             MsgAnswer::kNo);
    QCOMPARE(text, QStringLiteral("Do you want to clear all the files in the list\n Proceed?"));
    QCOMPARE(title, QStringLiteral("Tollan"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

    AnswerNextDialog<QMessageBox>([&](QMessageBox* box) {
      icon = box->icon();
      buttons = box->standardButtons();
      title = box->windowTitle();
      box->button(QMessageBox::Ok)->click();
    });
    QCOMPARE(qt.Message(&owner, QStringLiteral("Failed to Open OE object; return code=1001"), MsgButtons::kOk,
                        MsgIcon::kCritical, QStringLiteral("Failed to Open OE")),
             MsgAnswer::kOk);
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(title, QStringLiteral("Failed to Open OE"));

    // The folder browser: its title, folders only; cancel gives the empty text.
    fs::create_directories(root_ / "pick" / "here");
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    AnswerNextDialog<QFileDialog>([&](QFileDialog* dialog) {
      title = dialog->windowTitle();
      mode = dialog->fileMode();
      dialog->reject();
    });
    QVERIFY(qt.AskFolder(&owner, QStringLiteral("Choose Folder to Save...")).isEmpty());
    QCOMPARE(title, QStringLiteral("Choose Folder to Save..."));
    QCOMPARE(mode, QFileDialog::Directory);
    const QString here = QString::fromStdString((root_ / "pick" / "here").string());
    AnswerNextDialog<QFileDialog>([&](QFileDialog* dialog) {
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(here);
      static_cast<QDialog*>(dialog)->accept();
    });
    QCOMPARE(qt.AskFolder(&owner, QStringLiteral("Choose Source Folder...")), here);

    // The page's open-file dialog gives the chosen files.
    ScriptedDialogs scripted;
    QWidget* page = NewFileListPage();
    page->show();
    SetWizardDialogs(&qt);
    std::ofstream(root_ / "pick" / "x.dbx") << "x";
    AnswerNextDialog<QFileDialog>([&](QFileDialog* dialog) {
      // As typed by a user into the dialog's file-name box.
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(QString::fromStdString((root_ / "pick" / "x.dbx").string()));
      static_cast<QDialog*>(dialog)->accept();
    });
    Get<QPushButton>(page, "cmdAdd")->click();
    SetWizardDialogs(&scripted);
    QCOMPARE(Get<QTableWidget>(page, "grdFiles1")->item(0, 0)->text(),
             QString::fromStdString((root_ / "pick" / "x.dbx").string()));
  }

  void optionsDialogFeedsTheRunAndItsReport() {
    // A folder file whose second message has no body to be found.
    dbxgen::StoreSpec spec;
    spec.folders = dbxgen::StandardFolders();
    for (int i = 1; i <= 3; ++i) {
      dbxgen::Message m;
      m.subject = "m" + std::to_string(i);
      m.text = "Subject: m" + std::to_string(i) + "\r\n\r\nbody\r\n";
      if (i == 2) m.damage.unreadable_body_position = 8;
      spec.folders[2].messages.push_back(m);
    }
    QVERIFY(dbxgen::WriteStore(root_ / "damaged", spec).ok());
    fs::create_directories(root_ / "out-options");
    for (int which = 0; which < 2; ++which) {
      ScriptedDialogs dialogs;
      auto* page = static_cast<ConversionPageWidget*>(which == 0 ? NewFileListPage() : NewDefaultStorePage());
      page->show();
      auto* options = Get<QPushButton>(page, "CmdOptions");
      QCOMPARE(options->text(), QString::fromUtf8("Options\u2026"));
      options->click();
      auto* dialog = page->findChild<QDialog*>(QStringLiteral("OptionsDialog"));
      QVERIFY(dialog != nullptr && dialog->isVisible());
      auto* keep = Get<QCheckBox>(dialog, "ChkKeepFolderTree");
      auto* recover = Get<QCheckBox>(dialog, "ChkRecover");
      QCOMPARE(keep->text(), QStringLiteral("Keep the Outlook Express folder tree and names"));
      QCOMPARE(recover->text(), QStringLiteral("Recover messages the folder index has lost"));
      auto* verify = Get<QCheckBox>(dialog, "ChkVerify");
      auto* outbox = Get<QCheckBox>(dialog, "ChkConvertOutbox");
      QCOMPARE(outbox->text(), QStringLiteral("Convert the Outbox too (its unsent messages)"));
      QVERIFY(!keep->isChecked() && !recover->isChecked() && !verify->isChecked() && !outbox->isChecked());
      keep->setChecked(true);
      recover->setChecked(true);
      verify->setChecked(true);
      outbox->setChecked(true);
      const std::string report = (root_ / ("chosen-" + std::to_string(which) + ".csv")).string();
      Get<QLineEdit>(dialog, "TxtReportPath")->setText(QString::fromStdString(report));
      if (which == 1) {
        // Cancel keeps what the page had.
        dialog->reject();
        testing::FlushClosedPages();
        QVERIFY(!page->state().KeepFolderTree && !page->state().Recover && !page->state().ConvertOutbox &&
                page->state().ReportPath.empty());
        page->close();
        continue;
      }
      dialog->accept();
      QVERIFY(page->state().KeepFolderTree && page->state().Recover && page->state().Verify &&
              page->state().ConvertOutbox);
      QCOMPARE(page->state().ReportPath, report);
      // Opened again, it shows the choices; a run writes the report there and
      // its closing box says where.
      options->click();
      dialog = page->findChild<QDialog*>(QStringLiteral("OptionsDialog"));
      QVERIFY(Get<QCheckBox>(dialog, "ChkKeepFolderTree")->isChecked());
      dialog->reject();
      dialogs.files.push_back({QString::fromStdString((root_ / "damaged" / "Inbox.dbx").string())});
      Get<QPushButton>(page, "cmdAdd")->click();
      Get<QRadioButton>(page, "OptOnePST")->click();
      dialogs.folders.push_back(QString::fromStdString((root_ / "out-options").string()));
      Get<QPushButton>(page, "CmdExtractDBX")->click();
      QVERIFY(dialogs.boxes.back().text.endsWith(
          QStringLiteral("are listed in ") + QString::fromStdString(report)));
      // The .pst was read back: every message saved into it as written.
      QCOMPARE(page->state().report.verifications.size(), size_t{1});
      QVERIFY(page->state().report.verifications[0].ok());
      QVERIFY(page->state().report.verifications[0].total > 0);
      // The damaged message is named; with recovery on, anything else in
      // the report is a recovered message.
      std::ifstream in(report);
      std::string header, row;
      std::getline(in, header);
      int named = 0;
      while (std::getline(in, row)) {
        if (row.find("Inbox.dbx,2,m2,") != std::string::npos && row.find(",failed,") != std::string::npos) {
          ++named;
        } else {
          QVERIFY2(row.find(",recovered,") != std::string::npos, row.c_str());
        }
      }
      QCOMPARE(named, 1);
      page->close();
    }
  }

  void optionsSizeLimitSplitsThePst() {
    ScriptedDialogs dialogs;
    dbxgen::StoreSpec spec;
    spec.folders = dbxgen::StandardFolders();
    for (int i = 1; i <= 40; ++i) {
      spec.folders[2].messages.push_back({});
      spec.folders[2].messages.back().subject = "s" + std::to_string(i);
      spec.folders[2].messages.back().text =
          "Subject: s" + std::to_string(i) + "\r\n\r\n" + std::string(30000, 'x') + "\r\n";
    }
    QVERIFY(dbxgen::WriteStore(root_ / "large", spec).ok());
    auto* page = static_cast<ConversionPageWidget*>(NewFileListPage());
    page->show();
    Get<QPushButton>(page, "CmdOptions")->click();
    auto* dialog = page->findChild<QDialog*>(QStringLiteral("OptionsDialog"));
    Get<QSpinBox>(dialog, "SpnMaxPstSize")->setValue(1);
    dialog->accept();
    QCOMPARE(page->state().MaxPstBytes, uint64_t{1} << 20);
    fs::path out = root_ / "out-parts";
    fs::create_directories(out);
    dialogs.files.push_back({QString::fromStdString((root_ / "large" / "Inbox.dbx").string())});
    Get<QPushButton>(page, "cmdAdd")->click();
    Get<QRadioButton>(page, "OptOnePST")->click();
    dialogs.folders.push_back(QString::fromStdString(out.string()));
    Get<QPushButton>(page, "CmdExtractDBX")->click();
    const std::vector<std::string> psts = FilesIn(out, ".pst");
    QVERIFY(psts.size() >= 2);
    QVERIFY(std::any_of(psts.begin(), psts.end(),
                        [](const std::string& p) { return p.find(" (part 2).pst") != std::string::npos; }));
    for (const std::string& p : psts) QVERIFY(fs::file_size(out / p) <= (uintmax_t{1} << 20));
    QCOMPARE(CheckPsts(out), int64_t{40});
    page->close();
  }

  void conversionPagesAtRest() {
    for (int which = 0; which < 2; ++which) {
      ScriptedDialogs dialogs;
      QWidget* page = which == 0 ? NewFileListPage() : NewDefaultStorePage();
      page->show();
      QCOMPARE(page->windowTitle(), QStringLiteral("Brindle Tollan"));
      QCOMPARE(Get<QGroupBox>(page, "Frame1")->title(), QStringLiteral(" I want to create "));
      auto* one = Get<QRadioButton>(page, "OptOnePST");
      auto* each = Get<QRadioButton>(page, "OptEachPST");
      QCOMPARE(one->text(), QStringLiteral(" Single Outlook (.pst) file for All (.dbx) files"));
      QCOMPARE(each->text(), QStringLiteral("Separate Outlook (.pst) file for Each (.dbx) file"));
      QVERIFY(!one->isChecked() && !each->isChecked());
      QCOMPARE(Get<QCheckBox>(page, "ChkDeletedItems")->text(), QStringLiteral("Skip Deleted Items"));
      QVERIFY(Get<QCheckBox>(page, "ChkDeletedItems")->isChecked());
      QCOMPARE(Get<QGroupBox>(page, "FrameConversion")->title(), QStringLiteral(" Progress Details"));
      QCOMPARE(Label(page, "LblCurrentDBX"), QStringLiteral("Converting Messages..."));
      QCOMPARE(Label(page, "LblProgessCurrent"), QStringLiteral("Message 0 (of 0)"));
      QCOMPARE(Label(page, "Label3"), QStringLiteral("Overall Progress        : "));
      QCOMPARE(Label(page, "Label2"), QStringLiteral("Current File Progress : "));
      QCOMPARE(Get<QProgressBar>(page, "ProgressBar1")->maximum(), 100);
      QCOMPARE(Get<QProgressBar>(page, "ProgressBar2")->maximum(), 100);
      QCOMPARE(Get<QPushButton>(page, "CmdBack")->text(), QStringLiteral("< &Back"));
      QCOMPARE(Get<QPushButton>(page, "cmdEnd")->text(), QStringLiteral("E&xit"));
      QCOMPARE(Get<QPushButton>(page, "CmdHelp")->text(), QStringLiteral("&Help Manual"));
      auto* convert = Get<QPushButton>(page, "CmdExtractDBX");
      QCOMPARE(convert->text(), which == 0 ? QStringLiteral("Convert &Messages") : QStringLiteral("Convert"));
      QVERIFY(!convert->isEnabled());
      // Either option enables Convert.
      each->click();
      QVERIFY(convert->isEnabled());
      if (which == 0) {
        auto* grid = Get<QTableWidget>(page, "grdFiles1");
        QCOMPARE(grid->columnCount(), 1);
        QCOMPARE(grid->rowCount(), 1);
        QVERIFY(grid->horizontalHeader()->isHidden());
        QCOMPARE(Label(page, "lblCount1"), QStringLiteral("0 files"));
        QCOMPARE(Get<QPushButton>(page, "cmdAdd")->text(), QStringLiteral("Add DBX File(s)..."));
        QCOMPARE(Get<QPushButton>(page, "CmdAddFolder")->text(), QStringLiteral("Select..."));
        QCOMPARE(Get<QPushButton>(page, "cmdClear1")->text(), QStringLiteral("Clear File(s)..."));
        QVERIFY(Get<QLineEdit>(page, "txtDBXFolder")->text().isEmpty());
      } else {
        QCOMPARE(Label(page, "lblCount1"), QStringLiteral("Default Outlook Express Identity Folder"));
        QCOMPARE(Label(page, "Label1"), QStringLiteral("Total Folders Found :"));
      }
      page->close();
      testing::FlushClosedPages();
    }
  }

  void addingFilesFillsTheList() {
    ScriptedDialogs dialogs;
    QWidget* page = StartAt(true);
    auto* grid = Get<QTableWidget>(page, "grdFiles1");
    auto* convert = Get<QPushButton>(page, "CmdExtractDBX");

    // Cancelled: nothing happens.
    Get<QPushButton>(page, "cmdAdd")->click();
    QCOMPARE(dialogs.file_dialogs.size(), size_t{1});
    QCOMPARE(dialogs.file_dialogs[0].object_name, QStringLiteral("cdlgFile"));
    QCOMPARE(dialogs.file_dialogs[0].filters, QStringList{QStringLiteral("Outlook Express Mailstores (*.dbx)")});
    QCOMPARE(dialogs.file_dialogs[0].mode, QFileDialog::ExistingFiles);
    QVERIFY(!convert->isEnabled());
    QCOMPARE(Label(page, "lblCount1"), QStringLiteral("0 files"));

    // One file goes into row 0; it enables Convert before any option.
    dialogs.files.push_back({QStringLiteral("/m/Inbox.dbx")});
    Get<QPushButton>(page, "cmdAdd")->click();
    QCOMPARE(grid->rowCount(), 1);
    QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("/m/Inbox.dbx"));
    QCOMPARE(Label(page, "lblCount1"), QStringLiteral("1 files"));
    QVERIFY(convert->isEnabled());

    // Three at once, in the dialog's order; the same file twice is listed twice.
    dialogs.files.push_back({QStringLiteral("/m/b.dbx"), QStringLiteral("/m/a.dbx"), QStringLiteral("/m/Inbox.dbx")});
    Get<QPushButton>(page, "cmdAdd")->click();
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("/m/b.dbx"));
    QCOMPARE(grid->item(2, 0)->text(), QStringLiteral("/m/a.dbx"));
    QCOMPARE(grid->item(3, 0)->text(), QStringLiteral("/m/Inbox.dbx"));
    QCOMPARE(Label(page, "lblCount1"), QStringLiteral("4 files"));
    QCOMPARE(grid->currentRow(), 3);

    // Convert before an option is chosen: the option message, nothing else.
    convert->click();
    QCOMPARE(dialogs.boxes.size(), size_t{1});
    QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Please Select Option for Creating Outlook (.pst) files"));
    QCOMPARE(dialogs.boxes[0].icon, MsgIcon::kInformation);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Tollan"));
    QVERIFY(dialogs.folder_titles.empty());
  }

  void folderSearchAddsTheTreeBreadthFirst() {
    ScriptedDialogs dialogs;
    QWidget* page = StartAt(true);
    fs::path a = MakeTree();
    auto* grid = Get<QTableWidget>(page, "grdFiles1");
    auto* text = Get<QLineEdit>(page, "txtDBXFolder");

    // Cancelled: the box keeps what it showed.
    Get<QPushButton>(page, "CmdAddFolder")->click();
    QCOMPARE(dialogs.folder_titles.back(), QStringLiteral("Choose Source Folder..."));
    QVERIFY(text->text().isEmpty());
    QVERIFY(dialogs.boxes.empty());

    // The wait text shows while the search runs.
    QString seen_during_search;
    dialogs.on_box = [&](const ScriptedDialogs::Box&) { seen_during_search = text->text(); };
    dialogs.folders.push_back(QString::fromStdString(a.string()));
    Get<QPushButton>(page, "CmdAddFolder")->click();
    QCOMPARE(seen_during_search, QStringLiteral("Please wait checking for dbx files(s)..."));
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->item(0, 0)->text(), QString::fromStdString((a / "a1.dbx").string()));
    QCOMPARE(grid->item(1, 0)->text(), QString::fromStdString((a / "B" / "b1.dbx").string()));
    QCOMPARE(grid->item(2, 0)->text(), QString::fromStdString((a / "B" / "D" / "d1.DBX").string()));
    QCOMPARE(Label(page, "lblCount1"), QStringLiteral("3 files"));
    QCOMPARE(dialogs.boxes.back().text, QStringLiteral("3 (.dbx) files found."));
    QCOMPARE(dialogs.boxes.back().icon, MsgIcon::kNone);
    QCOMPARE(dialogs.boxes.back().title, QStringLiteral("Tollan"));
    QCOMPARE(text->text(), QString::fromStdString(a.string() + "/"));
    QVERIFY(Get<QPushButton>(page, "CmdExtractDBX")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // A folder without .dbx files: Convert is disabled although the list
    // holds files, and the folder box is emptied.
    dialogs.folders.push_back(QString::fromStdString((a / "C").string()));
    Get<QPushButton>(page, "CmdAddFolder")->click();
    QCOMPARE(dialogs.boxes.back().text, QStringLiteral("0 (.dbx) files found."));
    QCOMPARE(grid->rowCount(), 3);
    QVERIFY(!Get<QPushButton>(page, "CmdExtractDBX")->isEnabled());
    QVERIFY(text->text().isEmpty());
  }

  void unreadableFolderIsSkippedAndCounted() {
    ScriptedDialogs dialogs;
    auto* page = static_cast<FrmChooseDBX*>(StartAt(true));
    fs::path a = MakeTree();
    // Permissions do not bind root, so B's failure is made in the listing:
    // the search runs on as the page's own search does, less B.
    const std::string b = a.string() + "/B/";
    page->set_folder_search([&](const std::string& folder, const std::function<void()>& yield) {
      pathLogger logger(yield, [&](const std::string& path, FolderListing* out) {
        return path != b && ListFolderOnDisk(path, out);
      });
      logger.PathLogInit();
      logger.LogPath(folder);
      DbxSearchResult result;
      for (const auto& path : logger.fullFileNames().items()) {
        if (HasDbxExtension(path)) result.files.push_back(path);
      }
      result.unreadable_folders = logger.UnreadableFolders();
      logger.Terminate();
      return result;
    });
    dialogs.folders.push_back(QString::fromStdString(a.string()));
    Get<QPushButton>(page, "CmdAddFolder")->click();
    QCOMPARE(Get<QTableWidget>(page, "grdFiles1")->rowCount(), 1);
    QCOMPARE(dialogs.boxes.back().text,
             QStringLiteral("1 (.dbx) files found.\r\n1 folder(s) could not be read and were left out of the search."));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(Get<QPushButton>(page, "CmdExtractDBX")->isEnabled());

    if (geteuid() != 0) {
      // A real unreadable folder, where permissions bind.
      page->set_folder_search(nullptr);
      fs::permissions(a / "B", fs::perms::none);
      dialogs.folders.push_back(QString::fromStdString(a.string()));
      Get<QPushButton>(page, "CmdAddFolder")->click();
      fs::permissions(a / "B", fs::perms::owner_all);
      QVERIFY(dialogs.boxes.back().text.contains(QStringLiteral("1 folder(s) could not be read")));
    }
  }

  void clearAsksAndEmptiesTheList() {
    ScriptedDialogs dialogs;
    QWidget* page = StartAt(true);
    auto* grid = Get<QTableWidget>(page, "grdFiles1");
    // An empty list: no question.
    Get<QPushButton>(page, "cmdClear1")->click();
    QVERIFY(dialogs.boxes.empty());

    dialogs.files.push_back({QStringLiteral("/m/a.dbx"), QStringLiteral("/m/b.dbx")});
    Get<QPushButton>(page, "cmdAdd")->click();
    dialogs.answers = {MsgAnswer::kNo, MsgAnswer::kYes};
    Get<QPushButton>(page, "cmdClear1")->click();
    QCOMPARE(dialogs.boxes.back().text, QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"));
    QCOMPARE(dialogs.boxes.back().icon, MsgIcon::kQuestion);
    QCOMPARE(dialogs.boxes.back().buttons, MsgButtons::kYesNo);
    QCOMPARE(dialogs.boxes.back().title, QStringLiteral("Tollan"));
    QCOMPARE(grid->rowCount(), 2);  // No
    Get<QPushButton>(page, "cmdClear1")->click();
    QCOMPARE(grid->rowCount(), 1);  // Yes
    QVERIFY(grid->item(0, 0) == nullptr || grid->item(0, 0)->text().isEmpty());
    QCOMPARE(Label(page, "lblCount1"), QStringLiteral("0 files"));
    QVERIFY(Get<QPushButton>(page, "CmdExtractDBX")->isEnabled());  // unchanged

    // Convert on the empty list says there is nothing to convert and asks
    // for no output folder.
    Get<QRadioButton>(page, "OptOnePST")->click();
    Get<QPushButton>(page, "CmdExtractDBX")->click();
    QCOMPARE(dialogs.boxes.back().text, QString::fromLatin1(kNothingToConvertText));
    QVERIFY(dialogs.folder_titles.empty());
  }

  void convertsTheListInBothModes() {
    for (bool single : {true, false}) {
      ScriptedDialogs dialogs;
      QWidget* page = StartAt(true);
      fs::path out = root_ / (single ? "out-single" : "out-each");
      fs::create_directories(out);
      dialogs.folders.push_back(QString::fromStdString(store_.string()));
      Get<QPushButton>(page, "CmdAddFolder")->click();
      QCOMPARE(dialogs.boxes.back().text, QStringLiteral("7 (.dbx) files found."));
      const int rows = Get<QTableWidget>(page, "grdFiles1")->rowCount();
      QCOMPARE(rows, 7);

      Get<QRadioButton>(page, single ? "OptOnePST" : "OptEachPST")->click();
      dialogs.folders.push_back(QString::fromStdString(out.string()));
      // What the page shows at its yields and at the closing message.
      bool yielded_mid_run = false, closed_mid_run = true, locked_mid_run = false, help_mid_run = false;
      if (QTextBrowser* help = HelpBrowser()) help->window()->close();
      testing::FlushClosedPages();
      QTimer::singleShot(0, page, [&] {
        yielded_mid_run = static_cast<ConversionPageWidget*>(page)->running();
        locked_mid_run = !Get<QPushButton>(page, "CmdBack")->isEnabled() &&
                         !Get<QPushButton>(page, "cmdEnd")->isEnabled() &&
                         !Get<QPushButton>(page, "CmdAddFolder")->isEnabled();
        closed_mid_run = !page->isVisible();
        QTest::keyClick(page, Qt::Key_F1);  // help is there during a run
        help_mid_run = HelpBrowser() != nullptr;
      });
      bool locked = false;
      QString frame, file;
      float bar1 = 0;
      dialogs.on_box = [&](const ScriptedDialogs::Box& box) {
        if (!box.text.startsWith(QStringLiteral("Start Outlook"))) return;
        locked = !Get<QRadioButton>(page, "OptOnePST")->isEnabled() &&
                 !Get<QRadioButton>(page, "OptEachPST")->isEnabled() &&
                 !Get<QCheckBox>(page, "ChkDeletedItems")->isEnabled() &&
                 !Get<QPushButton>(page, "CmdBack")->isEnabled() &&
                 !Get<QPushButton>(page, "cmdEnd")->isEnabled();
        frame = Get<QGroupBox>(page, "FrameConversion")->title();
        file = Label(page, "LblCurrentDBX");
        bar1 = Get<QProgressBar>(page, "ProgressBar1")->value();
      };
      Get<QPushButton>(page, "CmdExtractDBX")->click();
      QCOMPARE(dialogs.folder_titles.back(), QStringLiteral("Choose Folder to Save..."));
      QVERIFY(yielded_mid_run);
      QVERIFY(locked_mid_run);
      QVERIFY(!closed_mid_run);
      QVERIFY(help_mid_run);
      QCOMPARE(OpenPages().size(), 1);
      QCOMPARE(dialogs.ClosingBox().text, QString::fromStdString(ClosingText()));
      QCOMPARE(dialogs.ClosingBox().title, QStringLiteral("Tollan"));
      QVERIFY(locked);
      QCOMPARE(frame, QStringLiteral("Details : Converting - (7 of 7) file(s)"));
      QVERIFY(file.startsWith(QStringLiteral("Converting Messages... from (")));
      QCOMPARE(bar1, 100.0f);
      // After the run: unlocked, Convert stays disabled until an option click.
      QVERIFY(Get<QPushButton>(page, "CmdBack")->isEnabled());
      QVERIFY(Get<QRadioButton>(page, "OptOnePST")->isEnabled());
      QVERIFY(!Get<QPushButton>(page, "CmdExtractDBX")->isEnabled());

      std::vector<std::string> psts = FilesIn(out, ".pst");
      if (single) {
        QCOMPARE(psts.size(), size_t{1});
        QVERIFY(psts[0].rfind("OutlookExpressMessages", 0) == 0);
      } else {
        // Inbox, Sent Items, Drafts and Projects; the skipped names and the
        // skipped Deleted Items get none.
        QCOMPARE(psts.size(), size_t{4});
      }
      QCOMPARE(CheckPsts(out), int64_t{testing::kInboxMessages + testing::kProjectsMessages + 2});
      QVERIFY(FilesIn(out, ".eml").empty());
      page->close();
      testing::FlushClosedPages();
    }
  }

  void closingTheWindowStopsARunWithCompleteFiles() {
    ScriptedDialogs dialogs;
    QWidget* page = StartAt(true);
    fs::path out = root_ / "out-closed";
    fs::create_directories(out);
    dialogs.folders.push_back(QString::fromStdString(store_.string()));
    Get<QPushButton>(page, "CmdAddFolder")->click();
    Get<QRadioButton>(page, "OptEachPST")->click();
    dialogs.folders.push_back(QString::fromStdString(out.string()));
    bool visible_after_close = false;
    // Closed at the run's first yield.
    QTimer::singleShot(0, page, [&] {
      page->close();  // asks the run to stop; the window stays until it has
      visible_after_close = page->isVisible();
    });
    Get<QPushButton>(page, "CmdExtractDBX")->click();
    QVERIFY(visible_after_close);
    QVERIFY(dialogs.boxes.back().text.startsWith(QStringLiteral("The conversion was interrupted.")));
    QVERIFY(!page->isVisible());  // closed once the run had stopped
    QVERIFY(CheckPsts(out) >= 0);  // whatever was made is complete
    QVERIFY(FilesIn(out, ".eml").empty());
    for (const auto& e : fs::directory_iterator(out)) QCOMPARE(e.path().extension().string(), std::string(".pst"));
    testing::FlushClosedPages();
  }

  void defaultStorePageConvertsTheStoreOfAWinePrefix() {
    ScriptedDialogs dialogs;
    fs::path mail = testing::WritePrefix(root_ / "wine", store_);
    QWidget* page = StartAt(false);
    QCOMPARE(page->objectName(), QStringLiteral("frmDefaultOE"));
    QCOMPARE(fs::path(Label(page, "LblDefaultOEIdentity").toStdString()).filename(), "Mail");
    QCOMPARE(Label(page, "LblDBXFolders"), QStringLiteral("8"));
    QVERIFY(Get<QLabel>(page, "LblStoreProblem")->isHidden());

    for (bool single : {true, false}) {
      fs::path out = root_ / (single ? "oe-single" : "oe-each");
      fs::create_directories(out);
      Get<QCheckBox>(page, "ChkDeletedItems")->setChecked(!single);
      Get<QRadioButton>(page, single ? "OptOnePST" : "OptEachPST")->click();
      dialogs.folders.push_back(QString::fromStdString(out.string()));
      Get<QPushButton>(page, "CmdExtractDBX")->click();
      QCOMPARE(dialogs.ClosingBox().text, QString::fromStdString(ClosingText()));
      QCOMPARE(Get<QGroupBox>(page, "FrameConversion")->title(),
               QStringLiteral("Details : Converting - (8 of 8) file(s)"));
      QVERIFY(QApplication::overrideCursor() == nullptr);
      std::vector<std::string> psts = FilesIn(out, ".pst");
      if (single) {
        QCOMPARE(psts.size(), size_t{1});
        QVERIFY(psts[0].rfind("Tollan", 0) == 0);
        // Deleted Items converted this time (the box was unchecked).
        QCOMPARE(CheckPsts(out), int64_t{testing::kInboxMessages + testing::kProjectsMessages + 3});
      } else {
        QCOMPARE(CheckPsts(out), int64_t{testing::kInboxMessages + testing::kProjectsMessages + 2});
      }
    }
    QVERIFY(fs::exists(mail / "Folders.dbx"));  // the store is left as it was
  }

  void optionsOfferTheIdentityAndConvertTheChosenOnesStore() {
    ScriptedDialogs dialogs;
    // Two identities, the current one with the sample store, the other with
    // a store of two messages.
    fs::path mail = testing::WritePrefix(root_ / "two-identities", store_);
    dbxgen::StoreSpec spec;
    spec.folders = dbxgen::StandardFolders();
    for (int i = 1; i <= 2; ++i) {
      spec.folders[2].messages.push_back({});
      spec.folders[2].messages.back().subject = "k" + std::to_string(i);
      spec.folders[2].messages.back().text = "Subject: k" + std::to_string(i) + "\r\n\r\nbody\r\n";
    }
    QVERIFY(dbxgen::WriteStore(mail.parent_path() / "Kids", spec).ok());
    std::ofstream(mail.parent_path().parent_path() / "user.reg", std::ios::app)
        << "\n[Identities\\\\{B}] 1700000000\n\"UserName\"=\"Kids\"\n\n"
        << "[Identities\\\\{B}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
        << "\"Store Root\"=\"C:\\\\Kids\"\n";
    QWidget* page = StartAt(false);
    QCOMPARE(fs::path(Label(page, "LblDefaultOEIdentity").toStdString()).filename(), "Mail");

    // Offered with the current identity chosen; Cancel changes nothing,
    // OK opens the chosen identity's store, and the dialog shows it after.
    for (const char* answer : {"cancel", "ok", "again"}) {
      Get<QPushButton>(page, "CmdOptions")->click();
      auto* dialog = page->findChild<QDialog*>(QStringLiteral("OptionsDialog"));
      auto* identity = Get<QComboBox>(dialog, "CmbIdentity");
      QCOMPARE(identity->count(), 2);
      QCOMPARE(identity->itemText(0) + "," + identity->itemText(1), QStringLiteral("Main Identity,Kids"));
      QCOMPARE(identity->currentText(), QString::fromLatin1(std::string(answer) == "again" ? "Kids" : "Main Identity"));
      identity->setCurrentText(QStringLiteral("Kids"));
      std::string(answer) == "ok" ? dialog->accept() : dialog->reject();
      testing::FlushClosedPages();
      QCOMPARE(fs::path(Label(page, "LblDefaultOEIdentity").toStdString()).filename(),
               std::string(answer) == "cancel" ? "Mail" : "Kids");
    }
    fs::path out = root_ / "kids-out";
    fs::create_directories(out);
    Get<QRadioButton>(page, "OptOnePST")->click();
    dialogs.folders.push_back(QString::fromStdString(out.string()));
    Get<QPushButton>(page, "CmdExtractDBX")->click();
    QCOMPARE(CheckPsts(out), int64_t{2});
  }

  void defaultStorePageSaysWhyThereIsNoStore() {
    ScriptedDialogs dialogs;
    // An identity whose store folder holds no folder list.
    testing::WritePrefix(root_ / "wine-empty", fs::path());
    QWidget* page = StartAt(false);
    QVERIFY(!Label(page, "LblDefaultOEIdentity").isEmpty());
    QVERIFY(Label(page, "LblDBXFolders").isEmpty());
    QVERIFY(!Get<QLabel>(page, "LblStoreProblem")->isHidden());
    QVERIFY(!Label(page, "LblStoreProblem").isEmpty());
    // Convert reports the reader's code and converts nothing.
    fs::path out = root_ / "oe-none";
    fs::create_directories(out);
    Get<QRadioButton>(page, "OptEachPST")->click();
    dialogs.folders.push_back(QString::fromStdString(out.string()));
    Get<QPushButton>(page, "CmdExtractDBX")->click();
    QCOMPARE(dialogs.boxes.back().text, QStringLiteral("Failed to Open OE object; return code=1001"));
    QCOMPARE(dialogs.boxes.back().title, QStringLiteral("Failed to Open OE"));
    QCOMPARE(dialogs.boxes.back().icon, MsgIcon::kCritical);
    QVERIFY(fs::is_empty(out));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    page->close();
    testing::FlushClosedPages();

    // No identity at all, and no reader component: messages on the page.
    fs::create_directories(root_ / "no-identity");
    std::ofstream(root_ / "no-identity" / "user.reg") << "WINE REGISTRY Version 2\n";
    std::ofstream(root_ / "no-identity" / "system.reg") << "WINE REGISTRY Version 2\n";
    setenv("KESTREL_REGISTRY", ("wine:" + (root_ / "no-identity").string()).c_str(), 1);
    page = StartAt(false);
    QVERIFY(Label(page, "LblStoreProblem").contains(QStringLiteral("No Outlook Express identity")));
    page->close();
    testing::FlushClosedPages();

    const std::string registrations = getenv("KESTREL_REGISTRATIONS");
    setenv("KESTREL_REGISTRATIONS", (root_ / "none.ini").c_str(), 1);
    page = StartAt(false);
    QVERIFY(Label(page, "LblStoreProblem").contains(QStringLiteral("kestrel register")));
    setenv("KESTREL_REGISTRATIONS", registrations.c_str(), 1);
  }

  // Last: runs the application's event loop to its end.
  void programEndsWithItsLastPageEvenWithHelpOpen() {
    ScriptedDialogs dialogs;
    QWidget* page = StartAt(true);
    ShowHelp(page);
    QVERIFY(HelpBrowser()->window()->isVisible());
    dialogs.answers = {MsgAnswer::kYes};
    QTimer::singleShot(0, page, [page] { Get<QPushButton>(page, "cmdEnd")->click(); });
    // Should the program not end, the loop is stopped with another code.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(dialogs.boxes.size(), size_t{1});
    testing::FlushClosedPages();
    QVERIFY(OpenPages().isEmpty());
  }
};

}  // namespace tollan

QTEST_MAIN(tollan::WizardTest)
#include "wizard_test.moc"
