// OEIdentity and OEIdentities: the Outlook Express identities of the current
// user, as discovery found them when the OE object was created.

#ifndef TOLLAN_READER_MODEL_OE_IDENTITIES_H_
#define TOLLAN_READER_MODEL_OE_IDENTITIES_H_

#include <string>
#include <utility>
#include <vector>

#include "reader/model/interfaces.h"
#include "reader/model/object_base.h"

namespace kestrel {

// One identity. Its six values are set once by OEIdentities::Add; only Key
// can be changed afterwards (it is a free field for the client and does not
// change the key the collection files the identity under).
class OEIdentity final : public DispatchObject<_OEIdentity> {
 public:
  struct Values {
    std::u16string key;
    std::u16string user_name;
    std::u16string store_path;
    std::u16string version_number;
    bool oe_running = false;
    bool background_compact = false;
    bool migration_done = false;
    // Where the store folder lies on this machine, when it differs from
    // store_path (a Windows path translated by discovery); "" when it does not.
    std::string store_host_path;
  };

  explicit OEIdentity(Values values);

  const Values& values() const { return values_; }
  void set_store_host_path(std::string path) { values_.store_host_path = std::move(path); }

  HRESULT COMCALL get_Key(BSTR* result) override;
  HRESULT COMCALL put_Key(BSTR value) override;
  HRESULT COMCALL get_StorePath(BSTR* result) override;
  HRESULT COMCALL get_VersionNumber(BSTR* result) override;
  HRESULT COMCALL get_MigrationDone(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_BackgroundCompact(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_UserName(BSTR* result) override;
  HRESULT COMCALL get_OERunning(VARIANT_BOOL* result) override;

 private:
  ~OEIdentity() override = default;
  Values values_;
};

// The identities in registry enumeration order, keyed by trimmed user name
// (keys compare without regard to case and are unique).
class OEIdentities final : public DispatchObject<_OEIdentities> {
 public:
  OEIdentities();

  // Appends a new identity under values.key; fails with error 457 when the
  // key is present already. On success *added (when given) receives a new
  // reference.
  HRESULT AddValues(OEIdentity::Values values, OEIdentity** added);
  // The identity filed under `key` (without regard to case), or null. No
  // reference is added.
  OEIdentity* Find(std::u16string_view key) const;
  // Where the store folder `store_path` (an identity's StorePath, compared
  // without regard to case and to a final "\") lies on this machine, when
  // discovery translated it; "" for any other folder.
  std::string HostFolderOf(std::u16string_view store_path) const;

  HRESULT COMCALL Add(BSTR* Key, VARIANT_BOOL* OERunning, BSTR* UserName,
                      VARIANT_BOOL* BackgroundCompact, VARIANT_BOOL* MigrationDone,
                      BSTR* StorePath, BSTR* VersionNumber, _OEIdentity** result) override;
  HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEIdentity** result) override;
  HRESULT COMCALL get_Count(LONG* result) override;
  HRESULT COMCALL get_NewEnum(IUnknown** result) override;

 private:
  ~OEIdentities() override;
  std::vector<std::pair<std::u16string, OEIdentity*>> items_;  // owned references
};

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OE_IDENTITIES_H_
