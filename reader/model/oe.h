// OE: the top-level object of the Kestrel component. It holds the
// identities found when it was created, the store directory (shared with
// every object of the thread) and the folders of the last OpenStore or
// OpenFolder.

#ifndef TOLLAN_READER_MODEL_OE_H_
#define TOLLAN_READER_MODEL_OE_H_

#include <string>

#include "reader/model/discovery/identity_discovery.h"
#include "reader/model/interfaces.h"
#include "reader/model/object_base.h"

namespace kestrel {

class OEFolders;
class OEIdentities;
class OEIdentity;

class OE final : public DispatchObject<_OE> {
 public:
  // Runs identity discovery on the registry source the environment selects
  // (KESTREL_REGISTRY). A source that cannot be opened gives no identities.
  OE();
  // Takes the identities from a discovery already run.
  explicit OE(const DiscoveryResult& discovery);

  HRESULT COMCALL get_OEIdentities(_OEIdentities** result) override;
  // The current folder collection; none before the first OpenStore/OpenFolder.
  HRESULT COMCALL get_OEFolders(_OEFolders** result) override;
  // Stores vDir as the store directory of the thread, with "\" appended when
  // it does not end in "\".
  HRESULT COMCALL put_OEStore(BSTR* vDir) override;
  HRESULT COMCALL get_OEStore(BSTR* result) override;
  HRESULT COMCALL get_DefaultUser(BSTR* result) override;
  // StorePath of the identity filed under DefaultUser; error 5 when none is.
  HRESULT COMCALL get_DefaultStore(BSTR* result) override;
  // Makes OEFolders a collection of one folder, the file sFoldername of the
  // store directory (".dbx" is appended to the caller's variable when the
  // name does not end in it), opened and listed. Returns the folder's own
  // OpenFolder result; 1001, with OEFolders none, when there is no such file.
  HRESULT COMCALL OpenFolder(BSTR* sFoldername, VARIANT_BOOL* bLock, LONG* result) override;
  // Fills OEFolders from folders.dbx of the store directory (falling back to
  // DefaultStore when none is set). Results: 0; 1000 folders.dbx not found
  // and the look-up failed or no store directory could be had; 1001 not
  // found; 1002 not a folder list; 1003 permission denied or locked; another
  // number: the error of the failed open.
  HRESULT COMCALL OpenStore(VARIANT_BOOL* bInactive, VARIANT_BOOL* bLock, LONG* result) override;

 private:
  ~OE() override;
  void TakeIdentities(const DiscoveryResult& discovery);
  void DropFolders();

  OEIdentities* identities_ = nullptr;  // owned reference
  OEFolders* folders_ = nullptr;        // owned reference; none until a store or folder is opened
  std::u16string default_user_;
  // The default identity's store as discovery found it, taken from that
  // identity itself (not from an earlier identity of the same user name).
  bool has_default_store_ = false;
  std::u16string default_store_path_;
  std::string default_store_host_;
};

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OE_H_
