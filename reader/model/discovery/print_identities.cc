// The identities report.
#include "reader/model/discovery/print_identities.h"

namespace kestrel {

registry::Status SelectionFromOptions(const IdentitiesOptions& options,
                                      registry::RegistrySelection* selection) {
  using registry::Status;
  if (!options.wine_prefix.empty() && !options.hive.empty()) {
    return Status::InvalidArgument("--wine-prefix and --hive exclude each other");
  }
  if (!options.software_hive.empty() && options.hive.empty()) {
    return Status::InvalidArgument("--software-hive needs --hive");
  }
  registry::RegistrySelection chosen;
  if (!options.wine_prefix.empty()) {
    chosen.path = options.wine_prefix;
  } else if (!options.hive.empty()) {
    chosen.kind = registry::RegistrySelection::Kind::kHive;
    chosen.path = options.hive;
    chosen.software_hive = options.software_hive;
  } else {
    Status s = registry::SelectionFromEnvironment(&chosen);
    if (!s.ok()) return s;
  }
  if (!options.wine_prefix.empty() || !options.hive.empty()) {
    registry::RegistrySelection from_env;
    if (registry::SelectionFromEnvironment(&from_env).ok()) chosen.code_page = from_env.code_page;
  }
  if (!options.code_page.empty()) chosen.code_page = options.code_page;
  *selection = std::move(chosen);
  return Status::Ok();
}

namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

std::string OrNone(const std::string& text) { return text.empty() ? "(none)" : text; }

}  // namespace

void PrintIdentities(const DiscoveryResult& result, std::ostream& out) {
  out << "Registry:        " << result.source << "\n";
  out << "Code page:       " << result.code_page << "\n";
  out << "Outlook Express: " << OrNone(result.version_number) << "\n";
  out << "Default user:    " << OrNone(result.default_user) << "\n";
  std::string store, host;
  if (result.DefaultStore(&store, &host)) {
    out << "Default store:   " << OrNone(store) << "\n";
    if (!host.empty()) out << "  on this host:  " << host << "\n";
  } else {
    out << "Default store:   (none: no usable default identity)\n";
  }
  if (!result.identities_key_present) {
    out << "Identities:      none (no Identities key)\n";
    return;
  }
  out << "Identities:      " << result.identities.size() << "\n";
  int n = 0;
  for (const IdentityRecord& id : result.identities) {
    out << "  " << ++n << ". " << id.user_name << "\n";
    out << "     id:           " << id.identity_id << "\n";
    out << "     store:        " << OrNone(id.store_path) << "\n";
    if (!id.store_host_path.empty()) out << "     on this host: " << id.store_host_path << "\n";
    out << "     running: " << YesNo(id.oe_running)
        << ", background compaction: " << YesNo(id.background_compact)
        << ", migration done: " << YesNo(id.migration_done) << "\n";
  }
  for (const SkippedIdentity& skipped : result.skipped) {
    out << "  skipped " << skipped.identity_id << ": " << skipped.reason << "\n";
  }
}

int RunIdentitiesCommand(const IdentitiesOptions& options, std::ostream& out,
                         std::ostream& err) {
  registry::RegistrySelection selection;
  registry::Status s = SelectionFromOptions(options, &selection);
  if (!s.ok()) {
    err << "kestrel identities: " << s.message() << "\n";
    return 2;
  }
  DiscoveryResult result;
  s = DiscoverFromSelection(selection, &result);
  if (!s.ok()) {
    err << "kestrel identities: cannot read the registry (" << selection.ToSpec()
        << "): " << s.ToString() << "\n";
    return 1;
  }
  PrintIdentities(result, out);
  return 0;
}

}  // namespace kestrel
