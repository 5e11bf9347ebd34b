// kestrel typelib: prints the Kestrel type library (classes, identities and
// every member with its dispatch identifier), from the component's table.
#include <cstdio>
#include <memory>

#include "reader/model/type_library_idl.h"
#include "reader/model/type_library_listing.h"
#include "tools/kestrel/com_commands.h"

namespace kestrel {

void AddTypelibCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("typelib", "List the Kestrel type library");
  auto idl = std::make_shared<bool>(false);
  cmd->add_flag("--idl", *idl, "Print it as the IDL source of kestrel.dll's type library");
  cmd->callback([exit_code, idl] {
    const LibraryInfo& library = KestrelLibrary();
    std::fputs((*idl ? FormatIdl(library) : FormatTypeLibrary(library)).c_str(), stdout);
    *exit_code = 0;
  });
}

}  // namespace kestrel
