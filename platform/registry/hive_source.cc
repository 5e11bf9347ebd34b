// Offline hive files through hivex, read-only.
#include "platform/registry/hive_source.h"

#include <errno.h>
#include <hivex.h>
#include <stdlib.h>

#include <cstring>
#include <vector>

#include "platform/registry/host_path.h"
#include "platform/registry/text.h"
#include "platform/registry/user_environment.h"

namespace registry {

namespace {

// Takes ownership of a string hivex allocated.
std::string TakeString(char* text) {
  if (text == nullptr) return "";
  std::string out(text);
  free(text);
  return out;
}

template <typename T>
std::vector<T> TakeList(T* list) {
  std::vector<T> out;
  if (list == nullptr) return out;
  for (size_t i = 0; list[i] != 0; ++i) out.push_back(list[i]);
  free(list);
  return out;
}

class HiveKey : public RegistryKey {
 public:
  HiveKey(hive_h* hive, hive_node_h node)
      : hive_(hive),
        children_(TakeList(hivex_node_children(hive, node))),
        values_(TakeList(hivex_node_values(hive, node))) {}

  bool FindValue(std::string_view name, RawValue* value) const override {
    std::string folded = FoldCase(name);
    for (hive_value_h v : values_) {
      if (FoldCase(TakeString(hivex_value_key(hive_, v))) == folded) return Read(v, value);
    }
    return false;
  }
  size_t ValueCount() const override { return values_.size(); }
  bool ValueAt(size_t index, RawValue* value) const override {
    return index < values_.size() && Read(values_[index], value);
  }
  size_t SubkeyCount() const override { return children_.size(); }
  bool SubkeyNameAt(size_t index, std::string* name) const override {
    if (index >= children_.size()) return false;
    char* text = hivex_node_name(hive_, children_[index]);
    if (text == nullptr) return false;
    *name = TakeString(text);
    return true;
  }

 private:
  bool Read(hive_value_h v, RawValue* value) const {
    hive_type type;
    size_t len = 0;
    char* data = hivex_value_value(hive_, v, &type, &len);
    if (data == nullptr) return false;
    value->name = TakeString(hivex_value_key(hive_, v));
    value->type = static_cast<uint32_t>(type);
    value->data.assign(data, len);
    free(data);
    return true;
  }

