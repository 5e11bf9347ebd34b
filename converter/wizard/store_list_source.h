// StoreListSource: the batch source of one run over several Outlook Express
// stores (every identity of a registry, every store found on an old disk).
// It walks the folders of each store in turn, as the default-store page walks
// the folders of one, through the reader component and ConvertMyDBX.
//
// In single-file mode each store gets a .pst of its own, named after the
// store ("NAME d.m.YY H.m.ss.pst"), or, with `one_pst`, all stores share one
// .pst in which each store's folders lie below a top-level folder named after
// it. In separate-file mode every folder gets its own .pst, as on the
// default-store page.
//
// Typical use:
//   StoreListSource source(&page, {{"Main Identity", "/mnt/old/.../Outlook Express"}}, false, env);
//   source.Survey();  // opens each store once; names the ones that do not open
//   BatchDriver(&page, &source, env.sessions).Run(&state);
//
// A store folder without a folder list (Folders.dbx) has its .dbx files
// converted one by one, as files given by hand are. A store that does not
// open (its folder gone, no .dbx file in it) is left out of the walk and
// appears in the run's report as a failed entry named after its folder, so
// the run does not end with status 0.
#ifndef TOLLAN_CONVERTER_WIZARD_STORE_LIST_SOURCE_H_
#define TOLLAN_CONVERTER_WIZARD_STORE_LIST_SOURCE_H_

#include <string>
#include <vector>

#include "converter/engine/engine.h"
#include "converter/wizard/batch_driver.h"

namespace tollan {

struct NamedStore {
  std::string name;    // what its .pst or top-level folder is called
  std::string folder;  // the store folder on this machine
};

class StoreListSource : public BatchSource {
 public:
  StoreListSource(ConversionPage* page, std::vector<NamedStore> stores, bool one_pst, EngineEnv env);

  // Opens each store once and counts its folders. Stores that do not open
  // are kept aside (failed()) and reported by the run.
  void Survey();
  // The stores that did not open, with why, after Survey.
  const std::vector<FileOutcome>& failed() const { return failed_; }

  std::string SinglePstFilePrefix() const override;
  std::string SinglePstDisplayPrefix() const override;
  bool FailuresEndRun() const override { return false; }
  bool IsEmpty() override { return false; }
  bool Prepare(ConversionPage& page, PageState& state) override;
  int32_t Count() override { return total_; }
  bool StartsNewPst(int32_t k) override;
  std::string FolderParent(int32_t k) override;
  bool EntryPath(int32_t k, std::string* dbx_path) override;
  void Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
               PageState& state) override;
  void Finish(ConversionPage& page, PageState& state) override;

 private:
  struct Walked {
    NamedStore store;
    int32_t first = 0;  // its first entry (1-based)
    int32_t count = 0;  // its folders
    // A store folder without a folder list: its .dbx files, converted one
    // by one as files given by hand are.
    std::vector<std::string> files;
  };
  // The walked store holding entry k.
  size_t StoreOf(int32_t k) const;
  // Opens walked store i in state_->MyOE and lists its folders.
  bool OpenStore(size_t i);

  ConversionPage* page_;
  std::vector<NamedStore> stores_;
  bool one_pst_;
  EngineEnv env_;
  std::vector<Walked> walked_;
  std::vector<FileOutcome> failed_;
  int32_t total_ = 0;
  size_t current_ = 0;        // the store whose .pst is being written
  size_t open_ = SIZE_MAX;    // the store open in the reader
  PageState* state_ = nullptr;
  std::vector<com::ComPtr<_OEFolder>> folders_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_STORE_LIST_SOURCE_H_
