// A test hook of the Windows pages: when the environment variable
// TOLLAN_WIZARD_SCRIPT names a file, the wizard plays its lines, one at a
// time, on a timer of the user-interface thread, as a user would act:
//
//   click NAME         a click on the control NAME (its IDC_ name) of the
//                      window that takes input now (a page, the options)
//   folder PATH        the folder browser's next answer
//   files PATH|PATH    the file picker's next answer
//   wait NAME          waits until a window that takes input has NAME
//   box                waits until a message box is up
//   press ok|yes|no    answers the message box that is up
//   settle             presses OK on each message box that comes up, until
//                      none has for two seconds
//   shot NAME          makes the file SCRIPT.NAME and waits until it is
//                      gone (a screenshot is taken meanwhile)
//
// Each line played is appended to SCRIPT.log; a line that cannot be played
// within two minutes ends the program with status 3. Nothing of this runs
// without the variable.
#ifndef TOLLAN_CONVERTER_WIZARD_WIN32_TEST_SCRIPT_H_
#define TOLLAN_CONVERTER_WIZARD_WIN32_TEST_SCRIPT_H_

#include <string>
#include <vector>

namespace tollan {

// Starts the script named by TOLLAN_WIZARD_SCRIPT, when it is set.
void StartTestScript();

// The scripted answer of the next folder browser or file picker; false
// when the script gave none (the real dialog is shown).
bool ScriptedFolder(std::string* folder);
bool ScriptedFiles(std::vector<std::string>* files);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_WIN32_TEST_SCRIPT_H_
