// Discovery of the Outlook Express identities of one Windows user: the
// installed version, the identity Outlook Express starts with, and for each
// identity its user name, its store folder (the directory of its .dbx files)
// and three state flags. It reads the registry once, through the ANSI
// registry calls, and returns plain values; the OE object model wraps them.
//
// Registry locations (all read-only):
//   HKLM\Software\Microsoft\Outlook Express          "MediaVer"
//   HKCU\Identities                                  "Default User ID", one subkey per identity
//   HKCU\Identities\<id>                             "UserName"
//   HKCU\Identities\<id>\software\microsoft\Outlook Express\<first subkey>
//        "Background Compaction", "Migration Done", "Running", "Store Root"
#ifndef TOLLAN_READER_MODEL_DISCOVERY_IDENTITY_DISCOVERY_H_
#define TOLLAN_READER_MODEL_DISCOVERY_IDENTITY_DISCOVERY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/ansi_registry.h"
#include "platform/registry/selection.h"
#include "platform/registry/status.h"

namespace kestrel {

// Buffer limits of the registry reads.
constexpr size_t kValueBufferBytes = 1024;   // a value's data
constexpr size_t kKeyNameBufferChars = 512;  // an enumerated key name
constexpr size_t kUserNameMaxChars = 255;    // a user name is cut to this length

enum class RegReadResult {
  kRead,             // `text` holds the value
  kUnreadable,       // key or value missing, or data over kValueBufferBytes; `text` is ""
  kUnsupportedType,  // a type other than string or 32-bit number; `text` is unchanged
};

// Reads root\path\name as ANSI text: REG_SZ and REG_EXPAND_SZ give their text
// up to the first NUL, not expanded; REG_DWORD gives the decimal digits of
// the value read as a signed 32-bit number (4294967295 reads as "-1"). A
// value with no data reads as "". `type`, when given, receives the value type.
RegReadResult ReadRegValue(const registry::AnsiRegistry& registry, registry::RootKey root,
                           std::string_view path, std::string_view name, std::string* text,
                           uint32_t* type = nullptr);

// How a flag's text reads: true when it is a whole number (optional sign,
// decimal digits, blanks around) other than zero. Empty text, letters and
// fractions read as false.
bool FlagIsSet(std::string_view text);

// True when two identity keys are the same entry of the identity collection:
// equal without regard to case.
bool IdentityKeysEqual(std::string_view a, std::string_view b);

// One identity. Text is UTF-8, converted from the ANSI code page.
struct IdentityRecord {
  std::string identity_id;      // name of the identity's key, e.g. "{0A1B...}"
  std::string key;              // the trimmed user name; the collection key
  std::string user_name;        // the same text as `key`
  std::string store_path;       // "Store Root", environment variables expanded
  std::string store_host_path;  // store_path as a path of this machine; "" if untranslatable
  std::string version_number;   // "MediaVer"; the same in every identity
  bool oe_running = false;
  bool background_compact = false;
  bool migration_done = false;
};

// An identity key that did not become an entry, and why.
struct SkippedIdentity {
  std::string identity_id;
  std::string reason;
};

struct DiscoveryResult {
  std::string source;           // where the keys came from (RegistrySource::Describe)
  std::string code_page;        // the ANSI code page the values passed through
  std::string version_number;   // "MediaVer", "" when unreadable
  std::string default_user_id;  // "Default User ID" as read, "" when unreadable
  // DefaultUser: the trimmed user name of the default identity when its key
  // was found, else default_user_id.
  std::string default_user;
  bool identities_key_present = false;
  // The entries in enumeration order; keys are unique without regard to case.
  std::vector<IdentityRecord> identities;
  std::vector<SkippedIdentity> skipped;
  // The default identity itself, found by its key name, when it had every
  // setting an entry needs. Set even when its user name repeated an earlier
  // identity's and it was left out of `identities`.
  std::optional<IdentityRecord> default_identity;
  // True when the default identity's key was found and its user name read.
  bool default_identity_seen = false;

  // The entry whose key equals `key` without regard to case, or null.
  const IdentityRecord* Find(std::string_view key) const;

  // DefaultStore: the store folder of the default identity. False when there
  // is none (no default identity, or it was skipped); the object model fails
  // the read with error 5 (invalid argument) then.
  bool DefaultStore(std::string* store_path, std::string* store_host_path = nullptr) const;
};

// Runs discovery against `registry`. Never fails: what cannot be read is
// empty, false or skipped (see `skipped`).
DiscoveryResult DiscoverIdentities(const registry::AnsiRegistry& registry);

// Opens the source `selection` names and runs discovery. Fails only when the
// source or its code page cannot be opened.
registry::Status DiscoverFromSelection(const registry::RegistrySelection& selection,
                                       DiscoveryResult* result);

// The same for the source the environment selects (KESTREL_REGISTRY,
// KESTREL_CODEPAGE; see platform/registry/selection.h). This is what an OE
// object runs when it is created.
registry::Status DiscoverFromEnvironment(DiscoveryResult* result);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_DISCOVERY_IDENTITY_DISCOVERY_H_
