// The default-store page's reader work and batch source.
#include "converter/wizard/default_store_source.h"

#include <utility>

#include "converter/engine/engine_internal.h"
#include "converter/engine/texts.h"
#include "platform/com/activation.h"
#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/os/file.h"
#include "reader/model/guids.h"

namespace tollan {

namespace {

// The reader gives a store folder in Windows form on Windows; the
// converter's paths have '/' throughout.
std::string JoinPath(const std::string& store_folder, const std::string& file) {
  const std::string folder = os::SlashPath(store_folder);
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + file;
  return folder + "/" + file;
}

}  // namespace

HRESULT ListFolders(_OE* oe, std::vector<com::ComPtr<_OEFolder>>* out) {
  out->clear();
  com::ComPtr<_OEFolders> folders;
  HRESULT hr = oe->get_OEFolders(folders.Out());
  if (FAILED(hr)) return hr;
  if (!folders) return S_OK;
  com::ComPtr<IUnknown> unknown;
  hr = folders->get_NewEnum(unknown.Out());
  if (FAILED(hr)) return hr;
  auto items = unknown.As<IEnumVARIANT>(IID_IEnumVARIANT);
  if (!items) return E_NOINTERFACE;
  for (;;) {
    com::Variant item;
    ULONG fetched = 0;
    hr = items->Next(1, item.get(), &fetched);
    if (hr != S_OK || fetched == 0) break;
    if (item.vt() != VT_DISPATCH || item.get()->pdispVal == nullptr) continue;
    com::ComPtr<_OEFolder> folder;
    item.get()->pdispVal->QueryInterface(kestrel::IID__OEFolder, folder.OutVoid());
    if (folder) out->push_back(std::move(folder));
  }
  return S_OK;
}

// The member takes its argument by reference.
HRESULT SetStoreFolder(_OE* oe, const std::string& folder) {
  com::Bstr dir(folder.c_str());
  BSTR arg = dir.get();
  HRESULT hr = oe->put_OEStore(&arg);
  if (arg != dir.get()) SysFreeString(arg);
  return hr;
}

HRESULT CreateReader(com::ComPtr<_OE>* out, std::string* why) {
  HRESULT hr = com::CreateInstance(kestrel::CLSID_OE, kestrel::IID__OE, out->OutVoid());
  if (FAILED(hr) && why) {
    *why = "The Outlook Express reader component (Kestrel) is not available: " + DescribeError(hr) +
#if defined(_WIN32)
           ". Register it with \"regsvr32 kestrel.dll\".";
#else
           ". Register it with \"kestrel register\".";
#endif
  }
  return hr;
}

DefaultStoreView OpenDefaultStore(PageState& state) {
  DefaultStoreView view;
  if (!state.MyOE) {
    HRESULT hr = CreateReader(&state.MyOE, &view.problem);
    if (FAILED(hr)) return view;
  }
  com::Bstr store;
  HRESULT hr = state.MyOE->get_DefaultStore(store.out());
  if (FAILED(hr)) {
    view.problem = "No Outlook Express identity was found for this user (" + DescribeError(hr) +
                   "), so there is no default store to convert. Choose the .dbx files by hand "
                   "instead.";
    return view;
  }
  view.store_folder = store.utf8();
  OpenShownStore(state, &view);
  return view;
}

DefaultStoreView OpenIdentityStore(PageState& state, const std::string& identity) {
  if (identity.empty()) return OpenDefaultStore(state);
  DefaultStoreView view;
  if (!state.MyOE) {
    HRESULT hr = CreateReader(&state.MyOE, &view.problem);
    if (FAILED(hr)) return view;
  }
  view.store_folder = IdentityStoreFolder(state.MyOE.get(), identity, &view.problem);
  if (view.problem.empty()) OpenShownStore(state, &view);
  return view;
}

std::string IdentityStoreFolder(_OE* oe, const std::string& identity, std::string* problem) {
  com::ComPtr<_OEIdentities> identities;
  com::ComPtr<_OEIdentity> found;
  com::Variant key = com::Variant::String(identity);
  com::Bstr path;
  HRESULT hr = oe->get_OEIdentities(identities.Out());
  if (SUCCEEDED(hr) && identities) hr = identities->get_Item(key.get(), found.Out());
  if (SUCCEEDED(hr) && found) hr = found->get_StorePath(path.out());
  if (FAILED(hr) || !found) {
    *problem = "There is no Outlook Express identity \"" + identity + "\" (" + DescribeError(hr) + ").";
    return "";
  }
  // The reader opens the identity's folder where it lies on this machine;
  // OEStore reads back that place.
  com::Bstr host;
  if (FAILED(SetStoreFolder(oe, path.utf8())) || FAILED(oe->get_OEStore(host.out()))) return path.utf8();
  std::string folder = host.utf8();
  if (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  return folder;
}

void OpenShownStore(PageState& state, DefaultStoreView* out) {
  DefaultStoreView& view = *out;
  HRESULT hr = SetStoreFolder(state.MyOE.get(), view.store_folder);
  VARIANT_BOOL inactive = VARIANT_FALSE, lock = VARIANT_FALSE;
  LONG result = -1;
  if (SUCCEEDED(hr)) hr = state.MyOE->OpenStore(&inactive, &lock, &result);
  if (FAILED(hr)) {
    view.problem = "The Outlook Express store could not be opened: " + DescribeError(hr);
    return;
  }
  state.StoreResult = result;
  if (result != 0) {
    view.problem = "The Outlook Express store in " + view.store_folder +
                   " could not be opened (code " + std::to_string(result) + ").";
    return;
  }
  com::ComPtr<_OEFolders> folders;
  LONG count = 0;
  if (SUCCEEDED(state.MyOE->get_OEFolders(folders.Out())) && folders &&
      SUCCEEDED(folders->get_Count(&count))) {
    view.folder_count = std::to_string(count);
  }
}

DefaultStoreSource::DefaultStoreSource(ConversionPage* page, std::function<std::string()> store_folder,
                                       EngineEnv env)
    : page_(page), store_folder_(std::move(store_folder)), env_(std::move(env)) {}

bool DefaultStoreSource::Prepare(ConversionPage& page, PageState& state) {
  folders_.clear();
  std::string why;
  if (!state.MyOE && FAILED(CreateReader(&state.MyOE, &why))) {
    page.MsgBox(why, MsgButtons::kOk, MsgIcon::kCritical, kAppTitle);
    return false;
  }
  folder_text_ = store_folder_();
  SetStoreFolder(state.MyOE.get(), folder_text_);
  VARIANT_BOOL inactive = VARIANT_FALSE, lock = VARIANT_FALSE;
  LONG result = -1;
  HRESULT hr = state.MyOE->OpenStore(&inactive, &lock, &result);
  if (FAILED(hr)) result = com::ErrorNumberFromHresult(hr);
  state.StoreResult = result;
  if (result != 0) {
    page.MsgBox(kOpenStoreFailedText + std::to_string(result), MsgButtons::kOk, MsgIcon::kCritical,
                kOpenStoreFailedTitle);
    state.MyOE.Reset();
    return false;
  }
  ListFolders(state.MyOE.get(), &folders_);
  page.SetBusyPointer(true);
  return true;
}

bool DefaultStoreSource::EntryPath(int32_t k, std::string* dbx_path) {
  com::ComPtr<_OEFolder>& folder = folders_[static_cast<size_t>(k - 1)];
  com::Bstr file;
  if (FAILED(folder->get_FolderFile(file.out())) || file.view().empty()) return false;
  *dbx_path = JoinPath(folder_text_, file.utf8());
  page_->DoEvents();
  return true;
}

void DefaultStoreSource::Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
                                 PageState& state) {
  ConvertMyDBX(*page_, state, env_, dbx_path, folder_name, folders_[static_cast<size_t>(k - 1)].get());
}

void DefaultStoreSource::Finish(ConversionPage& page, PageState& state) {
  page.SetBusyPointer(false);
  folders_.clear();
  state.MyFolder.Reset();
  state.MyOE.Reset();
}

}  // namespace tollan
