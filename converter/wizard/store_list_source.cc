// The batch source of a run over several stores.
#include "converter/wizard/store_list_source.h"

#include <utility>

#include "converter/engine/engine_internal.h"
#include "converter/wizard/default_store_source.h"
#include "converter/wizard/identity_stores.h"
#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/os/file.h"

namespace tollan {

namespace {

// A store's name as one .pst folder name: no path separator inside it.
std::string FolderNameOf(std::string name) {
  for (char& c : name) {
    if (c == '\\' || c == '/') c = '_';
  }
  return name;
}

}  // namespace

StoreListSource::StoreListSource(ConversionPage* page, std::vector<NamedStore> stores, bool one_pst,
                                 EngineEnv env)
    : page_(page), stores_(std::move(stores)), one_pst_(one_pst), env_(std::move(env)) {}

void StoreListSource::Survey() {
  walked_.clear();
  failed_.clear();
  total_ = 0;
  com::ComPtr<_OE> oe;
  std::string why;
  if (FAILED(CreateReader(&oe, &why))) oe.Reset();
  for (const NamedStore& store : stores_) {
    std::string problem = why;
    LONG count = 0;
    std::vector<std::string> files;
    if (oe) {
      VARIANT_BOOL inactive = VARIANT_FALSE, lock = VARIANT_FALSE;
      LONG result = -1;
      HRESULT hr = SetStoreFolder(oe.get(), store.folder);
      if (SUCCEEDED(hr)) hr = oe->OpenStore(&inactive, &lock, &result);
      com::ComPtr<_OEFolders> folders;
      if (SUCCEEDED(hr) && result == kStoreWithoutFolderList) files = FolderFilesIn(store.folder);
      if (FAILED(hr)) {
        problem = "the store could not be opened: " + DescribeError(hr);
      } else if (!files.empty()) {
        count = static_cast<LONG>(files.size());
      } else if (result != 0) {
        problem = StoreOpenProblem(result);
      } else if (SUCCEEDED(oe->get_OEFolders(folders.Out())) && folders) {
        folders->get_Count(&count);
      }
    }
    if (!problem.empty()) {
      FileOutcome outcome;
      outcome.dbx_path = store.folder;
      outcome.file_name = store.name;
      outcome.state = FileOutcome::State::kFailed;
      outcome.error = store.name + ": " + problem;
      failed_.push_back(std::move(outcome));
      continue;
    }
    walked_.push_back({store, total_ + 1, static_cast<int32_t>(count), std::move(files)});
    total_ += static_cast<int32_t>(count);
  }
  // The first .pst is made before the walk: it belongs to the first store
  // that has anything to walk.
  current_ = 0;
  while (current_ + 1 < walked_.size() && walked_[current_].count == 0) ++current_;
}

std::string StoreListSource::SinglePstFilePrefix() const {
  if (one_pst_ || walked_.empty()) return "Tollan";
  return walked_[current_].store.name + " ";
}

std::string StoreListSource::SinglePstDisplayPrefix() const {
  if (one_pst_ || walked_.empty()) return "Tollan";
  return walked_[current_].store.name;
}

bool StoreListSource::Prepare(ConversionPage& page, PageState& state) {
  state_ = &state;
  open_ = SIZE_MAX;
  for (const FileOutcome& f : failed_) state.report.files.push_back(f);
  std::string why;
  if (!state.MyOE && FAILED(CreateReader(&state.MyOE, &why))) {
    page.MsgBox(why, MsgButtons::kOk, MsgIcon::kCritical, kAppTitle);
    return false;
  }
  page.SetBusyPointer(true);
  return true;
}

size_t StoreListSource::StoreOf(int32_t k) const {
  size_t i = 0;
  while (i + 1 < walked_.size() && k >= walked_[i + 1].first) ++i;
  return i;
}

bool StoreListSource::StartsNewPst(int32_t k) {
  if (one_pst_ || walked_.empty()) return false;
  const size_t i = StoreOf(k);
  if (i == current_ || walked_[i].first != k) return false;
  current_ = i;
  return true;
}

std::string StoreListSource::FolderParent(int32_t k) {
  if (!one_pst_ || walked_.empty()) return "";
  return FolderNameOf(walked_[StoreOf(k)].store.name);
}

bool StoreListSource::OpenStore(size_t i) {
  folders_.clear();
  open_ = i;
  state_->MyFolder.Reset();
  VARIANT_BOOL inactive = VARIANT_FALSE, lock = VARIANT_FALSE;
  LONG result = -1;
  HRESULT hr = SetStoreFolder(state_->MyOE.get(), walked_[i].store.folder);
  if (SUCCEEDED(hr)) hr = state_->MyOE->OpenStore(&inactive, &lock, &result);
  state_->StoreResult = result;
  if (FAILED(hr) || result != 0) {
    FileOutcome outcome;
    outcome.dbx_path = walked_[i].store.folder;
    outcome.file_name = walked_[i].store.name;
    outcome.state = FileOutcome::State::kFailed;
    outcome.error = walked_[i].store.name + ": " +
                    StoreOpenProblem(FAILED(hr) ? com::ErrorNumberFromHresult(hr) : result);
    state_->report.files.push_back(std::move(outcome));
    return false;
  }
  return SUCCEEDED(ListFolders(state_->MyOE.get(), &folders_));
}

bool StoreListSource::EntryPath(int32_t k, std::string* dbx_path) {
  if (walked_.empty()) return false;
  const size_t i = StoreOf(k);
  const size_t j = static_cast<size_t>(k - walked_[i].first);
  if (!walked_[i].files.empty()) {
    if (j >= walked_[i].files.size()) return false;
    *dbx_path = walked_[i].files[j];
    page_->DoEvents();
    return true;
  }
  if (i != open_ && !OpenStore(i)) return false;
  if (j >= folders_.size()) return false;
  com::Bstr file;
  if (FAILED(folders_[j]->get_FolderFile(file.out())) || file.view().empty()) return false;
  const std::string folder = os::SlashPath(walked_[i].store.folder);
  *dbx_path = folder.empty() || folder.back() == '/' ? folder + file.utf8() : folder + "/" + file.utf8();
  page_->DoEvents();
  return true;
}

void StoreListSource::Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
                              PageState& state) {
  const Walked& walked = walked_[StoreOf(k)];
  if (!walked.files.empty()) {
    XtractDBX(*page_, state, env_, dbx_path, folder_name);
    return;
  }
  ConvertMyDBX(*page_, state, env_, dbx_path, folder_name, folders_[static_cast<size_t>(k - walked.first)].get());
}

void StoreListSource::Finish(ConversionPage& page, PageState& state) {
  page.SetBusyPointer(false);
  folders_.clear();
  open_ = SIZE_MAX;
  state.MyFolder.Reset();
  state.MyOE.Reset();
}

}  // namespace tollan
