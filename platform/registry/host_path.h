// Host paths for Windows paths: the folder a drive letter stands for on this
// machine, and case-insensitive resolution of the path components below it,
// since Windows compares file names without regard to case and Linux does not.
#ifndef TOLLAN_PLATFORM_REGISTRY_HOST_PATH_H_
#define TOLLAN_PLATFORM_REGISTRY_HOST_PATH_H_

#include <string>
#include <string_view>
#include <vector>

namespace registry {

// Splits a path at '\' and '/', dropping empty and "." components.
std::vector<std::string> SplitPathComponents(std::string_view path);

// Joins `components` below the host folder `base`. Each component is matched
// against the existing entries of its folder, exactly first, then without
// regard to case; from the first component that matches nothing on, the rest
// is appended as spelled. ".." goes up one level but never above `base`.
std::string ResolveBelow(const std::string& base, const std::vector<std::string>& components);

// True when `path` begins with a drive letter and a colon ("C:...").
bool HasDriveLetter(std::string_view path);

// The parent folder of a host path ("/a/b/NTUSER.DAT" -> "/a/b").
std::string HostDirName(const std::string& path);

// `path` made absolute against the current directory (not resolved further).
std::string AbsoluteHostPath(const std::string& path);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_HOST_PATH_H_
