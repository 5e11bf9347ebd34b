// The environment of a registry's user, derived from that registry.
#include "platform/registry/user_environment.h"

#include "platform/registry/host_path.h"
#include "platform/registry/text.h"
#include "platform/text/utf.h"

namespace registry {

namespace {

constexpr std::string_view kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::string_view kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::string_view kSessionEnvironment =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr std::string_view kProfileList =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string JoinWindows(const std::string& base, std::string_view rest) {
  if (base.empty()) return std::string(rest);
  if (base.back() == '\\' || base.back() == '/') return base + std::string(rest);
  return base + "\\" + std::string(rest);
}

// A registry string value, expanded against `env`; "" when missing or when
// the expansion still names an unknown variable.
std::string ReadExpanded(const RegistrySource& source, RootKey root, std::string_view path,
                         std::string_view name, const Environment& env) {
  std::string value;
  if (!ReadStringValue(source, root, path, name, &value)) return "";
  std::string expanded = env.Expand(value);
  if (expanded.find('%') != std::string::npos) return "";
  return expanded;
}

// A profile folder from the user's shell folders: the expandable one first,
// then the absolute one, else `fallback` below USERPROFILE.
std::string ShellFolder(const RegistrySource& source, const Environment& env,
                        std::string_view name, const std::string& fallback) {
  std::string value = ReadExpanded(source, RootKey::kCurrentUser, kUserShellFolders, name, env);
  if (value.empty()) {
    ReadStringValue(source, RootKey::kCurrentUser, kShellFolders, name, &value);
  }
  if (value.empty()) value = JoinWindows(env.GetOr("USERPROFILE"), fallback);
  return value;
}

}  // namespace

ProfileLayout ModernProfileLayout() { return {"AppData\\Roaming", "AppData\\Local"}; }
ProfileLayout LegacyProfileLayout() {
  return {"Application Data", "Local Settings\\Application Data"};
}

void AddEnvironmentKey(const RegistrySource& source, RootKey root, std::string_view path,
                       Environment* env) {
  std::unique_ptr<RegistryKey> key;
  if (!source.OpenKey(root, path, &key).ok()) return;
  RawValue value;
  for (size_t i = 0; key->ValueAt(i, &value); ++i) {
    if (value.name.empty() || (value.type != kRegSz && value.type != kRegExpandSz)) continue;
    std::u16string text = LeBytesToUtf16(value.data);
    size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    std::string utf8 = text::Utf16ToUtf8(text);
    env->Set(value.name, value.type == kRegExpandSz ? env->Expand(utf8) : utf8);
  }
}

void AddMachineEnvironment(const RegistrySource& source, const std::string& default_root,
                           Environment* env) {
  std::string root;
  if (!ReadStringValue(source, RootKey::kLocalMachine,
                       "Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", &root) ||
      root.empty()) {
    root = default_root;
  }
  env->Set("SystemRoot", root);
  env->Set("windir", root);
  std::string drive = HasDriveLetter(root) ? root.substr(0, 2) : "C:";
  env->Set("SystemDrive", drive);

  std::string program_files;
  if (!ReadStringValue(source, RootKey::kLocalMachine,
                       "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                       &program_files) ||
      program_files.empty()) {
    program_files = drive + "\\Program Files";
  }
  env->Set("ProgramFiles", program_files);

  std::string data =
      ReadExpanded(source, RootKey::kLocalMachine, kProfileList, "ProgramData", *env);
  if (!data.empty()) {
    env->Set("ProgramData", data);
    env->Set("ALLUSERSPROFILE", data);
  }
  std::string all_users =
      ReadExpanded(source, RootKey::kLocalMachine, kProfileList, "AllUsersProfile", *env);
  if (!all_users.empty() && data.empty()) {
    std::string profiles =
        ReadExpanded(source, RootKey::kLocalMachine, kProfileList, "ProfilesDirectory", *env);
    if (!profiles.empty()) env->Set("ALLUSERSPROFILE", JoinWindows(profiles, all_users));
  }
  std::string public_dir =
      ReadExpanded(source, RootKey::kLocalMachine, kProfileList, "Public", *env);
  if (!public_dir.empty()) env->Set("PUBLIC", public_dir);

  AddEnvironmentKey(source, RootKey::kLocalMachine, kSessionEnvironment, env);
}

void AddUserEnvironment(const RegistrySource& source, const ProfileLayout& layout,
                        Environment* env) {
  std::string profile = env->GetOr("USERPROFILE");
  if (HasDriveLetter(profile)) {
    env->Set("HOMEDRIVE", profile.substr(0, 2));
    env->Set("HOMEPATH", profile.size() > 2 ? profile.substr(2) : "\\");
  }
  env->Set("APPDATA", ShellFolder(source, *env, "AppData", layout.roaming_app_data));
  env->Set("LOCALAPPDATA", ShellFolder(source, *env, "Local AppData", layout.local_app_data));
  AddEnvironmentKey(source, RootKey::kCurrentUser, "Environment", env);
  AddEnvironmentKey(source, RootKey::kCurrentUser, "Volatile Environment", env);
}

std::string ProfileFromShellFolders(const RegistrySource& source) {
  static const struct {
    std::string_view value;
    std::string_view suffix;
  } kHints[] = {
      {"AppData", "\\AppData\\Roaming"},
      {"AppData", "\\Application Data"},
      {"Local AppData", "\\AppData\\Local"},
      {"Local AppData", "\\Local Settings\\Application Data"},
      {"Desktop", "\\Desktop"},
  };
  for (const auto& hint : kHints) {
    std::string path;
    if (ReadStringValue(source, RootKey::kCurrentUser, kShellFolders, hint.value, &path) &&
        EndsWithIgnoringCase(path, hint.suffix) && path.size() > hint.suffix.size()) {
      return path.substr(0, path.size() - hint.suffix.size());
    }
  }
  return "";
}

std::string LastPathComponent(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  size_t sep = path.find_last_of("\\/");
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

}  // namespace registry
