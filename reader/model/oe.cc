// OE: store directory, folder list and identities.

#include "reader/model/oe.h"

#include "platform/text/utf.h"
#include "reader/dbx/folder_list.h"
#include "reader/dbx/store_path.h"
#include "reader/model/oe_folders.h"
#include "reader/model/oe_identities.h"
#include "reader/model/text.h"

namespace kestrel {
namespace {

const MemberThunk kOEThunks[] = {
    [](IDispatch* s, VARIANT*, VARIANT* r) {
      return ObjectResult<_OEIdentities>(
          r, [&](_OEIdentities** out) { return static_cast<_OE*>(s)->get_OEIdentities(out); });
    },
    [](IDispatch* s, VARIANT*, VARIANT* r) {
      return ObjectResult<_OEFolders>(
          r, [&](_OEFolders** out) { return static_cast<_OE*>(s)->get_OEFolders(out); });
    },
    [](IDispatch* s, VARIANT* a, VARIANT*) { return static_cast<_OE*>(s)->put_OEStore(&a[0].bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OE*>(s)->get_OEStore(&r->bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OE*>(s)->get_DefaultUser(&r->bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OE*>(s)->get_DefaultStore(&r->bstrVal); },
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return static_cast<_OE*>(s)->OpenFolder(&a[0].bstrVal, &a[1].boolVal, &r->lVal);
    },
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return static_cast<_OE*>(s)->OpenStore(&a[0].boolVal, &a[1].boolVal, &r->lVal);
    },
};

bool EndsInDbx(std::u16string_view name) {
  return name.size() >= 4 && FoldCase(name.substr(name.size() - 4)) == u".dbx";
}

// The part of `path` after its last separator ("\" as on Windows, or "/").
std::u16string FileNameOf(std::u16string_view path) {
  const size_t last = path.find_last_of(u"\\/");
  return std::u16string(last == std::u16string_view::npos ? path : path.substr(last + 1));
}

}  // namespace

OE::OE() : DispatchObject({&ClassOf(ClassId::kOE), kOEThunks}) {
  DiscoveryResult discovery;
  if (DiscoverFromEnvironment(&discovery).ok()) {
    TakeIdentities(discovery);
  } else {
    identities_ = new OEIdentities();
  }
}

OE::OE(const DiscoveryResult& discovery) : DispatchObject({&ClassOf(ClassId::kOE), kOEThunks}) {
  TakeIdentities(discovery);
}

OE::~OE() {
  if (folders_ != nullptr) folders_->Release();
  if (identities_ != nullptr) identities_->Release();
}

void OE::TakeIdentities(const DiscoveryResult& discovery) {
  identities_ = new OEIdentities();
  default_user_ = text::Utf8ToUtf16(discovery.default_user);
  std::string store_path;
  has_default_store_ = discovery.DefaultStore(&store_path, &default_store_host_);
  default_store_path_ = text::Utf8ToUtf16(store_path);
  for (const IdentityRecord& record : discovery.identities) {
    OEIdentity::Values values;
    values.key = text::Utf8ToUtf16(record.key);
    values.user_name = text::Utf8ToUtf16(record.user_name);
    values.store_path = text::Utf8ToUtf16(record.store_path);
    values.version_number = text::Utf8ToUtf16(record.version_number);
    values.oe_running = record.oe_running;
    values.background_compact = record.background_compact;
    values.migration_done = record.migration_done;
    values.store_host_path = record.store_host_path;
    // Discovery hands out unique keys; a repeated one could only be dropped.
    if (FAILED(identities_->AddValues(std::move(values), nullptr))) SetErrorInfo(0, nullptr);
  }
}

void OE::DropFolders() {
  if (folders_ != nullptr) folders_->Release();
  folders_ = nullptr;
}

HRESULT OE::get_OEIdentities(_OEIdentities** r) { return ReturnObject<_OEIdentities>(identities_, r); }
HRESULT OE::get_OEFolders(_OEFolders** r) { return ReturnObject<_OEFolders>(folders_, r); }

HRESULT OE::put_OEStore(BSTR* vDir) {
  if (vDir == nullptr) return E_POINTER;
  std::u16string dir(tollan::com::BstrView(*vDir));
  // An identity's StorePath, as a client reads it from OEIdentities, names a
  // folder of the registry's Windows; it opens where discovery found it here.
  const std::string host = identities_->HostFolderOf(dir);
  if (!host.empty()) dir = text::Utf8ToUtf16(host);
  if (dir.empty() || dir.back() != u'\\') dir += u'\\';
  ThreadSession().set_store_directory(text::Utf16ToUtf8(dir));
  return S_OK;
}

HRESULT OE::get_OEStore(BSTR* r) { return ReturnString(text::Utf8ToUtf16(ThreadSession().store_directory()), r); }
HRESULT OE::get_DefaultUser(BSTR* r) { return ReturnString(default_user_, r); }

HRESULT OE::get_DefaultStore(BSTR* r) {
  if (r == nullptr) return E_POINTER;
  *r = nullptr;
  if (!has_default_store_) {
    return Raise(tollan::com::kErrInvalidArgument, "DefaultStore",
                 "no identity is filed under the default user \"" + text::Utf16ToUtf8(default_user_) + "\"");
  }
  // The folder as this machine reaches it, so that it can be shown and
  // handed back to OEStore; the Windows form when it cannot be translated.
  if (!default_store_host_.empty()) return ReturnString(text::Utf8ToUtf16(default_store_host_), r);
  return ReturnString(default_store_path_, r);
}

HRESULT OE::OpenFolder(BSTR* sFoldername, VARIANT_BOOL* /*bLock*/, LONG* result) {
  if (sFoldername == nullptr || result == nullptr) return E_POINTER;
  *result = 0;
  std::u16string name(tollan::com::BstrView(*sFoldername));
  if (!EndsInDbx(name)) {
    name += u".dbx";
    BSTR changed = tollan::com::AllocBstr(name);
    if (changed == nullptr) return E_OUTOFMEMORY;
    SysFreeString(*sFoldername);
    *sFoldername = changed;
  }

  dbx::DbxSession& session = ThreadSession();
  std::string found;
  std::string relative = text::Utf16ToUtf8(name);
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  if (dbx::FindStoreFile(session.store_directory(), relative, &found) != dbx::Lookup::kFound) {
    DropFolders();
    *result = dbx::kResultNotFound;
    return S_OK;
  }

  DropFolders();
  folders_ = new OEFolders();
  auto* folder = new OEFolder();
  folder->SetFolderFile(FileNameOf(name));
  folder->SetFolderList(folders_->directory());
  // The caller's bLock is not used: the folder file is opened without a lock.
  VARIANT_BOOL no_lock = VARIANT_FALSE;
  LONG code = 0;
  const HRESULT hr = folder->OpenFolder(&no_lock, &code);
  // A folder named by its file has no folder-list record: its descriptive
  // values keep their defaults.
  folders_->AddFolder(folder);
  if (FAILED(hr)) return hr;
  *result = code;
  return S_OK;
}

HRESULT OE::OpenStore(VARIANT_BOOL* bInactive, VARIANT_BOOL* bLock, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  const bool include_inactive = bInactive != nullptr && *bInactive != VARIANT_FALSE;
  const bool lock = bLock != nullptr && *bLock != VARIANT_FALSE;
  DropFolders();

  dbx::DbxSession& session = ThreadSession();
  bool error_so_far = false;
  if (session.store_directory().empty()) {
    if (!has_default_store_) {
      error_so_far = true;
    } else {
      const std::string store =
          default_store_host_.empty() ? text::Utf16ToUtf8(default_store_path_) : default_store_host_;
      session.set_store_directory(store + "\\");
    }
  }
  // Without any store directory there is nothing to look in (the working
  // directory is not a store).
  if (session.store_directory().empty()) {
    *result = dbx::kResultLookupFailed;
    return S_OK;
  }

  std::string path;
  switch (dbx::FindStoreFile(session.store_directory(), dbx::kFolderListName, &path)) {
    case dbx::Lookup::kFound: break;
    case dbx::Lookup::kLookupFailed:
      *result = dbx::kResultLookupFailed;
      return S_OK;
    case dbx::Lookup::kMissing:
      *result = error_so_far ? dbx::kResultLookupFailed : dbx::kResultNotFound;
      return S_OK;
  }

  const dbx::DbxStatus opened = session.OpenFile(path, lock);
  if (!opened.ok()) {
    *result = opened.code();
    return S_OK;
  }
  std::vector<dbx::DbxFolderRecord> records;
  const dbx::DbxStatus read = dbx::ReadFolderList(*session.open_file(), include_inactive, &records);
  if (read.code() == dbx::kResultWrongSignature) {
    session.CloseFile();
    *result = dbx::kResultWrongSignature;
    return S_OK;
  }
  folders_ = new OEFolders();
  for (const dbx::DbxFolderRecord& record : records) {
    auto* folder = new OEFolder(record);
    folder->SetFolderList(folders_->directory());
    folders_->AddFolder(folder);
  }
  session.CloseFile();
  if (!read.ok()) return Raise(read.code(), "OpenStore", read.message());
  *result = 0;
  return S_OK;
}

}  // namespace kestrel
