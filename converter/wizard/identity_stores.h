// The Outlook Express identities of one registry and their stores, as the
// reader component reports them: what `tollan-cli --list-identities` prints,
// what the wizard's options offer, and what a run over every identity
// converts.
//
// Typical use:
//   std::vector<IdentityStore> stores;
//   std::string current, why;
//   if (!ListIdentityStores(/*count_messages=*/true, &stores, &current, &why)) Fail(why);
//
// The registry is the one the reader reads (KESTREL_REGISTRY, see
// platform/registry/selection.h), chosen before the call.
#ifndef TOLLAN_CONVERTER_WIZARD_IDENTITY_STORES_H_
#define TOLLAN_CONVERTER_WIZARD_IDENTITY_STORES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tollan {

struct IdentityStore {
  std::string name;          // the identity's user name (its key in OEIdentities)
  std::string store_path;    // StorePath, as the registry's Windows names it
  std::string store_folder;  // where that folder lies on this machine
  // Messages its folder files hold (those their indexes reach, as a
  // conversion finds them), when counted and the store opened; -1 otherwise.
  int64_t messages = -1;
  // Empty when the store opened (or was not tried); else why it did not (a
  // folder that is gone, a missing Folders.dbx), for the user.
  std::string problem;
};

// The identities in the reader's order (registry enumeration order), each
// with its store folder and, when `count_messages`, its store opened and its
// messages counted. *current receives DefaultUser. False, with *why, only
// when the reader component cannot be created.
bool ListIdentityStores(bool count_messages, std::vector<IdentityStore>* out, std::string* current,
                        std::string* why);

// OpenStore's result for a store folder without a folder list (Folders.dbx).
inline constexpr long kStoreWithoutFolderList = 1001;

// Why a store did not open, for the user, from OpenStore's result code:
// "the store could not be opened (code 1001: no Folders.dbx there)".
std::string StoreOpenProblem(long code);

// The .dbx files directly in `folder`, by name: what a store folder whose
// folder list is missing still holds, converted file by file.
std::vector<std::string> FolderFilesIn(const std::string& folder);

// Opens `folder` as a store with a reader of its own and returns the number
// of messages its folder files hold (those of a folder without a folder
// list too), or -1 with *problem set.
int64_t CountStoreMessages(const std::string& folder, std::string* problem);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_IDENTITY_STORES_H_
