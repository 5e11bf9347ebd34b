// Which registry Kestrel reads. The object model has no setting of its own
// for it, so it is chosen outside, by environment variables read when a
// source is opened:
//
//   KESTREL_REGISTRY=wine:DIR                 the Wine prefix folder DIR
//   KESTREL_REGISTRY=hive:NTUSER.DAT          an offline user hive (HKCU)
//   KESTREL_REGISTRY=hive:NTUSER.DAT,SOFTWARE ...plus the machine's SOFTWARE
//                                             hive (HKLM\Software); the first
//                                             comma separates the two paths
//   KESTREL_REGISTRY unset or empty           the Wine prefix $WINEPREFIX,
//                                             else $HOME/.wine
//   (Windows build: KESTREL_REGISTRY unset,
//    empty or "system")                      the registry of the running
//                                             Windows, and nothing else
//   KESTREL_CODEPAGE=NAME                     the ANSI code page of the "A"
//                                             calls, as iconv names it;
//                                             default WINDOWS-1252
//
// Tools that take the choice on their command line (--wine-prefix DIR,
// --hive NTUSER.DAT, --software-hive SOFTWARE) fill a RegistrySelection
// themselves instead.
#ifndef TOLLAN_PLATFORM_REGISTRY_SELECTION_H_
#define TOLLAN_PLATFORM_REGISTRY_SELECTION_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/registry_source.h"
#include "platform/registry/status.h"
#include "platform/registry/text.h"

namespace registry {

struct RegistrySelection {
  // kSystem: the registry of the running Windows (Windows builds only).
  enum class Kind { kWinePrefix, kHive, kSystem };
  Kind kind = Kind::kWinePrefix;
  std::string path;           // the prefix folder, or the NTUSER.DAT file
  std::string software_hive;  // optional SOFTWARE hive (kHive only)
  std::string code_page = CodePage::kDefaultName;

  // "wine:DIR" or "hive:NTUSER.DAT[,SOFTWARE]", the form KESTREL_REGISTRY takes.
  std::string ToSpec() const;
};

// The Wine prefix used when nothing is chosen: $WINEPREFIX, else $HOME/.wine.
std::string DefaultWinePrefix();

// Parses the KESTREL_REGISTRY form; an empty spec selects DefaultWinePrefix().
Status ParseRegistrySpec(std::string_view spec, RegistrySelection* out);

// Reads KESTREL_REGISTRY and KESTREL_CODEPAGE.
Status SelectionFromEnvironment(RegistrySelection* out);

// Opens the chosen source.
Status OpenRegistrySource(const RegistrySelection& selection,
                          std::unique_ptr<RegistrySource>* out);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_SELECTION_H_
