// Screenshots of every page in a real X session (run under xvfb-run): the
// start page, the default-store page on a generated store, the file-list page
// after a run, and the help window. They are saved in the build tree's
// screenshots/ folder for a person to look at.
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>

#include "converter/wizard/qt/navigation.h"
#include "converter/wizard/qt/shell.h"
#include "tests/converter/wizard/qt/scripted_dialogs.h"
#include "tests/converter/wizard/qt/wizard_fixtures.h"

namespace tollan {

namespace fs = std::filesystem;

class ScreenshotTest : public QObject {
  Q_OBJECT

 private:
  fs::path root_;
  QString dir_ = QStringLiteral(TOLLAN_BINARY_DIR "/screenshots");

  void Shoot(QWidget* window, const QString& name) {
    window->show();
    window->raise();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(200);
    QPixmap shot = window->grab();
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(dir_ + QLatin1Char('/') + name + QStringLiteral(".png")));
  }

  QWidget* Next(QWidget* start, bool file_list) {
    if (file_list) start->findChild<QRadioButton*>(QStringLiteral("OptChooseDBX"))->click();
    start->findChild<QPushButton*>(QStringLiteral("CmdNext"))->click();
    testing::FlushClosedPages();
    return testing::OpenPages().value(0);
  }

 private slots:
  void initTestCase() {
    testing::QuietPlatformNotes();
    QVERIFY(QDir().mkpath(dir_));
    root_ = fs::temp_directory_path() / ("wizard-shots-" + std::to_string(getpid()));
    fs::remove_all(root_);
    QVERIFY(testing::WriteSampleStore(root_ / "store"));
    QVERIFY(testing::RegisterReader(root_ / "registrations.ini"));
    testing::WritePrefix(root_ / "wine", root_ / "store");
  }
  void cleanupTestCase() {
    CoFreeUnusedLibraries();
    fs::remove_all(root_);
  }

  void everyPage() {
    ScriptedDialogs dialogs;
    QWidget* start = NewStartPage();
    Shoot(start, QStringLiteral("1-start-page"));
    start->findChild<QRadioButton*>(QStringLiteral("OptChooseDBX"))->click();
    Shoot(start, QStringLiteral("2-start-page-chosen-files"));
    start->findChild<QRadioButton*>(QStringLiteral("OptDefaultOE"))->click();

    QWidget* store_page = Next(start, false);
    QVERIFY(store_page != nullptr);
    Shoot(store_page, QStringLiteral("3-default-store-page"));
    store_page->findChild<QPushButton*>(QStringLiteral("CmdBack"))->click();
    testing::FlushClosedPages();

    QWidget* list_page = Next(testing::OpenPages().value(0), true);
    QVERIFY(list_page != nullptr);
    Shoot(list_page, QStringLiteral("4-file-list-page"));
    list_page->findChild<QPushButton*>(QStringLiteral("CmdOptions"))->click();
    auto* options = list_page->findChild<QDialog*>(QStringLiteral("OptionsDialog"));
    QVERIFY(options != nullptr);
    Shoot(options, QStringLiteral("8-options-dialog"));
    options->reject();
    fs::create_directories(root_ / "out");
    dialogs.folders.push_back(QString::fromStdString((root_ / "store").string()));
    list_page->findChild<QPushButton*>(QStringLiteral("CmdAddFolder"))->click();
    list_page->findChild<QRadioButton*>(QStringLiteral("OptOnePST"))->click();
    dialogs.folders.push_back(QString::fromStdString((root_ / "out").string()));
    list_page->findChild<QPushButton*>(QStringLiteral("CmdExtractDBX"))->click();
    Shoot(list_page, QStringLiteral("5-file-list-page-after-run"));

    ShowHelp(list_page);
    Shoot(HelpBrowser()->window(), QStringLiteral("6-help-window"));
    HelpBrowser()->window()->close();
    list_page->close();
    testing::FlushClosedPages();

    // The default-store page when the identity's folder holds no store.
    fs::remove(root_ / "wine" / "prefix" / "drive_c" / "Mail" / "Folders.dbx");
    start = NewStartPage();
    start->show();
    store_page = Next(start, false);
    QVERIFY(store_page != nullptr);
    Shoot(store_page, QStringLiteral("7-default-store-page-no-store"));
    store_page->close();
  }
};

}  // namespace tollan

QTEST_MAIN(tollan::ScreenshotTest)
#include "screenshots_test.moc"
