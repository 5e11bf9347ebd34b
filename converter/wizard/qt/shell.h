// The shell helpers the wizard pages share: the folder browser and the help
// guide.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_SHELL_H_
#define TOLLAN_CONVERTER_WIZARD_QT_SHELL_H_

#include <string>

class QTextBrowser;
class QWidget;

namespace tollan {

// Asks for an existing folder, modal to `owner`, under `title`. The chosen
// folder's path without a trailing separator (except for the root), or the
// empty text when the user cancels or the folder cannot be used.
std::string BrowseForFolder(QWidget* owner, const std::string& title);

// Opens the help guide on its contents page in the help window (one window,
// shared by all pages; brought to the front when already open). The window
// is not modal and does not keep the program running on its own.
void ShowHelp(QWidget* owner);

// Shows the guide at `address` ("guide.html#troubleshooting").
void ShowHelpAt(QWidget* owner, const std::string& address);

// The help window's browser while the window exists, else nullptr.
QTextBrowser* HelpBrowser();

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_SHELL_H_
