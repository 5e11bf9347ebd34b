// PstFile: writes a new Unicode personal-folders file. A new file holds every
// node Outlook's own new stores hold (message store, name-to-id map, root
// folder, table templates, search and queue nodes), an IPM subtree "Top of
// Personal Folders" with a "Deleted Items" folder, and "Search Root".
// Callers add folders and messages; each message is written to the file as it
// is added, so memory grows with the folder tables, not with message bytes.
// Close writes the folders' final tables and the maps; only then is the file
// a valid PST. After a failed AddMessage or AddFolder the file can still be
// closed and then holds everything added successfully.
//
// Typical use:
//   std::unique_ptr<pst::PstFile> pst;
//   Status s = pst::PstFile::Create("out.pst", "My Mail", &pst);
//   pst::FolderId inbox;
//   s = pst->AddFolder(pst->IpmSubtree(), "Inbox", &inbox);
//   s = pst->AddMessage(inbox, content);
//   s = pst->Close();
//
// Not thread-safe; one writer per file.
#ifndef TOLLAN_PLATFORM_PST_PST_FILE_H_
#define TOLLAN_PLATFORM_PST_PST_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/pst/message.h"
#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/status.h"

namespace pst {

using FolderId = uint32_t;  // the folder's node id

// What AddMessage reports about a stored message.
struct MessageRef {
  Nid nid = 0;                    // node id of the message
  std::vector<uint8_t> entry_id;  // its 24-byte entry id in this store
};

class PstFile {
 public:
  // Creates the file at `path` (replacing an existing one) with the store's
  // display name `display_name` (UTF-8).
  static Status Create(const std::string& path, const std::string& display_name,
                       std::unique_ptr<PstFile>* out);
  // Same over a given node database (tests use an in-memory one).
  static Status Create(std::unique_ptr<NdbWriter> ndb, const std::string& display_name,
                       std::unique_ptr<PstFile>* out);

  ~PstFile();
  PstFile(const PstFile&) = delete;
  PstFile& operator=(const PstFile&) = delete;

  const std::string& display_name() const;
  // "Top of Personal Folders", the store's top folder for mail folders.
  FolderId IpmSubtree() const;
  // "Deleted Items", the store's wastebasket (a child of the IPM subtree).
  FolderId DeletedItems() const;

  // Adds a mail folder (container class "IPF.Note") named `name` (UTF-8)
  // under `parent` (the IPM subtree or any folder below it). Fails when
  // the parent already has a folder of that name (case-insensitive).
  Status AddFolder(FolderId parent, const std::string& name, FolderId* out);

  // Finds a folder by its display path: two backslashes, the store's display
  // name, then one backslash before each folder name, for example
  // "\\\\My Mail\\Inbox\\Sub". The path of the store alone names the IPM
  // subtree. Names compare case-insensitively (ASCII letters).
  Status FindFolder(const std::string& path, FolderId* out) const;

  // The display name (UTF-8) of a folder.
  Status FolderName(FolderId folder, std::string* name) const;
  // The number of messages added to a folder.
  Status MessageCount(FolderId folder, uint32_t* count) const;

  // Stores `content` as a new message in `folder` and writes it to the file.
  // The store computes PidTagMessageSize and the attachment sizes; a message
  // without PidTagMessageClass becomes "IPM.Note". `ref` may be null.
  Status AddMessage(FolderId folder, const MessageContent& content, MessageRef* ref = nullptr);

  // Writes the folders' properties and tables, the name-to-id map and the
  // node database's indexes and header. No call is allowed afterwards.
  Status Close();

  // Bytes the file takes so far: the messages and folders written. Close
  // adds the folders' tables (a row per message), the store's maps and the
  // indexes of every node and block; afterwards, the file's size.
  uint64_t FileSize() const;

  // The 24-byte entry id of a node of this store.
  std::vector<uint8_t> EntryId(Nid nid) const;

 private:
  struct State;
  explicit PstFile(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_PST_FILE_H_
