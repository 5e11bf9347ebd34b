// The registry of a Wine prefix.
#include "platform/registry/wine_source.h"

#include <dirent.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/registry/host_path.h"
#include "platform/registry/text.h"
#include "platform/registry/user_environment.h"
#include "platform/text/utf.h"

namespace registry {

namespace {

// Link chains longer than this are taken as a loop.
constexpr int kMaxLinkHops = 16;

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads a whole registry file; a missing file reads as "" with *present false.
Status ReadRegistryFile(const std::string& path, std::string* text, bool* present) {
  *present = false;
  text->clear();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return Status::Ok();
    return Status::IoError(path + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) return Status::IoError(path + ": not a regular file");
  if (static_cast<unsigned long long>(st.st_size) > WineRegistrySource::kMaxFileSize) {
    return Status::IoError(path + ": larger than " +
                           std::to_string(WineRegistrySource::kMaxFileSize >> 20) + " MiB");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::IoError(path + ": cannot open for reading");
  text->resize(static_cast<size_t>(st.st_size));
  in.read(text->data(), static_cast<std::streamsize>(text->size()));
  if (in.gcount() != static_cast<std::streamsize>(text->size())) {
    return Status::IoError(path + ": short read");
  }
  *present = true;
  return Status::Ok();
}

}  // namespace

Status WineRegistrySource::Open(const std::string& prefix,
                                std::unique_ptr<WineRegistrySource>* out) {
  if (!IsDirectory(prefix)) return Status::NotFound("Wine prefix folder " + prefix);
  std::string user, system;
  bool present = false;
  Status s = ReadRegistryFile(prefix + "/user.reg", &user, &present);
  if (!s.ok()) return s;
  if (!present) user = "WINE REGISTRY Version 2\n";
  s = ReadRegistryFile(prefix + "/system.reg", &system, &present);
  if (!s.ok()) return s;
  if (!present) system = "WINE REGISTRY Version 2\n";
  return FromText(prefix, user, system, out);
}

Status WineRegistrySource::FromText(const std::string& prefix, std::string_view user_reg,
                                    std::string_view system_reg,
                                    std::unique_ptr<WineRegistrySource>* out) {
  std::unique_ptr<WineRegistrySource> source(new WineRegistrySource(prefix));
  Status s = ParseWineRegistry(user_reg, &source->user_root_, &source->user_report_);
  if (!s.ok()) return Status::Corrupt(prefix + "/user.reg: " + s.message());
  s = ParseWineRegistry(system_reg, &source->system_root_, &source->system_report_);
  if (!s.ok()) return Status::Corrupt(prefix + "/system.reg: " + s.message());
  source->BuildEnvironment();
  *out = std::move(source);
  return Status::Ok();
}

const MemoryKey* WineRegistrySource::Resolve(const MemoryKey* start, std::string_view path,
                                             int* hops) const {
  const MemoryKey* key = start;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t sep = path.find('\\', pos);
    if (sep == std::string_view::npos) sep = path.size();
    std::string_view part = path.substr(pos, sep - pos);
    pos = sep + 1;
    if (part.empty()) continue;
    key = key->Child(part);
    if (key == nullptr) return nullptr;
    if (!key->is_link()) continue;
    const RawValue* target = key->FindValue("SymbolicLinkValue");
    if (target == nullptr || target->type != kRegLink) continue;
    // Every link followed while opening one key counts against the same
    // budget, so nested links cannot multiply the work.
    if (++*hops > kMaxLinkHops) return nullptr;
    // "\REGISTRY\Machine\..." or "\REGISTRY\User\<sid>\..."
    std::u16string units = LeBytesToUtf16(target->data);
    units = units.substr(0, units.find(u'\0'));
    std::string link = text::Utf16ToUtf8(units);
    std::vector<std::string> parts;
    size_t p = 0;
    while (p <= link.size()) {
      size_t s = link.find('\\', p);
      if (s == std::string::npos) s = link.size();
      if (s > p) parts.push_back(link.substr(p, s - p));
      p = s + 1;
    }
    if (parts.size() < 2 || !EqualsIgnoreCase(parts[0], "REGISTRY")) return nullptr;
    size_t first = 2;
    const MemoryKey* root = nullptr;
    if (EqualsIgnoreCase(parts[1], "Machine")) {
      root = &system_root_;
    } else if (EqualsIgnoreCase(parts[1], "User") && parts.size() >= 3) {
      root = &user_root_;
      first = 3;
    } else {
      return nullptr;
    }
    std::string rest;
    for (size_t i = first; i < parts.size(); ++i) rest += parts[i] + "\\";
    key = Resolve(root, rest, hops);
    if (key == nullptr) return nullptr;
  }
  return key;
}

Status WineRegistrySource::OpenKey(RootKey root, std::string_view path,
                                   std::unique_ptr<RegistryKey>* key) const {
  const MemoryKey* start = root == RootKey::kCurrentUser ? &user_root_ : &system_root_;
  int hops = 0;
  const MemoryKey* found = Resolve(start, path, &hops);
  if (found == nullptr) {
    return Status::NotFound(std::string(root == RootKey::kCurrentUser ? "HKEY_CURRENT_USER\\"
                                                                      : "HKEY_LOCAL_MACHINE\\") +
                            std::string(path));
  }
  *key = NewMemoryKeyView(found);
  return Status::Ok();
}

std::string WineRegistrySource::GuessUserName() const {
  // The one user folder of the prefix, if there is exactly one.
  std::string users = prefix_ + "/drive_c/users";
  std::string only;
  int count = 0;
  if (DIR* d = opendir(users.c_str())) {
    while (struct dirent* entry = readdir(d)) {
      std::string name = entry->d_name;
      if (name == "." || name == ".." || EqualsIgnoreCase(name, "Public") ||
          EqualsIgnoreCase(name, "Default") || EqualsIgnoreCase(name, "All Users") ||
          EqualsIgnoreCase(name, "Default User") || !IsDirectory(users + "/" + name)) {
        continue;
      }
      only = name;
      ++count;
    }
    closedir(d);
  }
  if (count == 1) return only;
  // Wine names the profile after the host user.
  if (const char* user = getenv("USER"); user != nullptr && *user != '\0') return user;
  if (const struct passwd* pw = getpwuid(getuid()); pw != nullptr) return pw->pw_name;
  return "user";
}

void WineRegistrySource::BuildEnvironment() {
  AddMachineEnvironment(*this, "C:\\windows", &env_);
  const Environment& env = env_;
  std::string name, profile;
  ReadStringValue(*this, RootKey::kCurrentUser, "Volatile Environment", "USERNAME", &name);
  ReadStringValue(*this, RootKey::kCurrentUser, "Volatile Environment", "USERPROFILE", &profile);
  if (profile.empty()) profile = ProfileFromShellFolders(*this);
  if (name.empty() && !profile.empty()) name = LastPathComponent(profile);
  if (name.empty()) name = GuessUserName();
  if (profile.empty()) {
    std::string profiles;
    if (ReadStringValue(*this, RootKey::kLocalMachine,
                        "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                        "ProfilesDirectory", &profiles)) {
      profiles = env.Expand(profiles);
    }
    if (profiles.empty() || profiles.find('%') != std::string::npos) {
      profiles = env.GetOr("SystemDrive") + "\\users";
    }
    profile = profiles + "\\" + name;
  }
  env_.Set("USERNAME", name);
  env_.Set("USERPROFILE", profile);
  AddUserEnvironment(*this, ModernProfileLayout(), &env_);
}

Status WineRegistrySource::ToHostPath(std::string_view windows_path,
                                      std::string* host_path) const {
  std::string_view path = windows_path;
  if (path.substr(0, 4) == "\\\\?\\") path.remove_prefix(4);
  if (!path.empty() && path[0] == '/') {
    *host_path = ResolveBelow("/", SplitPathComponents(path));
    return Status::Ok();
  }
  if (!HasDriveLetter(path)) {
    return Status::InvalidArgument("\"" + std::string(windows_path) +
                                   "\" is not an absolute path with a drive letter");
  }
  char drive = static_cast<char>(path[0] | 0x20);
  std::string base = prefix_ + "/dosdevices/" + drive + ":";
  if (!IsDirectory(base)) {
    if (drive != 'c') {
      return Status::NotFound("drive " + std::string(1, static_cast<char>(drive - 0x20)) +
                              ": has no link in " + prefix_ + "/dosdevices");
    }
    base = prefix_ + "/drive_c";
  } else if (char* real = realpath(base.c_str(), nullptr)) {
    base = real;
    free(real);
  }
  *host_path = ResolveBelow(base, SplitPathComponents(path.substr(2)));
  return Status::Ok();
}

std::string WineRegistrySource::Describe() const {
  return "Wine prefix " + prefix_ + " (user.reg, system.reg)";
}

}  // namespace registry
