// Choosing the registry source from the environment.
#include "platform/registry/selection.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/registry/hive_source.h"
#include "platform/registry/wine_source.h"

namespace registry {

std::string RegistrySelection::ToSpec() const {
  if (kind == Kind::kWinePrefix) return "wine:" + path;
  return "hive:" + path + (software_hive.empty() ? "" : "," + software_hive);
}

std::string DefaultWinePrefix() {
  if (const char* prefix = getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  const char* home = getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const struct passwd* pw = getpwuid(getuid());
    home = pw != nullptr ? pw->pw_dir : "";
  }
  return std::string(home) + "/.wine";
}

Status ParseRegistrySpec(std::string_view spec, RegistrySelection* out) {
  RegistrySelection selection;
  selection.code_page = out->code_page;
  if (spec.empty()) {
    selection.path = DefaultWinePrefix();
  } else if (spec.substr(0, 5) == "wine:") {
    selection.path = std::string(spec.substr(5));
    if (selection.path.empty()) return Status::InvalidArgument("\"wine:\" names no prefix folder");
  } else if (spec.substr(0, 5) == "hive:") {
    selection.kind = RegistrySelection::Kind::kHive;
    std::string_view rest = spec.substr(5);
    size_t comma = rest.find(',');
    selection.path = std::string(rest.substr(0, comma));
    if (comma != std::string_view::npos) selection.software_hive = std::string(rest.substr(comma + 1));
    if (selection.path.empty()) return Status::InvalidArgument("\"hive:\" names no NTUSER.DAT file");
  } else {
    return Status::InvalidArgument("registry \"" + std::string(spec) +
                                   "\": expected wine:DIR or hive:NTUSER.DAT[,SOFTWARE]");
  }
  *out = std::move(selection);
  return Status::Ok();
}

Status SelectionFromEnvironment(RegistrySelection* out) {
  RegistrySelection selection;
  if (const char* cp = getenv("KESTREL_CODEPAGE"); cp != nullptr && *cp != '\0') {
    selection.code_page = cp;
  }
  const char* spec = getenv("KESTREL_REGISTRY");
  Status s = ParseRegistrySpec(spec != nullptr ? spec : "", &selection);
  if (!s.ok()) return Status::InvalidArgument("KESTREL_REGISTRY: " + s.message());
  *out = std::move(selection);
  return Status::Ok();
}

Status OpenRegistrySource(const RegistrySelection& selection,
                          std::unique_ptr<RegistrySource>* out) {
  if (selection.kind == RegistrySelection::Kind::kWinePrefix) {
    std::unique_ptr<WineRegistrySource> wine;
    Status s = WineRegistrySource::Open(selection.path, &wine);
    if (s.ok()) *out = std::move(wine);
    return s;
  }
  std::unique_ptr<HiveRegistrySource> hive;
  Status s = HiveRegistrySource::Open(selection.path, selection.software_hive, &hive);
  if (s.ok()) *out = std::move(hive);
  return s;
}

}  // namespace registry
