// The survey of an old Windows disk.
#include "converter/wizard/old_disk.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "converter/discovery/dbx_search.h"
#include "platform/os/file.h"
#include "platform/os/process.h"

namespace tollan {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// `dir` and `name` joined by one '/'.
std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The last component of a path in '/' form, trailing '/' left aside.
std::string LastName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The child of `dir` called `name` in any letter case, or "".
std::string ChildNoCase(const std::string& dir, const std::string& name) {
  std::error_code ec;
  for (fs::directory_iterator it(os::FsPath(dir), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string child = os::Utf8Path(it->path().filename());
    if (Lower(child) == Lower(name)) return Join(dir, child);
  }
  return "";
}

// The folder that holds the profiles: DIR's "Documents and Settings" or
// "Users", else DIR itself.
std::string ProfilesFolder(const std::string& dir) {
  for (const char* name : {"Documents and Settings", "Users"}) {
    std::string found = ChildNoCase(dir, name);
    std::error_code ec;
    if (!found.empty() && fs::is_directory(os::FsPath(found), ec)) return found;
  }
  return dir;
}

// The same folder, as a key that ignores how the path was spelled.
std::string FolderKey(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(os::FsPath(path), ec);
  std::string s = os::SlashPath(os::Utf8Path((ec ? os::FsPath(path) : p).lexically_normal()));
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Reads the identities of one hive through the reader, with the hive as the
// registry it reads.
void ReadProfile(OldDiskProfile* profile) {
#if defined(_WIN32)
  // The reader here reads the registry of the running Windows only, not a
  // hive file; the stores are still found, as folders of .dbx files.
  profile->problem =
      "its identities cannot be read on Windows (only this computer's registry is read); its store "
      "folders are converted as folders no identity points to";
#else
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
#endif
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

bool SurveyOldDisk(const std::string& disk, OldDisk* out, std::string* why) {
  *out = OldDisk();
  // Paths are built in '/' form on every system, from the UTF-8 names.
  const std::string dir = os::SlashPath(disk);
  std::error_code ec;
  if (!fs::is_directory(os::FsPath(dir), ec)) {
    *why = disk + " is not a folder";
    return false;
  }
  const std::string profiles = ProfilesFolder(dir);
  out->profiles_folder = profiles;
  std::vector<std::string> children;
  for (fs::directory_iterator it(os::FsPath(profiles), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) children.push_back(os::Utf8Path(it->path().filename()));
  }
  std::sort(children.begin(), children.end());
  std::set<std::string> claimed;  // store folders some identity points to
  for (const std::string& child : children) {
    std::string ntuser = ChildNoCase(Join(profiles, child), "NTUSER.DAT");
    if (ntuser.empty()) continue;
    OldDiskProfile profile;
    profile.name = child;
    profile.ntuser = ntuser;
    ReadProfile(&profile);
    for (const IdentityStore& i : profile.identities) claimed.insert(FolderKey(i.store_folder));
    out->profiles.push_back(std::move(profile));
  }
  // Every other folder of .dbx files on the disk; the search gives their
  // paths below `dir` as it was spelled.
  const std::string root = Join(dir, "");
  std::map<std::string, std::string> strays;  // key -> folder
  for (const std::string& file : FindDbxFiles(dir).files) {
    const std::string folder = file.substr(0, file.rfind('/'));
    const std::string key = FolderKey(folder);
    if (!claimed.count(key)) strays.emplace(key, folder);
  }
  for (const auto& [key, folder] : strays) {
    std::string name = folder.size() > root.size() ? folder.substr(root.size()) : LastName(folder);
    std::string pretty;
    for (char c : name) pretty += c == '/' ? std::string(" - ") : std::string(1, c);
    out->strays.push_back({pretty, folder});
  }
  return true;
}

}  // namespace tollan
