// The kestrel subcommands that work through the Kestrel component rather
// than the DBX reader directly: the type-library listing, registration of
// libkestrel, the identities report, and the object-model route of
// `folders` and `messages` (--object-model).
#ifndef TOLLAN_TOOLS_KESTREL_COM_COMMANDS_H_
#define TOLLAN_TOOLS_KESTREL_COM_COMMANDS_H_

#include <string>

#include <CLI/CLI.hpp>

namespace kestrel {

// kestrel typelib
void AddTypelibCommand(CLI::App& app, int* exit_code);
// kestrel register [LIBRARY] / kestrel unregister [LIBRARY]
void AddRegisterCommands(CLI::App& app, int* exit_code);
// kestrel identities [--wine-prefix DIR | --hive FILE [--software-hive FILE]] [--codepage NAME]
void AddIdentitiesCommand(CLI::App& app, int* exit_code);

// `folders` through a Kestrel.OE object created from the registered
// library: the same lines as the direct route.
int RunFoldersThroughObjectModel(const std::string& store_dir, bool inactive);
// `messages` through an OEFolder whose FolderFile names the file.
int RunMessagesThroughObjectModel(const std::string& file);

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_COM_COMMANDS_H_
