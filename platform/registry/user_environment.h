// Builds the environment of the user a registry belongs to from that
// registry: the machine's Environment key, the user's Shell Folders, the
// user's Environment and Volatile Environment keys, with defaults for the
// profile layout when the registry does not say.
#ifndef TOLLAN_PLATFORM_REGISTRY_USER_ENVIRONMENT_H_
#define TOLLAN_PLATFORM_REGISTRY_USER_ENVIRONMENT_H_

#include <string>
#include <string_view>

#include "platform/registry/environment.h"
#include "platform/registry/registry_source.h"

namespace registry {

// Where a profile keeps its application data when the registry does not say,
// relative to the profile folder.
struct ProfileLayout {
  std::string roaming_app_data;  // "AppData\\Roaming" or "Application Data"
  std::string local_app_data;    // "AppData\\Local" or "Local Settings\\Application Data"
};
ProfileLayout ModernProfileLayout();  // Vista and later, as Wine lays out its users
ProfileLayout LegacyProfileLayout();  // Windows 2000 / XP "Documents and Settings"

// Sets every value of root\path as a variable; values of type REG_EXPAND_SZ
// are expanded against `env` first. A missing key adds nothing.
void AddEnvironmentKey(const RegistrySource& source, RootKey root, std::string_view path,
                       Environment* env);

// Sets the machine variables (SystemRoot, windir, SystemDrive, ProgramFiles,
// ProgramData, ALLUSERSPROFILE, PUBLIC) from the machine keys, with defaults
// below `default_root` ("C:\\windows"), then the machine's Environment key.
void AddMachineEnvironment(const RegistrySource& source, const std::string& default_root,
                           Environment* env);

// Given USERPROFILE and USERNAME in `env`, sets HOMEDRIVE, HOMEPATH, APPDATA
// and LOCALAPPDATA (from the user's Shell Folders, else `layout`), then the
// user's Environment and Volatile Environment keys.
void AddUserEnvironment(const RegistrySource& source, const ProfileLayout& layout,
                        Environment* env);

// The profile folder the user's Shell Folders point into ("C:\\Documents and
// Settings\\bob\\Application Data" -> "C:\\Documents and Settings\\bob"), or "".
std::string ProfileFromShellFolders(const RegistrySource& source);

// The last component of a Windows path ("C:\\users\\bob" -> "bob").
std::string LastPathComponent(std::string_view path);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_USER_ENVIRONMENT_H_
