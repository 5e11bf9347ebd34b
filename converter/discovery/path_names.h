// Path helpers shared by the wizard pages and the batch driver.
#ifndef TOLLAN_CONVERTER_DISCOVERY_PATH_NAMES_H_
#define TOLLAN_CONVERTER_DISCOVERY_PATH_NAMES_H_

#include <string>

namespace tollan {

// The separator of file-system paths on this platform.
inline constexpr char kPathSeparator = '/';

// The text after the last `separator` of `path`: the whole path when it holds
// none, empty when it ends with one. Only `separator` separates.
std::string GetFileNameFromPath(const std::string& path, char separator = kPathSeparator);

// `folder` with a separator appended unless it already ends with one.
std::string WithTrailingSeparator(const std::string& folder, char separator = kPathSeparator);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_DISCOVERY_PATH_NAMES_H_
