// HiveRegistrySource: the registry of an old Windows installation read from
// its hive files, opened read-only: a user's NTUSER.DAT as HKEY_CURRENT_USER
// and, optionally, the machine's SOFTWARE hive as HKEY_LOCAL_MACHINE\Software
// (other machine keys are absent). %USERPROFILE% is the host folder that holds
// NTUSER.DAT; %APPDATA% and %LOCALAPPDATA% come from the hive's shell folders
// or else follow the Windows 2000/XP profile layout below it.
#ifndef TOLLAN_PLATFORM_REGISTRY_HIVE_SOURCE_H_
#define TOLLAN_PLATFORM_REGISTRY_HIVE_SOURCE_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/registry_source.h"

struct hive_h;

namespace registry {

class HiveRegistrySource : public RegistrySource {
 public:
  // Opens `ntuser` and, when not empty, `software`. A file that cannot be
  // opened or is not a hive fails with a message naming it.
  static Status Open(const std::string& ntuser, const std::string& software,
                     std::unique_ptr<HiveRegistrySource>* out);
  ~HiveRegistrySource() override;
  HiveRegistrySource(const HiveRegistrySource&) = delete;
  HiveRegistrySource& operator=(const HiveRegistrySource&) = delete;

  Status OpenKey(RootKey root, std::string_view path,
                 std::unique_ptr<RegistryKey>* key) const override;
  const Environment& environment() const override { return env_; }
  // Paths below the profile the hive's own Windows used (from its shell
  // folders, else "X:\Documents and Settings\<name of the host profile
  // folder>") map below the host profile folder; other paths on the system
  // drive map below the host folder that holds "Documents and Settings" (or
  // "Users"), when the hive lies in such a tree; host paths resolve as they are.
  Status ToHostPath(std::string_view windows_path, std::string* host_path) const override;
  std::string Describe() const override;

  // The profile folder as the hive's Windows knew it ("C:\\Documents and
  // Settings\\bob"), or "" when its shell folders do not say.
  const std::string& windows_profile() const { return windows_profile_; }

 private:
  HiveRegistrySource() = default;
  void BuildEnvironment();
  std::string GuessDriveRoot() const;

  hive_h* user_ = nullptr;
  hive_h* software_ = nullptr;
  std::string ntuser_path_;
  std::string software_path_;
  std::string profile_dir_;
  std::string windows_profile_;
  Environment env_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_HIVE_SOURCE_H_
