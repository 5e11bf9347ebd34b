// The subcommands of the kestrel tool. Each Add*Command registers one
// subcommand on the application; when it runs, its callback stores the
// process exit status in *exit_code.
#ifndef TOLLAN_TOOLS_KESTREL_COMMANDS_H_
#define TOLLAN_TOOLS_KESTREL_COMMANDS_H_

#include <string>

#include <CLI/CLI.hpp>

namespace kestrel {

void AddFoldersCommand(CLI::App& app, int* exit_code);
void AddMessagesCommand(CLI::App& app, int* exit_code);
void AddExportCommand(CLI::App& app, int* exit_code);
void AddRecoverCommand(CLI::App& app, int* exit_code);

// Prints "kestrel: <message>" on stderr and returns the failure exit status.
int Fail(const std::string& message);

// Splits a file path into its directory ("." when it has none) and its name;
// on Windows at "\" as well as "/".
void SplitPath(const std::string& path, std::string* dir, std::string* name);

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_COMMANDS_H_
