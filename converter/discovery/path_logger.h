// pathLogger: walks a directory tree breadth-first and records every folder
// and file in it. The file-list page uses it to find the .dbx files below a
// folder the user picks; the class records all files and the caller filters.
//
// Calling order: PathLogInit, optionally set_fullFileNamesOnly, one LogPath,
// the reads, Terminate. A second LogPath needs a PathLogInit first.
//
// Paths use the platform's separator ('/' here). Entries are listed the way
// the folder browser shows them: subfolders and files each sorted by name,
// ignoring letter case.
//
// A folder inside the tree that cannot be listed is skipped and counted
// (UnreadableFolders) and the walk goes on; the start folder not existing
// records nothing.
#ifndef TOLLAN_CONVERTER_DISCOVERY_PATH_LOGGER_H_
#define TOLLAN_CONVERTER_DISCOVERY_PATH_LOGGER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "converter/discovery/keyed_list.h"

namespace tollan {

// One folder's entries: subfolder names and file names, in listing order.
struct FolderListing {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};

// Lists the folder at `path` into `out`; false when it cannot be read.
using FolderLister = std::function<bool(const std::string& path, FolderListing* out)>;

// The file system's own listing, in the order described above. Links to
// folders are not entered, so a link cycle cannot make a walk endless.
bool ListFolderOnDisk(const std::string& path, FolderListing* out);

class pathLogger {
 public:
  // `yield` is called at every point where the walk lets the user interface
  // repaint and respond (after each folder queued and each file recorded).
  // `lister` defaults to ListFolderOnDisk.
  explicit pathLogger(std::function<void()> yield = nullptr, FolderLister lister = nullptr);

  // Starts afresh: fullFileNamesOnly becomes true and the four lists are
  // emptied. Count is left alone.
  void PathLogInit();

  // Walks the tree below `strPARENT`. Returns false when a walk was already
  // made since the last PathLogInit (nothing is recorded then).
  bool LogPath(const std::string& strPARENT);

  // The number the next file would get: files recorded + 1 after a walk, 0 in
  // a new object.
  int32_t Count() const { return count_; }

  // Folders inside the tree that could not be listed during the last walk.
  int32_t UnreadableFolders() const { return unreadable_; }

  // Releases the lists; yields before and after.
  void Terminate();

  void set_fullFileNamesOnly(bool fullPath) { full_file_names_only_ = fullPath; }
  bool fullFileNamesOnly() const { return full_file_names_only_; }

  // Every folder visited, in visiting order, each ending with the separator.
  const KeyedList<std::string>& pathNames() const { return path_names_; }
  // Every file found: its folder's pathNames entry + the file name.
  const KeyedList<std::string>& fullFileNames() const { return full_file_names_; }
  // The file name alone (only when fullFileNamesOnly is false).
  const KeyedList<std::string>& fileNames() const { return file_names_; }
  // The 1-based position in pathNames of each file's folder (only when
  // fullFileNamesOnly is false).
  const KeyedList<int32_t>& pathPointers() const { return path_pointers_; }

 private:
  void Yield();

  std::function<void()> yield_;
  FolderLister lister_;
  bool full_file_names_only_ = true;
  int32_t count_ = 0;
  int32_t unreadable_ = 0;
  KeyedList<std::string> path_names_;
  KeyedList<std::string> full_file_names_;
  KeyedList<std::string> file_names_;
  KeyedList<int32_t> path_pointers_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_DISCOVERY_PATH_LOGGER_H_
