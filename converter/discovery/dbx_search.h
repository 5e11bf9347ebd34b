// The folder search of the file-list page: every file below a folder whose
// name, lower-cased and without surrounding spaces, ends in ".dbx", in the
// breadth-first order of pathLogger, paths as found on disk.
#ifndef TOLLAN_CONVERTER_DISCOVERY_DBX_SEARCH_H_
#define TOLLAN_CONVERTER_DISCOVERY_DBX_SEARCH_H_

#include <functional>
#include <string>
#include <vector>

namespace tollan {

struct DbxSearchResult {
  std::vector<std::string> files;
  int unreadable_folders = 0;  // folders in the tree that could not be listed
};

// True when `path` names a .dbx file by the page's rule (any letter case).
bool HasDbxExtension(const std::string& path);

// Searches the tree below `folder`; `yield` runs between entries.
DbxSearchResult FindDbxFiles(const std::string& folder, const std::function<void()>& yield = nullptr);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_DISCOVERY_DBX_SEARCH_H_
