// The survey of an old Windows disk.
#include "converter/wizard/old_disk.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "converter/discovery/dbx_search.h"
#include "platform/os/process.h"

namespace tollan {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The child of `dir` called `name` in any letter case, or "".
std::string ChildNoCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == Lower(name)) return it->path().string();
  }
  return "";
}

// The folder that holds the profiles: DIR's "Documents and Settings" or
// "Users", else DIR itself.
fs::path ProfilesFolder(const fs::path& dir) {
  for (const char* name : {"Documents and Settings", "Users"}) {
    std::string found = ChildNoCase(dir, name);
    std::error_code ec;
    if (!found.empty() && fs::is_directory(found, ec)) return found;
  }
  return dir;
}

// The same folder, as a key that ignores how the path was spelled.
std::string FolderKey(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  std::string s = (ec ? fs::path(path) : p).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Reads the identities of one hive through the reader, with the hive as the
// registry it reads.
void ReadProfile(OldDiskProfile* profile) {
  const char* before = getenv("KESTREL_REGISTRY");
  const std::string saved = before ? before : "";
  os::SetEnvironment("KESTREL_REGISTRY", "hive:" + profile->ntuser);
  std::string current;
  if (!ListIdentityStores(true, &profile->identities, &current, &profile->problem)) {
    profile->identities.clear();
  }
  if (before) {
    os::SetEnvironment("KESTREL_REGISTRY", saved);
  } else {
    os::UnsetEnvironment("KESTREL_REGISTRY");
  }
}

}  // namespace

std::vector<NamedStore> OldDisk::Stores() const {
  std::vector<NamedStore> stores;
  for (const OldDiskProfile& p : profiles) {
    for (const IdentityStore& i : p.identities) stores.push_back({p.name + " - " + i.name, i.store_folder});
  }
  stores.insert(stores.end(), strays.begin(), strays.end());
  return stores;
}

bool SurveyOldDisk(const std::string& dir, OldDisk* out, std::string* why) {
  *out = OldDisk();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    *why = dir + " is not a folder";
    return false;
  }
  const fs::path profiles = ProfilesFolder(dir);
  out->profiles_folder = profiles.string();
  std::vector<fs::path> children;
  for (fs::directory_iterator it(profiles, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) children.push_back(it->path());
  }
  std::sort(children.begin(), children.end());
  std::set<std::string> claimed;  // store folders some identity points to
  for (const fs::path& child : children) {
    std::string ntuser = ChildNoCase(child, "NTUSER.DAT");
    if (ntuser.empty()) continue;
    OldDiskProfile profile;
    profile.name = child.filename().string();
    profile.ntuser = ntuser;
    ReadProfile(&profile);
    for (const IdentityStore& i : profile.identities) claimed.insert(FolderKey(i.store_folder));
    out->profiles.push_back(std::move(profile));
  }
  // Every other folder of .dbx files on the disk.
  std::map<std::string, std::string> strays;  // key -> folder
  for (const std::string& file : FindDbxFiles(dir).files) {
    const std::string folder = fs::path(file).parent_path().string();
    const std::string key = FolderKey(folder);
    if (!claimed.count(key)) strays.emplace(key, folder);
  }
  for (const auto& [key, folder] : strays) {
    std::string name = fs::path(folder).lexically_relative(dir).string();
    if (name.empty() || name == ".") name = fs::path(folder).filename().string();
    std::string pretty;
    for (char c : name) pretty += c == '/' ? std::string(" - ") : std::string(1, c);
    out->strays.push_back({pretty, folder});
  }
  return true;
}

}  // namespace tollan
