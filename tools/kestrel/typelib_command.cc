// kestrel typelib: prints the Kestrel type library (classes, identities and
// every member with its dispatch identifier), from the component's table.
#include <cstdio>

#include "reader/model/type_library_listing.h"
#include "tools/kestrel/com_commands.h"

namespace kestrel {

void AddTypelibCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("typelib", "List the Kestrel type library");
  cmd->callback([exit_code] {
    std::fputs(FormatTypeLibrary(KestrelLibrary()).c_str(), stdout);
    *exit_code = 0;
  });
}

}  // namespace kestrel
