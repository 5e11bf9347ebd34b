// FolderTree: where a folder file sits in the Outlook Express folder tree,
// read from the folder list beside it, so that a run can give the .pst the
// same tree and names instead of one flat folder per file.
//
//   FolderTree tree;
//   tree.DisplayPath("/store/Archive(1).dbx");   // "Old Stuff"
//   tree.DisplayPath("/store/Sub.dbx");          // "Inbox\Sub"
//
// Paths start below "Local Folders" (the root and the top folders without a
// file are left out) and join the display names, as UTF-8, with "\"; a "\"
// inside a name becomes "_". A folder whose parents form a loop is placed at
// the top, under its own name. A file that the folder list does not name, or a
// store without a readable folder list, gives "".
#ifndef TOLLAN_CONVERTER_WIZARD_FOLDER_TREE_H_
#define TOLLAN_CONVERTER_WIZARD_FOLDER_TREE_H_

#include <map>
#include <string>
#include <utility>

namespace tollan {

class FolderTree {
 public:
  std::string DisplayPath(const std::string& dbx_path);

  // What the last DisplayPath found wrong with a folder list it read (folders
  // whose parents form a loop are placed at the top), once; "" when nothing.
  std::string TakeWarning() { return std::move(warning_); }

 private:
  std::string warning_;
  // Per store directory: lower-cased file name -> display path.
  std::map<std::string, std::map<std::string, std::string>> stores_;
};

// The last name of a display path.
std::string LastFolderName(const std::string& display_path);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_FOLDER_TREE_H_
