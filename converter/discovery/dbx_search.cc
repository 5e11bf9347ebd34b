// The folder search of the file-list page.
#include "converter/discovery/dbx_search.h"

#include <cctype>

#include "converter/discovery/path_logger.h"

namespace tollan {

bool HasDbxExtension(const std::string& path) {
  size_t b = path.find_first_not_of(' ');
  size_t e = path.find_last_not_of(' ');
  if (b == std::string::npos) return false;
  std::string s = path.substr(b, e - b + 1);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s.size() >= 4 && s.compare(s.size() - 4, 4, ".dbx") == 0;
}

DbxSearchResult FindDbxFiles(const std::string& folder, const std::function<void()>& yield) {
  DbxSearchResult result;
  pathLogger logger(yield);
  logger.PathLogInit();
  logger.set_fullFileNamesOnly(true);
  logger.LogPath(folder);
  for (const auto& path : logger.fullFileNames().items()) {
    if (yield) yield();
    if (HasDbxExtension(path)) result.files.push_back(path);
  }
  result.unreadable_folders = logger.UnreadableFolders();
  logger.Terminate();
  return result;
}

}  // namespace tollan
