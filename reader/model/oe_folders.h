// OEFolder and OEFolders: the folders of a store, as the folder list
// describes them, and the opening of a folder file with its message list.

#ifndef TOLLAN_READER_MODEL_OE_FOLDERS_H_
#define TOLLAN_READER_MODEL_OE_FOLDERS_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "reader/dbx/folder_record.h"
#include "reader/model/interfaces.h"
#include "reader/model/object_base.h"

namespace kestrel {

class OEMessages;

// The folder numbers and names of one OEFolders collection, as its folders
// were appended. Folders keep it (not the collection itself) for ChildOf, so
// no reference cycle forms and ChildOf keeps working when a client holds a
// folder longer than its collection.
struct FolderDirectory {
  std::vector<std::pair<LONG, std::u16string>> folders;  // FolderIndex, FolderName
};

class OEFolder final : public DispatchObject<_OEFolder> {
 public:
  // A folder without record values (as a client creates it).
  OEFolder();
  // A folder described by its record in the folder list.
  explicit OEFolder(const dbx::DbxFolderRecord& record);

  LONG folder_index() const { return folder_index_; }
  const std::u16string& folder_name() const { return folder_name_; }
  void SetFolderList(std::shared_ptr<const FolderDirectory> directory) {
    directory_ = std::move(directory);
  }
  void SetFolderFile(std::u16string file) { folder_file_ = std::move(file); }

  // Opens store directory + FolderFile in the thread's open-file slot and
  // lists its messages. Results: 0; 1001 no such file (or the look-up
  // failed); 1002 not a folder file (slot closed again); 1003 permission
  // denied or locked; 1004 FolderFile empty; 1005 listed, but a message body
  // cannot be located; another number: the error of the failed open. Errors
  // while reading after the open fail the call.
  HRESULT COMCALL OpenFolder(VARIANT_BOOL* bLock, LONG* result) override;
  // Closes the slot when this folder's OpenFolder opened a file and it was
  // not closed since (even when another file has been opened in the slot).
  HRESULT COMCALL CloseFolder() override;

  HRESULT COMCALL get_FileSize(LONG* result) override;
  HRESULT COMCALL get_InternalName(BSTR* result) override;
  HRESULT COMCALL get_HasSubfolders(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_IsActive(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_FolderIndex(LONG* result) override;
  HRESULT COMCALL get_ChildOf(BSTR* result) override;
  HRESULT COMCALL get_OEMessages(_OEMessages** result) override;
  HRESULT COMCALL get_MessageUnread(LONG* result) override;
  HRESULT COMCALL get_MessageCount(LONG* result) override;
  HRESULT COMCALL get_SessionNumber(LONG* result) override;
  HRESULT COMCALL get_SourceType(BSTR* result) override;
  HRESULT COMCALL get_FolderFile(BSTR* result) override;
  HRESULT COMCALL put_FolderFile(BSTR* sFile) override;
  HRESULT COMCALL get_FolderName(BSTR* result) override;

 private:
  ~OEFolder() override;

  // From the folder list.
  LONG folder_index_ = 0;
  LONG parent_index_ = 0;
  std::u16string folder_name_;
  std::u16string folder_file_;
  bool is_active_ = false;
  bool has_subfolders_ = false;
  LONG message_count_ = 0;
  LONG message_unread_ = 0;
  std::shared_ptr<const FolderDirectory> directory_;

  // From the folder file.
  bool file_opened_ = false;  // OpenFolder opened the file; CloseFolder not run since
  LONG file_size_ = 0;
  std::u16string internal_name_;
  bool local_store_ = false;
  LONG session_number_ = 0;
  OEMessages* messages_ = nullptr;  // owned reference; none before the first open
};

class OEFolders final : public DispatchObject<_OEFolders> {
 public:
  OEFolders();

  // Appends `folder` (taking over the caller's reference) and records its
  // number and name for ChildOf.
  void AddFolder(OEFolder* folder);
  const std::shared_ptr<FolderDirectory>& directory() const { return directory_; }

  // A number (or a text that reads as one) finds the first folder whose
  // FolderIndex equals it; any other text the first folder whose FolderName
  // equals it without regard to case. None (no error) when nothing matches.
  HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEFolder** result) override;
  HRESULT COMCALL get_Count(LONG* result) override;
  HRESULT COMCALL get_NewEnum(IUnknown** result) override;

 private:
  ~OEFolders() override;
  std::vector<OEFolder*> items_;  // owned references
  std::shared_ptr<FolderDirectory> directory_;
};

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OE_FOLDERS_H_
