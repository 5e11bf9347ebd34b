// OEFolder and OEFolders.

#include "reader/model/oe_folders.h"

#include "platform/com/enumerator.h"
#include "platform/text/utf.h"
#include "reader/dbx/folder_file.h"
#include "reader/model/collection_key.h"
#include "reader/model/oe_messages.h"
#include "reader/model/text.h"

namespace kestrel {
namespace {

#define KESTREL_FOLDER_GET(field, Name) \
  [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEFolder*>(s)->get_##Name(&r->field); }

const MemberThunk kFolderThunks[] = {
    KESTREL_FOLDER_GET(lVal, FileSize),
    KESTREL_FOLDER_GET(bstrVal, InternalName),
    KESTREL_FOLDER_GET(boolVal, HasSubfolders),
    KESTREL_FOLDER_GET(boolVal, IsActive),
    KESTREL_FOLDER_GET(lVal, FolderIndex),
    KESTREL_FOLDER_GET(bstrVal, ChildOf),
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return static_cast<_OEFolder*>(s)->OpenFolder(&a[0].boolVal, &r->lVal);
    },
    [](IDispatch* s, VARIANT*, VARIANT*) { return static_cast<_OEFolder*>(s)->CloseFolder(); },
    [](IDispatch* s, VARIANT*, VARIANT* r) {
      return ObjectResult<_OEMessages>(
          r, [&](_OEMessages** out) { return static_cast<_OEFolder*>(s)->get_OEMessages(out); });
    },
    KESTREL_FOLDER_GET(lVal, MessageUnread),
    KESTREL_FOLDER_GET(lVal, MessageCount),
    KESTREL_FOLDER_GET(lVal, SessionNumber),
    KESTREL_FOLDER_GET(bstrVal, SourceType),
    KESTREL_FOLDER_GET(bstrVal, FolderFile),
    [](IDispatch* s, VARIANT* a, VARIANT*) {
      return static_cast<_OEFolder*>(s)->put_FolderFile(&a[0].bstrVal);
    },
    KESTREL_FOLDER_GET(bstrVal, FolderName),
};

#undef KESTREL_FOLDER_GET

const MemberThunk kFoldersThunks[] = {
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return ObjectResult<_OEFolder>(
          r, [&](_OEFolder** out) { return static_cast<_OEFolders*>(s)->get_Item(&a[0], out); });
    },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEFolders*>(s)->get_Count(&r->lVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEFolders*>(s)->get_NewEnum(&r->punkVal); },
};

}  // namespace

OEFolder::OEFolder() : DispatchObject({&ClassOf(ClassId::kOEFolder), kFolderThunks}) {}

OEFolder::OEFolder(const dbx::DbxFolderRecord& record)
    : DispatchObject({&ClassOf(ClassId::kOEFolder), kFolderThunks}),
      folder_index_(record.folder_index),
      parent_index_(record.parent_index),
      folder_name_(FromAnsi(record.folder_name)),
      folder_file_(FromAnsi(record.folder_file)),
      is_active_(record.is_active),
      has_subfolders_(record.has_subfolders),
      message_count_(record.message_count),
      message_unread_(record.message_unread) {}

OEFolder::~OEFolder() {
  if (messages_ != nullptr) messages_->Release();
}

HRESULT OEFolder::OpenFolder(VARIANT_BOOL* bLock, LONG* result) {
  if (result == nullptr) return E_POINTER;
  const bool lock = bLock != nullptr && *bLock != VARIANT_FALSE;
  dbx::DbxSession& session = ThreadSession();
  dbx::DbxFolderContents contents;
  const dbx::DbxFolderOpen open = session.OpenFolder(text::Utf16ToUtf8(folder_file_), lock, &contents);
  if (open.file_opened) {
    file_opened_ = true;
    file_size_ = static_cast<LONG>(open.file_size);
  }
  const int code = open.status.code();
  if (!open.contents_read) {
    // Not found, no name, refused, failed open, or not a folder file.
    *result = code;
    return S_OK;
  }
  internal_name_ = FromAnsi(contents.info.internal_name);
  local_store_ = contents.info.IsLocalStore();
  session_number_ = contents.info.session_number;
  if (messages_ != nullptr) messages_->Release();
  messages_ = new OEMessages();
  const std::string listed_from = session.open_path();
  for (dbx::DbxMessage& message : contents.messages) {
    messages_->AddMessage(std::move(message), listed_from);
  }
  if (code != dbx::kResultOk && code != dbx::kResultUnreadableBody) {
    return Raise(code, "OpenFolder", open.status.message());
  }
  *result = code;
  return S_OK;
}

