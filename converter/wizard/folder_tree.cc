// Display paths of folder files from the folder list.
#include "converter/wizard/folder_tree.h"

#include <cctype>
#include <set>
#include <vector>

#include "converter/engine/naming.h"

#include "platform/com/automation.h"
#include "platform/text/utf.h"
#include "reader/dbx/session.h"

namespace tollan {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The folder list's names are ANSI (Windows-1252) bytes; the .pst folders
// and file names take UTF-8.
std::string CleanName(const std::string& ansi) {
  std::string name = text::Utf16ToUtf8(com::Utf16FromAnsi(ansi));
  for (char& c : name) {
    if (c == '\\') c = '_';
  }
  return name.empty() ? "_" : name;
}

std::map<std::string, std::string> ReadStore(const std::string& dir, std::vector<std::string>* in_loop) {
  std::map<std::string, std::string> paths;
  dbx::DbxSession session;
  session.set_store_directory(dir);
  std::vector<dbx::DbxFolderRecord> folders;
  if (!session.OpenStore(true, false, &folders).ok()) return paths;
  session.CloseFile();
  std::map<int32_t, const dbx::DbxFolderRecord*> by_index;
  for (const auto& f : folders) by_index.emplace(f.folder_index, &f);
  auto parent_of = [&](const dbx::DbxFolderRecord* r) -> const dbx::DbxFolderRecord* {
    auto p = by_index.find(r->parent_index);
    return p == by_index.end() || p->second == r ? nullptr : p->second;
  };
  for (const auto& f : folders) {
    if (f.folder_file.empty()) continue;
    std::string path = CleanName(f.folder_name);
    std::set<const dbx::DbxFolderRecord*> seen = {&f};
    const dbx::DbxFolderRecord* at = parent_of(&f);
    bool loop = false;
    while (at != nullptr) {
      // Parents that lead back to a folder already passed never reach the
      // root: such a folder is placed at the top.
      if (!seen.insert(at).second) {
        loop = true;
        break;
      }
      const dbx::DbxFolderRecord* up = parent_of(at);
      if (up == nullptr) break;  // the root
      // "Local Folders" and the like: right below the root, without a file.
      const bool top_without_file = at->folder_file.empty() && parent_of(up) == nullptr;
      if (!top_without_file) path = CleanName(at->folder_name) + "\\" + path;
      at = up;
    }
    if (loop) {
      path = CleanName(f.folder_name);
      in_loop->push_back(path);
    }
    // Keyed by the name the file has on disk, which is UTF-8 here.
    paths.emplace(Lower(text::Utf16ToUtf8(com::Utf16FromAnsi(f.folder_file))), path);
  }
  return paths;
}

}  // namespace

std::string FolderTree::DisplayPath(const std::string& dbx_path) {
  const size_t slash = dbx_path.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? "." : dbx_path.substr(0, slash);
  const std::string file = slash == std::string::npos ? dbx_path : dbx_path.substr(slash + 1);
  auto store = stores_.find(dir);
  if (store == stores_.end()) {
    std::vector<std::string> in_loop;
    store = stores_.emplace(dir, ReadStore(dir, &in_loop)).first;
    if (!in_loop.empty()) {
      std::string names;
      for (const auto& n : in_loop) names += (names.empty() ? "" : ", ") + n;
      warning_ = "The folder list in " + DisplayText(dir) +
                 " gives folders parents that form a loop; they are placed at the top of the .pst: " + names;
    }
  }
  auto found = store->second.find(Lower(file));
  return found == store->second.end() ? std::string() : found->second;
}

std::string LastFolderName(const std::string& display_path) {
  const size_t sep = display_path.rfind('\\');
  return sep == std::string::npos ? display_path : display_path.substr(sep + 1);
}

}  // namespace tollan
