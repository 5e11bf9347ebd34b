// The identities of a registry and their stores, through the reader component.
#include "converter/wizard/identity_stores.h"

#include <algorithm>
#include <filesystem>

#include "converter/discovery/dbx_search.h"
#include "converter/engine/components.h"
#include "converter/engine/engine_internal.h"
#include "converter/wizard/default_store_source.h"
#include "platform/com/automation.h"
#include "platform/os/file.h"
#include "reader/model/guids.h"

namespace tollan {

namespace {

// The messages the indexes of the folder files reach: what a conversion
// finds, whatever the folder list's counts say (they may be stale). A file
// that cannot be read adds none.
int64_t CountFileMessages(const std::vector<std::string>& paths) {
  com::ComPtr<IDbxMessageReader> reader;
  if (FAILED(CreateEngineComponent(CLSID_DbxMessageReader, IID_IDbxMessageReader, reader.OutVoid()))) return -1;
  int64_t total = 0;
  for (const std::string& path : paths) {
    BSTR bytes = SysAllocStringByteLen(path.data(), static_cast<UINT>(path.size()));
    LONG count = 0;
    if (SUCCEEDED(reader->OpenDbxBytes(bytes)) && SUCCEEDED(reader->CountMessages(&count)) && count > 0) {
      total += count;
    }
    SysFreeString(bytes);
    reader->CloseDbx();
  }
  return total;
}

// Counts the messages of the store at `store_folder`, open in `oe`.
int64_t CountOpenStore(_OE* oe, const std::string& store_folder) {
  std::vector<com::ComPtr<_OEFolder>> folders;
  if (FAILED(ListFolders(oe, &folders))) return -1;
  std::vector<std::string> paths;
  for (const auto& folder : folders) {
    com::Bstr file;
    if (FAILED(folder->get_FolderFile(file.out())) || file.view().empty()) continue;
    paths.push_back(os::Utf8Path(os::FsPath(store_folder) / os::FsPath(file.utf8())));
  }
  return CountFileMessages(paths);
}

int64_t OpenAndCount(_OE* oe, const std::string& folder, std::string* problem) {
  VARIANT_BOOL inactive = VARIANT_FALSE, lock = VARIANT_FALSE;
  LONG result = -1;
  HRESULT hr = SetStoreFolder(oe, folder);
  if (SUCCEEDED(hr)) hr = oe->OpenStore(&inactive, &lock, &result);
  if (FAILED(hr)) {
    *problem = "the store could not be opened: " + DescribeError(hr);
    return -1;
  }
  if (result == kStoreWithoutFolderList) {
    const std::vector<std::string> files = FolderFilesIn(folder);
    if (!files.empty()) return CountFileMessages(files);
  }
  if (result != 0) {
    *problem = StoreOpenProblem(result);
    return -1;
  }
  return CountOpenStore(oe, folder);
}

}  // namespace

std::string StoreOpenProblem(long code) {
  const char* why = "";
  switch (code) {
    case 1000: why = ": the folder is gone or cannot be read"; break;
    case kStoreWithoutFolderList: why = ": no Folders.dbx there"; break;
    case 1002: why = ": its Folders.dbx is not an Outlook Express folder list"; break;
    case 1003: why = ": access denied; Outlook Express may hold it open"; break;
  }
  return "the store could not be opened (code " + std::to_string(code) + why + ")";
}

std::vector<std::string> FolderFilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(os::FsPath(folder), ec)) {
    const std::string path = os::Utf8Path(e.path());
    if (e.is_regular_file(ec) && HasDbxExtension(path)) files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  return files;
}

int64_t CountStoreMessages(const std::string& folder, std::string* problem) {
  com::ComPtr<_OE> oe;
  if (FAILED(CreateReader(&oe, problem))) return -1;
  return OpenAndCount(oe.get(), folder, problem);
}

bool ListIdentityStores(bool count_messages, std::vector<IdentityStore>* out, std::string* current,
                        std::string* why) {
  out->clear();
  com::ComPtr<_OE> oe;
  if (FAILED(CreateReader(&oe, why))) return false;
  com::Bstr user;
  if (SUCCEEDED(oe->get_DefaultUser(user.out()))) *current = user.utf8();
  com::ComPtr<_OEIdentities> identities;
  LONG count = 0;
  if (FAILED(oe->get_OEIdentities(identities.Out())) || !identities || FAILED(identities->get_Count(&count))) {
    return true;
  }
  for (LONG i = 1; i <= count; ++i) {
    com::Variant index = com::Variant::Long(i);
    com::ComPtr<_OEIdentity> identity;
    com::Bstr name, path;
    if (FAILED(identities->get_Item(index.get(), identity.Out())) || !identity ||
        FAILED(identity->get_UserName(name.out())) || FAILED(identity->get_StorePath(path.out()))) {
      continue;
    }
    IdentityStore store;
    store.name = name.utf8();
    store.store_path = path.utf8();
    store.store_folder = IdentityStoreFolder(oe.get(), store.name, &store.problem);
    if (count_messages && store.problem.empty()) {
      store.messages = OpenAndCount(oe.get(), store.store_folder, &store.problem);
    }
    out->push_back(std::move(store));
  }
  return true;
}

}  // namespace tollan