HRESULT OEFolder::CloseFolder() {
  if (file_opened_) {
    ThreadSession().CloseFile();
    file_opened_ = false;
  }
  return S_OK;
}

HRESULT OEFolder::get_FileSize(LONG* r) { return ReturnValue(file_size_, r); }
HRESULT OEFolder::get_InternalName(BSTR* r) { return ReturnString(internal_name_, r); }
HRESULT OEFolder::get_HasSubfolders(VARIANT_BOOL* r) { return ReturnBool(has_subfolders_, r); }
HRESULT OEFolder::get_IsActive(VARIANT_BOOL* r) { return ReturnBool(is_active_, r); }
HRESULT OEFolder::get_FolderIndex(LONG* r) { return ReturnValue(folder_index_, r); }

HRESULT OEFolder::get_ChildOf(BSTR* r) {
  if (parent_index_ == -1 || directory_ == nullptr) return ReturnString(u"", r);
  for (const auto& entry : directory_->folders) {
    if (entry.first == parent_index_) return ReturnString(entry.second, r);
  }
  return ReturnString(u"", r);
}

HRESULT OEFolder::get_OEMessages(_OEMessages** r) { return ReturnObject<_OEMessages>(messages_, r); }
HRESULT OEFolder::get_MessageUnread(LONG* r) { return ReturnValue(message_unread_, r); }
HRESULT OEFolder::get_MessageCount(LONG* r) { return ReturnValue(message_count_, r); }
HRESULT OEFolder::get_SessionNumber(LONG* r) { return ReturnValue(session_number_, r); }
HRESULT OEFolder::get_SourceType(BSTR* r) {
  return ReturnString(local_store_ ? u"LocalStore" : u"News", r);
}
HRESULT OEFolder::get_FolderFile(BSTR* r) { return ReturnString(folder_file_, r); }
HRESULT OEFolder::put_FolderFile(BSTR* sFile) {
  if (sFile == nullptr) return E_POINTER;
  folder_file_ = std::u16string(tollan::com::BstrView(*sFile));
  return S_OK;
}
HRESULT OEFolder::get_FolderName(BSTR* r) { return ReturnString(folder_name_, r); }

OEFolders::OEFolders()
    : DispatchObject({&ClassOf(ClassId::kOEFolders), kFoldersThunks}),
      directory_(std::make_shared<FolderDirectory>()) {}

OEFolders::~OEFolders() {
  for (OEFolder* item : items_) item->Release();
}

void OEFolders::AddFolder(OEFolder* folder) {
  items_.push_back(folder);
  directory_->folders.emplace_back(folder->folder_index(), folder->folder_name());
}

HRESULT OEFolders::get_Item(VARIANT* vntIndexKey, _OEFolder** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  CollectionKey key;
  if (!ReadCollectionKey(vntIndexKey, &key)) {
    return Raise(tollan::com::kErrTypeMismatch, "Item", "the index is neither a number nor a text");
  }
  double number = key.number;
  if (key.is_number || TextReadsAsNumber(key.text, &number)) {
    for (OEFolder* folder : items_) {
      if (static_cast<double>(folder->folder_index()) == number) {
        return ReturnObject<_OEFolder>(folder, result);
      }
    }
    return S_OK;
  }
  const std::u16string wanted = FoldCase(text::Utf8ToUtf16(key.text));
  for (OEFolder* folder : items_) {
    if (FoldCase(folder->folder_name()) == wanted) return ReturnObject<_OEFolder>(folder, result);
  }
  return S_OK;
}

HRESULT OEFolders::get_Count(LONG* result) { return ReturnValue(items_.size(), result); }

HRESULT OEFolders::get_NewEnum(IUnknown** result) { return tollan::com::NewEnumOver(items_, result); }

}  // namespace kestrel
