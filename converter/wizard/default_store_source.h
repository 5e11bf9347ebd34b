// The default-store page's reader work: finding and opening the store of the
// current Outlook Express identity through Kestrel (created by class
// identity), and the batch source that walks the store's folders with
// ConvertMyDBX.
#ifndef TOLLAN_CONVERTER_WIZARD_DEFAULT_STORE_SOURCE_H_
#define TOLLAN_CONVERTER_WIZARD_DEFAULT_STORE_SOURCE_H_

#include <functional>
#include <string>
#include <vector>

#include "converter/engine/engine.h"
#include "converter/wizard/batch_driver.h"

namespace tollan {

// What the page shows after opening.
struct DefaultStoreView {
  std::string store_folder;  // LblDefaultOEIdentity
  std::string folder_count;  // LblDBXFolders; empty when not known
  // Empty when the store was found and opened; otherwise what the page says
  // instead (no reader component, no default identity, a store that does not
  // open).
  std::string problem;
};

// The page's opening steps: create OE into state.MyOE when it is not set,
// read its DefaultStore, point OEStore at it, OpenStore, count the folders.
DefaultStoreView OpenDefaultStore(PageState& state);

// The same for the identity whose user name is `identity` (compared without
// regard to case); "" is the current identity, as OpenDefaultStore.
DefaultStoreView OpenIdentityStore(PageState& state, const std::string& identity);

// The store folder of `identity` as this machine reaches it (OEStore after
// assigning the identity's StorePath); "" with *problem set when `oe` has no
// such identity. Leaves OEStore pointing at that folder.
std::string IdentityStoreFolder(_OE* oe, const std::string& identity, std::string* problem);

// Points OEStore of state.MyOE at view->store_folder, opens the store and
// counts its folders, or sets view->problem.
void OpenShownStore(PageState& state, DefaultStoreView* view);

// Creates a new OE object of the registered reader component.
HRESULT CreateReader(com::ComPtr<_OE>* out, std::string* why);

// OEStore = folder.
HRESULT SetStoreFolder(_OE* oe, const std::string& folder);

// The folders of the store open in `oe`, in collection order.
HRESULT ListFolders(_OE* oe, std::vector<com::ComPtr<_OEFolder>>* out);

class DefaultStoreSource : public BatchSource {
 public:
  // `store_folder` reads the store folder the page shows (its label).
  DefaultStoreSource(ConversionPage* page, std::function<std::string()> store_folder, EngineEnv env);

  std::string SinglePstFilePrefix() const override { return "Tollan"; }
  std::string SinglePstDisplayPrefix() const override { return "Tollan"; }
  bool FailuresEndRun() const override { return false; }
  bool IsEmpty() override { return false; }
  bool Prepare(ConversionPage& page, PageState& state) override;
  int32_t Count() override { return static_cast<int32_t>(folders_.size()); }
  bool EntryPath(int32_t k, std::string* dbx_path) override;
  void Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
               PageState& state) override;
  void Finish(ConversionPage& page, PageState& state) override;

 private:
  ConversionPage* page_;
  std::function<std::string()> store_folder_;
  EngineEnv env_;
  std::string folder_text_;
  std::vector<com::ComPtr<_OEFolder>> folders_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_DEFAULT_STORE_SOURCE_H_