  hive_h* hive_;
  std::vector<hive_node_h> children_;
  std::vector<hive_value_h> values_;
};

// The node at `path` below `node`, or 0.
hive_node_h FindNode(hive_h* hive, hive_node_h node, std::string_view path) {
  for (const std::string& part : SplitPathComponents(path)) {
    std::string folded = FoldCase(part);
    hive_node_h found = 0;
    for (hive_node_h child : TakeList(hivex_node_children(hive, node))) {
      if (FoldCase(TakeString(hivex_node_name(hive, child))) == folded) {
        found = child;
        break;
      }
    }
    if (found == 0) return 0;
    node = found;
  }
  return node;
}

Status OpenHive(const std::string& path, hive_h** hive) {
  *hive = hivex_open(path.c_str(), 0);  // no HIVEX_OPEN_WRITE: read-only
  if (*hive == nullptr) {
    return Status::IoError(path + ": cannot open as a registry hive (" + std::strerror(errno) +
                           ")");
  }
  return Status::Ok();
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

Status HiveRegistrySource::Open(const std::string& ntuser, const std::string& software,
                                std::unique_ptr<HiveRegistrySource>* out) {
  std::unique_ptr<HiveRegistrySource> source(new HiveRegistrySource());
  source->ntuser_path_ = AbsoluteHostPath(ntuser);
  source->profile_dir_ = HostDirName(source->ntuser_path_);
  Status s = OpenHive(ntuser, &source->user_);
  if (!s.ok()) return s;
  if (!software.empty()) {
    source->software_path_ = AbsoluteHostPath(software);
    s = OpenHive(software, &source->software_);
    if (!s.ok()) return s;
  }
  source->BuildEnvironment();
  *out = std::move(source);
  return Status::Ok();
}

HiveRegistrySource::~HiveRegistrySource() {
  if (user_ != nullptr) hivex_close(user_);
  if (software_ != nullptr) hivex_close(software_);
}

Status HiveRegistrySource::OpenKey(RootKey root, std::string_view path,
                                   std::unique_ptr<RegistryKey>* key) const {
  hive_h* hive = user_;
  std::string_view rest = path;
  if (root == RootKey::kLocalMachine) {
    // Only HKEY_LOCAL_MACHINE\Software exists, backed by the SOFTWARE hive.
    std::vector<std::string> parts = SplitPathComponents(path);
    hive = nullptr;
    if (software_ != nullptr && !parts.empty() && EqualsIgnoreCase(parts[0], "Software")) {
      hive = software_;
      size_t cut = path.find(parts[0]) + parts[0].size();
      rest = path.substr(cut);
    }
  }
  std::string where = std::string(root == RootKey::kCurrentUser ? "HKEY_CURRENT_USER\\"
                                                                : "HKEY_LOCAL_MACHINE\\") +
                      std::string(path);
  if (hive == nullptr) return Status::NotFound(where + " (no hive loaded for it)");
  hive_node_h node = FindNode(hive, hivex_root(hive), rest);
  if (node == 0) return Status::NotFound(where);
  *key = std::make_unique<HiveKey>(hive, node);
  return Status::Ok();
}

void HiveRegistrySource::BuildEnvironment() {
  windows_profile_ = ProfileFromShellFolders(*this);
  AddMachineEnvironment(*this, "C:\\WINDOWS", &env_);
  std::string name = LastPathComponent(windows_profile_);
  if (name.empty()) name = LastPathComponent(profile_dir_);
  env_.Set("USERNAME", name);
  env_.Set("USERPROFILE", profile_dir_);
  AddUserEnvironment(*this, LegacyProfileLayout(), &env_);
}

std::string HiveRegistrySource::GuessDriveRoot() const {
  // "<root>/Documents and Settings/<user>" or "<root>/Users/<user>".
  std::string parent = HostDirName(profile_dir_);
  std::string parent_name = LastPathComponent(parent);
  if (EqualsIgnoreCase(parent_name, "Documents and Settings") ||
      EqualsIgnoreCase(parent_name, "Users")) {
    return HostDirName(parent);
  }
  return "";
}

Status HiveRegistrySource::ToHostPath(std::string_view windows_path,
                                      std::string* host_path) const {
  std::string_view path = windows_path;
  if (!path.empty() && path[0] == '/') {
    *host_path = ResolveBelow("/", SplitPathComponents(path));
    return Status::Ok();
  }
  if (!HasDriveLetter(path)) {
    return Status::InvalidArgument("\"" + std::string(windows_path) +
                                   "\" is not an absolute path with a drive letter");
  }
  if (!windows_profile_.empty() && StartsWithIgnoringCase(path, windows_profile_) &&
      (path.size() == windows_profile_.size() || path[windows_profile_.size()] == '\\' ||
       path[windows_profile_.size()] == '/')) {
    *host_path = ResolveBelow(profile_dir_, SplitPathComponents(path.substr(windows_profile_.size())));
    return Status::Ok();
  }
  // "X:\Documents and Settings\<user>\..." (or "X:\Users\<user>\...") of the
  // user whose folder holds the hive, when the hive does not name its profile.
  std::vector<std::string> parts = SplitPathComponents(path.substr(2));
  if (parts.size() >= 2 &&
      (EqualsIgnoreCase(parts[0], "Documents and Settings") || EqualsIgnoreCase(parts[0], "Users")) &&
      EqualsIgnoreCase(parts[1], LastPathComponent(profile_dir_))) {
    *host_path = ResolveBelow(profile_dir_, std::vector<std::string>(parts.begin() + 2, parts.end()));
    return Status::Ok();
  }
  std::string system_drive = env_.GetOr("SystemDrive");
  std::string root = GuessDriveRoot();
  if (!root.empty() && EqualsIgnoreCase(path.substr(0, 2), system_drive.empty() ? "C:" : system_drive)) {
    *host_path = ResolveBelow(root, SplitPathComponents(path.substr(2)));
    return Status::Ok();
  }
  return Status::NotFound("no host folder is known for drive " + std::string(path.substr(0, 2)) +
                          " of " + ntuser_path_);
}

std::string HiveRegistrySource::Describe() const {
  std::string text = "registry hive " + ntuser_path_;
  if (!software_path_.empty()) text += " with SOFTWARE hive " + software_path_;
  return text;
}

}  // namespace registry
