// Outlook Express identity discovery.
#include "reader/model/discovery/identity_discovery.h"

#include <memory>

#include "platform/registry/text.h"

namespace kestrel {

using registry::AnsiRegistry;
using registry::RegistryKey;
using registry::RootKey;

namespace {

constexpr std::string_view kOutlookExpressKey = "Software\\Microsoft\\Outlook Express";
constexpr std::string_view kIdentitiesKey = "Identities";
constexpr std::string_view kIdentityOutlookExpress = "\\software\\microsoft\\Outlook Express";

// Removes leading and trailing spaces (only spaces, as the user name field
// is padded with them).
std::string TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return "";
  size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end - begin + 1));
}

// Registry identity key names compare without regard to case.
bool SameAsciiIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

class Discovery {
 public:
  explicit Discovery(const AnsiRegistry& registry)
      : registry_(registry), cp_(registry.code_page()) {}

  DiscoveryResult Run() {
    result_.source = registry_.source().Describe();
    result_.code_page = cp_.name();
    ReadRegValue(registry_, RootKey::kLocalMachine, kOutlookExpressKey, "MediaVer", &version_);
    ReadRegValue(registry_, RootKey::kCurrentUser, kIdentitiesKey, "Default User ID",
                 &default_id_);
    default_user_ = default_id_;
    std::unique_ptr<RegistryKey> identities;
    if (registry_.OpenKey(RootKey::kCurrentUser, kIdentitiesKey, &identities) ==
        registry::kErrorSuccess) {
      result_.identities_key_present = true;
      for (uint32_t index = 0;; ++index) {
        std::string id;
        int32_t rc = registry_.EnumKey(*identities, index, &id, kKeyNameBufferChars);
        if (rc == registry::kErrorMoreData) {
          Skip("(subkey " + std::to_string(index) + ")", "key name too long");
          continue;
        }
        if (rc != registry::kErrorSuccess) break;  // no more items, or the key failed
        ReadIdentity(id);
      }
    }
    result_.version_number = cp_.ToUtf8(version_);
    result_.default_user_id = cp_.ToUtf8(default_id_);
    result_.default_user = cp_.ToUtf8(default_user_);
    return std::move(result_);
  }

 private:
  void Skip(const std::string& ansi_id, std::string reason) {
    result_.skipped.push_back({cp_.ToUtf8(ansi_id), std::move(reason)});
  }

  void ReadIdentity(const std::string& id) {
    const std::string identity_path = std::string(kIdentitiesKey) + "\\" + id;
    std::unique_ptr<RegistryKey> identity_key;
    if (registry_.OpenKey(RootKey::kCurrentUser, identity_path, &identity_key) !=
        registry::kErrorSuccess) {
      return Skip(id, "identity key cannot be opened");
    }
    std::string name;
    uint32_t type = 0;
    switch (ReadRegValue(registry_, RootKey::kCurrentUser, identity_path, "UserName", &name,
                         &type)) {
      case RegReadResult::kRead:
        break;
      case RegReadResult::kUnreadable:
        return Skip(id, "no readable \"UserName\" value");
      case RegReadResult::kUnsupportedType:
        return Skip(id, "\"UserName\" is of value type " + std::to_string(type) +
                            ", not a string or number");
    }
    if (name.size() > kUserNameMaxChars) name.resize(kUserNameMaxChars);
    const std::string user_name = TrimSpaces(name);
    const bool is_default = !default_id_.empty() && SameAsciiIgnoringCase(default_id_, id);
    if (is_default) {
      default_user_ = user_name;
      result_.default_identity_seen = true;
    }

    const std::string oe_path = identity_path + std::string(kIdentityOutlookExpress);
    std::unique_ptr<RegistryKey> oe_key;
    if (registry_.OpenKey(RootKey::kCurrentUser, oe_path, &oe_key) != registry::kErrorSuccess) {
      return Skip(id, "no Outlook Express key");
    }
    std::string version_key;
    if (registry_.EnumKey(*oe_key, 0, &version_key, kKeyNameBufferChars) !=
        registry::kErrorSuccess) {
      return Skip(id, "no version key under its Outlook Express key");
    }
    const std::string v = oe_path + "\\" + version_key;

    IdentityRecord record;
    record.identity_id = cp_.ToUtf8(id);
    record.background_compact = ReadFlag(v, "Background Compaction");
    record.migration_done = ReadFlag(v, "Migration Done");
    record.oe_running = ReadFlag(v, "Running");
    std::string store;
    ReadRegValue(registry_, RootKey::kCurrentUser, v, "Store Root", &store);
    if (store.find('%') != std::string::npos) store = registry_.ExpandEnvironmentStrings(store);
    record.store_path = cp_.ToUtf8(store);
    if (!record.store_path.empty()) {
      std::string host;
      if (registry_.source().ToHostPath(record.store_path, &host).ok()) {
        record.store_host_path = std::move(host);
      }
    }
    record.user_name = cp_.ToUtf8(user_name);
    record.key = record.user_name;
    record.version_number = cp_.ToUtf8(version_);

    if (is_default) result_.default_identity = record;
    if (result_.Find(record.key) != nullptr) {
      return Skip(id, "user name \"" + record.key + "\" repeats an earlier identity's");
    }
    result_.identities.push_back(std::move(record));
  }

