// Choosing the registry source in the Windows build: the system registry.
#include <stdlib.h>

#include "platform/registry/selection.h"
#include "platform/registry/system_source.h"

namespace registry {

std::string RegistrySelection::ToSpec() const {
  if (kind == Kind::kSystem) return "system";
  if (kind == Kind::kWinePrefix) return "wine:" + path;
  return "hive:" + path + (software_hive.empty() ? "" : "," + software_hive);
}

std::string DefaultWinePrefix() { return {}; }

Status ParseRegistrySpec(std::string_view spec, RegistrySelection* out) {
  if (!spec.empty() && spec != "system") {
    return Status::InvalidArgument("registry \"" + std::string(spec) +
                                   "\": the Windows build reads the system registry only");
  }
  RegistrySelection selection;
  selection.kind = RegistrySelection::Kind::kSystem;
  selection.code_page = out->code_page;
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
  if (selection.kind != RegistrySelection::Kind::kSystem) {
    return Status::InvalidArgument(selection.ToSpec() +
                                   ": the Windows build reads the system registry only");
  }
  std::unique_ptr<SystemRegistrySource> source;
  Status s = SystemRegistrySource::Open(&source);
  if (s.ok()) *out = std::move(source);
  return s;
}

}  // namespace registry
