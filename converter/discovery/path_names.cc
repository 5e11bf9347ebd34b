// Path helpers shared by the wizard pages and the batch driver.
#include "converter/discovery/path_names.h"

namespace tollan {

std::string GetFileNameFromPath(const std::string& path, char separator) {
  size_t pos = path.rfind(separator);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string WithTrailingSeparator(const std::string& folder, char separator) {
  if (!folder.empty() && folder.back() == separator) return folder;
  return folder + separator;
}

}  // namespace tollan
