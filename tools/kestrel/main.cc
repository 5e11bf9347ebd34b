// kestrel: reads Outlook Express stores from the command line.
#include <CLI/CLI.hpp>

#include "tools/kestrel/com_commands.h"
#include "tools/kestrel/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"kestrel - read Outlook Express DBX stores"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "kestrel " TOLLAN_VERSION);
  int exit_code = 0;
  kestrel::AddFoldersCommand(app, &exit_code);
  kestrel::AddMessagesCommand(app, &exit_code);
  kestrel::AddExportCommand(app, &exit_code);
  kestrel::AddRecoverCommand(app, &exit_code);
  kestrel::AddTypelibCommand(app, &exit_code);
  kestrel::AddRegisterCommands(app, &exit_code);
  kestrel::AddIdentitiesCommand(app, &exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return exit_code;
}
