// DbxSession: the reader state that every object of one thread shares.
//
// A session holds the store directory, one open-file slot and the
// unreadable-message flag. At most one DBX file is open in the slot at a
// time: opening a folder or the store first closes whatever the slot holds,
// and message bodies are read from whatever file the slot holds at that
// moment. The session is not thread-safe; an object model keeps one session
// per thread and hands it to all of its objects on that thread.
//
// Files are only ever opened read-only.
#ifndef TOLLAN_READER_DBX_SESSION_H_
#define TOLLAN_READER_DBX_SESSION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader/dbx/body_chain.h"
#include "reader/dbx/body_salvage.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_file.h"
#include "reader/dbx/folder_list.h"
#include "reader/dbx/status.h"

namespace dbx {

// How far opening a folder file came, besides its result.
struct DbxFolderOpen {
  // 0, 1001 to 1005, or the error number of a failed open or read.
  DbxStatus status;
  // The file was opened in the slot (it is closed again after a 1002).
  bool file_opened = false;
  // Length of the file, set when file_opened.
  uint64_t file_size = 0;
  // The signature was accepted and the caller's contents were replaced: in
  // full for results 0 and 1005, up to the failure for an error number.
  bool contents_read = false;
};

class DbxSession {
 public:
  DbxSession() = default;
  DbxSession(const DbxSession&) = delete;
  DbxSession& operator=(const DbxSession&) = delete;

  // The directory in which folder files and the folder list are looked up,
  // kept exactly as set (it may end in "\" or "/", or in neither).
  const std::string& store_directory() const { return store_directory_; }
  void set_store_directory(std::string dir) { store_directory_ = std::move(dir); }

  // The open-file slot. open_file() is null while the slot is empty.
  bool file_open() const { return file_ != nullptr; }
  ByteSource* open_file() { return file_.get(); }
  // Path of the file in the slot; "" while it is empty.
  std::string open_path() const { return file_ ? file_->path() : std::string(); }
  // Closes the file in the slot, if any.
  void CloseFile() { file_.reset(); }
  // Closes the slot, then opens `path` read-only in it (deny_read: see
  // FileSource::Open). Returns 0, 1003 when refused, or an error number.
  DbxStatus OpenFile(const std::string& path, bool deny_read);

  // Set while the last folder opened had a message whose body cannot be
  // located; cleared by each folder open that got the file open.
  bool unreadable_message() const { return unreadable_message_; }

  // Opens the folder file `folder_file` of the store directory in the slot
  // and reads it into *contents, where the file then stays for body reads.
  // Results: 1004 for an empty name, 1001 when there is no such file (the
  // slot is left alone in both cases); otherwise as OpenFolderPath.
  DbxFolderOpen OpenFolder(const std::string& folder_file, bool deny_read,
                           DbxFolderContents* contents);

  // Opens the folder file at `path` in the slot and reads it into
  // *contents. Results: 1003 or an error number when the open fails; 1002
  // when the file is not a folder file (the slot is closed again, *contents
  // untouched); 1005 or 0 when it was read; an error number on a device
  // error while reading.
  DbxFolderOpen OpenFolderPath(const std::string& path, bool deny_read,
                               DbxFolderContents* contents);

  // Reads the folder list of the store directory into *folders (see
  // ReadFolderList) and closes the slot again. Results: 1000 when the store
  // directory cannot be read, 1001 when it holds no folders.dbx (matched
  // without regard to letter case), 1003 or an error number when the open
  // fails, 1002 for a file that is not a folder list, 0 on success.
  DbxStatus OpenStore(bool include_inactive, bool deny_read,
                      std::vector<DbxFolderRecord>* folders);

  // Reads the body chain at `position` from the file in the slot. Fails with
  // error 52 when the slot is empty; otherwise as ReadBodyChain.
  DbxStatus ReadBody(uint32_t position, DbxBody* body);
  // The same, as one text without segments (see ReadBodyText).
  DbxStatus ReadBodyText(uint32_t position, DbxBodyText* body);
  // What a damaged chain still holds (see SalvageBodyText).
  DbxStatus SalvageBody(uint32_t position, DbxSalvagedBody* body);

 private:
  std::string store_directory_;
  std::unique_ptr<FileSource> file_;
  bool unreadable_message_ = false;
};

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_SESSION_H_
