// The folder browser (through the page dialogs, so tests can answer it) and
// the help window: a QTextBrowser over the guide compiled into the program.
#include "converter/wizard/qt/shell.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "converter/wizard/qt/dialogs.h"

static void InitHelpResources() { Q_INIT_RESOURCE(help); }

namespace tollan {
namespace {

QPointer<QWidget> help_window;

QWidget* HelpWindow() {
  if (help_window) return help_window;
  InitHelpResources();
  auto* window = new QWidget(nullptr, Qt::Window);
  window->setObjectName(QStringLiteral("frmHelp"));
  window->setWindowTitle(QStringLiteral("Brindle Tollan Help Manual"));
  window->setAttribute(Qt::WA_DeleteOnClose);
  // The wizard ends with its last page; an open help window does not hold it.
  window->setAttribute(Qt::WA_QuitOnClose, false);
  auto* browser = new QTextBrowser(window);
  browser->setObjectName(QStringLiteral("helpBrowser"));
  browser->setOpenExternalLinks(false);
  browser->setSearchPaths({QStringLiteral(":/help")});
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser);
  window->resize(720, 560);
  help_window = window;
  return window;
}

}  // namespace

std::string BrowseForFolder(QWidget* owner, const std::string& title) {
  // The path goes on as the file system's bytes, not as text.
  const QByteArray path = QFile::encodeName(WizardDialogs().AskFolder(owner, QString::fromStdString(title)));
  return std::string(path.constData(), static_cast<size_t>(path.size()));
}

void ShowHelp(QWidget* owner) { ShowHelpAt(owner, "guide.html"); }

void ShowHelpAt(QWidget* owner, const std::string& address) {
  QWidget* window = HelpWindow();
  auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
  QUrl url(QStringLiteral("qrc:/help/") + QString::fromStdString(address));
  // Always start from the top of the page (setSource alone keeps the place
  // when the page is already shown).
  browser->setSource(QUrl(QStringLiteral("qrc:/help/guide.html")));
  browser->setSource(url);
  if (!url.fragment().isEmpty()) browser->scrollToAnchor(url.fragment());
  if (owner != nullptr && !window->isVisible()) {
    window->move(owner->frameGeometry().topRight() + QPoint(16, 0));
  }
  window->show();
  window->raise();
  window->activateWindow();
}

QTextBrowser* HelpBrowser() {
  if (!help_window) return nullptr;
  return help_window->findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
}

}  // namespace tollan