  bool ReadFlag(const std::string& path, std::string_view name) {
    std::string text;
    ReadRegValue(registry_, RootKey::kCurrentUser, path, name, &text);
    return FlagIsSet(text);
  }

  const AnsiRegistry& registry_;
  const registry::CodePage& cp_;
  DiscoveryResult result_;
  std::string version_;       // ANSI
  std::string default_id_;    // ANSI
  std::string default_user_;  // ANSI
};

}  // namespace

RegReadResult ReadRegValue(const AnsiRegistry& registry, RootKey root, std::string_view path,
                           std::string_view name, std::string* text, uint32_t* type) {
  std::unique_ptr<RegistryKey> key;
  if (registry.OpenKey(root, path, &key) != registry::kErrorSuccess) {
    text->clear();
    return RegReadResult::kUnreadable;
  }
  uint32_t value_type = 0;
  std::string data;
  if (registry.QueryValue(*key, name, &value_type, &data, kValueBufferBytes) !=
      registry::kErrorSuccess) {
    text->clear();
    return RegReadResult::kUnreadable;
  }
  if (type != nullptr) *type = value_type;
  switch (value_type) {
    case registry::kRegSz:
    case registry::kRegExpandSz: {
      // A string ends at its first NUL; anything stored after it is not text.
      size_t nul = data.find('\0');
      if (nul != std::string::npos) data.resize(nul);
      *text = std::move(data);
      return RegReadResult::kRead;
    }
    case registry::kRegDword: {
      if (data.empty()) {
        text->clear();
        return RegReadResult::kRead;
      }
      uint32_t value = 0;
      for (size_t i = 0; i < 4 && i < data.size(); ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
      }
      *text = std::to_string(static_cast<int32_t>(value));
      return RegReadResult::kRead;
    }
    default:
      return RegReadResult::kUnsupportedType;
  }
}

bool FlagIsSet(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return false;
  size_t end = text.find_last_not_of(" \t");
  text = text.substr(begin, end - begin + 1);
  if (text[0] == '+' || text[0] == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  bool non_zero = false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (c != '0') non_zero = true;
  }
  return non_zero;
}

bool IdentityKeysEqual(std::string_view a, std::string_view b) {
  return registry::EqualsIgnoreCase(a, b);
}

const IdentityRecord* DiscoveryResult::Find(std::string_view key) const {
  for (const IdentityRecord& record : identities) {
    if (IdentityKeysEqual(record.key, key)) return &record;
  }
  return nullptr;
}

bool DiscoveryResult::DefaultStore(std::string* store_path, std::string* store_host_path) const {
  const IdentityRecord* record = nullptr;
  if (default_identity.has_value()) {
    record = &*default_identity;
  } else if (!default_identity_seen && !default_user_id.empty()) {
    record = Find(default_user);  // "Default User ID" named no identity key
  }
  if (record == nullptr) return false;
  *store_path = record->store_path;
  if (store_host_path != nullptr) *store_host_path = record->store_host_path;
  return true;
}

DiscoveryResult DiscoverIdentities(const AnsiRegistry& registry) {
  return Discovery(registry).Run();
}

registry::Status DiscoverFromSelection(const registry::RegistrySelection& selection,
                                       DiscoveryResult* result) {
  std::unique_ptr<registry::CodePage> code_page;
  registry::Status s = registry::CodePage::Open(selection.code_page, &code_page);
  if (!s.ok()) return s;
  std::unique_ptr<registry::RegistrySource> source;
  s = registry::OpenRegistrySource(selection, &source);
  if (!s.ok()) return s;
  AnsiRegistry ansi(*source, *code_page);
  *result = DiscoverIdentities(ansi);
  return registry::Status::Ok();
}

registry::Status DiscoverFromEnvironment(DiscoveryResult* result) {
  registry::RegistrySelection selection;
  registry::Status s = registry::SelectionFromEnvironment(&selection);
  if (!s.ok()) return s;
  return DiscoverFromSelection(selection, result);
}

}  // namespace kestrel
