// The identities report behind `kestrel identities`: which registry was
// read, the Outlook Express version, the default user and store, and every
// identity with its store folder and flags (and the identity keys skipped).
//
// Options map to the registry choice as follows:
//   --wine-prefix DIR                      wine:DIR
//   --hive NTUSER.DAT [--software-hive S]  hive:NTUSER.DAT[,S]
//   neither                                KESTREL_REGISTRY, else $WINEPREFIX,
//                                          else ~/.wine (platform/registry/selection.h)
//   --codepage NAME                        the ANSI code page (else KESTREL_CODEPAGE,
//                                          else WINDOWS-1252)
#ifndef TOLLAN_READER_MODEL_DISCOVERY_PRINT_IDENTITIES_H_
#define TOLLAN_READER_MODEL_DISCOVERY_PRINT_IDENTITIES_H_

#include <ostream>
#include <string>

#include "platform/registry/selection.h"
#include "platform/registry/status.h"
#include "reader/model/discovery/identity_discovery.h"

namespace kestrel {

struct IdentitiesOptions {
  std::string wine_prefix;    // --wine-prefix
  std::string hive;           // --hive
  std::string software_hive;  // --software-hive (needs --hive)
  std::string code_page;      // --codepage; "" for the environment's or the default
};

// The registry choice the options make. InvalidArgument when they conflict
// (--wine-prefix with --hive, --software-hive without --hive).
registry::Status SelectionFromOptions(const IdentitiesOptions& options,
                                      registry::RegistrySelection* selection);

// Writes the report for `result`.
void PrintIdentities(const DiscoveryResult& result, std::ostream& out);

// Runs the whole subcommand: options -> registry -> discovery -> report on
// `out`; problems go to `err`. Returns the exit status: 0 on success, 1 when
// the registry cannot be opened, 2 for conflicting options.
int RunIdentitiesCommand(const IdentitiesOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_DISCOVERY_PRINT_IDENTITIES_H_
