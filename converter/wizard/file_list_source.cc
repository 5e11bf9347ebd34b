// The file-list page's batch source.
#include "converter/wizard/file_list_source.h"

#include <utility>

namespace tollan {

FileListSource::FileListSource(ConversionPage* page, FileListView* list, EngineEnv env)
    : page_(page), list_(list), env_(std::move(env)) {}

bool FileListSource::IsEmpty() {
  return list_->Rows() == 0 || (list_->Rows() == 1 && list_->Cell(0).empty());
}

bool FileListSource::EntryPath(int32_t k, std::string* dbx_path) {
  list_->SelectRow(k - 1);
  page_->DoEvents();
  *dbx_path = list_->Cell(k - 1);
  return true;
}

void FileListSource::Convert(int32_t, const std::string& dbx_path, const std::string& folder_name,
                             PageState& state) {
  XtractDBX(*page_, state, env_, dbx_path, folder_name);
}

}  // namespace tollan
