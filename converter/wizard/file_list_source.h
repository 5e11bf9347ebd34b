// FileListSource: the batch source of the file-list page: the rows of its
// grid in list order, each converted with XtractDBX.
#ifndef TOLLAN_CONVERTER_WIZARD_FILE_LIST_SOURCE_H_
#define TOLLAN_CONVERTER_WIZARD_FILE_LIST_SOURCE_H_

#include <string>

#include "converter/engine/engine.h"
#include "converter/wizard/batch_driver.h"

namespace tollan {

// The list of files as the page holds it: one path per row. An empty list is
// one row with an empty cell.
class FileListView {
 public:
  virtual ~FileListView() = default;
  virtual int32_t Rows() = 0;
  virtual std::string Cell(int32_t row) = 0;
  // Makes `row` the current row (the grid scrolls to it).
  virtual void SelectRow(int32_t row) = 0;
};

class FileListSource : public BatchSource {
 public:
  FileListSource(ConversionPage* page, FileListView* list, EngineEnv env);

  std::string SinglePstFilePrefix() const override { return "OutlookExpressMessages"; }
  std::string SinglePstDisplayPrefix() const override { return "Outlook Express Messages"; }
  bool FailuresEndRun() const override { return true; }
  bool IsEmpty() override;
  bool Prepare(ConversionPage&, PageState&) override { return true; }
  int32_t Count() override { return list_->Rows(); }
  bool EntryPath(int32_t k, std::string* dbx_path) override;
  void Convert(int32_t k, const std::string& dbx_path, const std::string& folder_name,
               PageState& state) override;
  void Finish(ConversionPage&, PageState&) override {}

 private:
  ConversionPage* page_;
  FileListView* list_;
  EngineEnv env_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_FILE_LIST_SOURCE_H_
