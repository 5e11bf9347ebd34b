// The system dialogs and helpers the Windows pages share: the folder
// browser, the multiple-selection file picker, the help guide, and text
// between the pages' UTF-8 and the system's UTF-16. Paths go to the shared
// page layer with '/' separators (the form the converter builds its paths
// in) and are shown with '\'.
#ifndef TOLLAN_CONVERTER_WIZARD_WIN32_SHELL_WIN32_H_
#define TOLLAN_CONVERTER_WIZARD_WIN32_SHELL_WIN32_H_

#include <windows.h>

#include <string>
#include <vector>

namespace tollan {

std::wstring W(const std::string& utf8);
std::string U8(const std::wstring& wide);

// `path` as a Windows user reads it: '\' for each separator.
std::string Shown(const std::string& path);

// Asks for an existing file-system folder, modal to `owner`, under
// `title`. The folder's path ('/' separators, none at the end but for a
// drive root), or the empty text when the user cancels.
std::string BrowseForFolder(HWND owner, const std::string& title);

// The open-file dialog over .dbx files with multiple selection. The
// chosen files in the dialog's order ('/' separators); none when cancelled.
std::vector<std::string> OpenDbxFiles(HWND owner);

// Opens the help guide (help\guide.html beside the program) on its contents
// page in the user's browser.
void ShowHelp(HWND owner);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_WIN32_SHELL_WIN32_H_
