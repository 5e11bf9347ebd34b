// The Outlook Express stores of an old Windows disk: every profile's
// NTUSER.DAT, every identity in it with its store folder (its "Store Root"
// expanded against that profile, not against the running system), and the
// folders of .dbx files that no identity points to (backups, copies).
//
// Typical use:
//   OldDisk disk;
//   std::string why;
//   if (!SurveyOldDisk("/mnt/old", &disk, &why)) Fail(why);
//   StoreListSource source(&page, disk.Stores(), /*one_pst=*/false, env);
//
// Read-only on the disk. The survey reads each profile's hive through the
// reader component and so sets KESTREL_REGISTRY for the process while it
// runs (restored afterwards).
#ifndef TOLLAN_CONVERTER_WIZARD_OLD_DISK_H_
#define TOLLAN_CONVERTER_WIZARD_OLD_DISK_H_

#include <string>
#include <vector>

#include "converter/wizard/identity_stores.h"
#include "converter/wizard/store_list_source.h"

namespace tollan {

struct OldDiskProfile {
  std::string name;    // the profile folder's name ("bob")
  std::string ntuser;  // its NTUSER.DAT
  std::vector<IdentityStore> identities;
  std::string problem;  // why its hive could not be read; "" when it was
};

struct OldDisk {
  std::string profiles_folder;  // "Documents and Settings" or "Users" (or DIR itself)
  std::vector<OldDiskProfile> profiles;
  // Folders holding .dbx files that no identity's store folder is, with the
  // name their .pst gets (their path below DIR, "/" read as " - ").
  std::vector<NamedStore> strays;

  // Every store to convert: each identity's ("PROFILE - IDENTITY"), then the
  // strays.
  std::vector<NamedStore> Stores() const;
};

// Surveys `dir`: the root of a mounted disk, or its "Documents and Settings"
// or "Users" folder. False, with *why, when `dir` is not a folder.
bool SurveyOldDisk(const std::string& dir, OldDisk* out, std::string* why);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_OLD_DISK_H_
