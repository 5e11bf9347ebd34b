// Whole stores: a directory with the folder list and one folder file per
// folder that has a file name. WriteStore() writes the folder files first
// (streaming each folder's messages), then the folder list with the counts
// the folder files ended up with.
//
//   dbxgen::StoreSpec spec;
//   spec.folders = dbxgen::StandardFolders();
//   spec.folders[2].messages.push_back(message);   // "Inbox"
//   auto report = dbxgen::WriteStore(dir, spec);
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_STORE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_STORE_H_

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dbxgen/folder_file.h"
#include "tests/support/dbxgen/folder_list.h"
#include "tests/support/dbxgen/message.h"
#include "tests/support/dbxgen/status.h"

namespace dbxgen {

// Fills `out` with the message at `position` and returns true, or returns
// false when the folder has no more messages.
using MessageSource = std::function<bool(std::size_t position, Message& out)>;

struct Folder {
  // The folder-list record. Its message and unread counts are taken from the
  // folder file written (messages without the read flag count as unread)
  // unless `keep_counts` is set.
  FolderRecord record;
  bool keep_counts = false;
  // The folder file, written when record.file_name is not "". Its internal
  // name defaults to the folder name.
  FolderFileOptions file;
  // The file's name on disk when it is not record.file_name byte for byte:
  // the folder list holds ANSI bytes, while a store copied to a UTF-8 file
  // system has the same name in UTF-8.
  std::string disk_file_name;
  // Messages: first `messages`, then whatever `source` yields.
  std::vector<Message> messages;
  MessageSource source;
};

struct StoreSpec {
  std::vector<Folder> folders;  // in folder-list index order
  FolderListOptions folder_list;
};

struct StoreReport {
  FolderListReport folder_list;
  // One per entry of StoreSpec::folders; empty (no path) for folders
  // without a file.
  std::vector<FolderFileReport> folder_files;
};

// Writes the store into `directory` (created if missing). On failure no
// file is left half-written under its final name.
Result<StoreReport> WriteStore(const std::filesystem::path& directory, const StoreSpec& spec);

// The folders of a new Outlook Express 6 store, in folder-number order:
// "Outlook Express" (the root, number 0), "Local Folders" (1), and below it
// "Inbox" (4), "Outbox" (5), "Sent Items" (6), "Deleted Items" (7) and
// "Drafts" (8), each with its folder file "<name>.dbx".
std::vector<Folder> StandardFolders();

// A user folder below "Local Folders", with the file "<name>.dbx".
Folder UserFolder(uint32_t id, const std::string& name);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_STORE_H_
