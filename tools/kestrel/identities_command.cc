// kestrel identities: the Outlook Express identities of the registry that
// the options (or KESTREL_REGISTRY) select, as an OE object would see them.
#include <iostream>
#include <memory>

#include "reader/model/discovery/print_identities.h"
#include "tools/kestrel/com_commands.h"

namespace kestrel {

void AddIdentitiesCommand(CLI::App& app, int* exit_code) {
  auto opt = std::make_shared<IdentitiesOptions>();
  CLI::App* cmd = app.add_subcommand("identities", "List the Outlook Express identities");
  cmd->add_option("--wine-prefix", opt->wine_prefix, "Read the registry of this Wine prefix");
  cmd->add_option("--hive", opt->hive, "Read this offline user hive (NTUSER.DAT)");
  cmd->add_option("--software-hive", opt->software_hive, "...and this machine SOFTWARE hive");
  cmd->add_option("--codepage", opt->code_page, "ANSI code page of the registry texts");
  cmd->callback([opt, exit_code] { *exit_code = RunIdentitiesCommand(*opt, std::cout, std::cerr); });
}

}  // namespace kestrel
