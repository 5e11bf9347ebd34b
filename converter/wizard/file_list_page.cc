// The file-list page's list: filling, emptying, and the counts it shows.
#include "converter/wizard/file_list_page.h"

#include "converter/discovery/path_names.h"
#include "converter/engine/texts.h"
#include "converter/wizard/page_texts.h"

namespace tollan {

FileListPage::FileListPage(ConversionPage* page, FileListControls* controls)
    : page_(page), controls_(controls) {}

std::string FileListPage::Cell(int32_t row) {
  if (row < 0 || row >= Rows()) return std::string();
  return rows_[static_cast<size_t>(row)];
}

void FileListPage::AddFiles(const std::vector<std::string>& files) {
  if (searching_ || files.empty()) return;
  page_->SetEnabled(PageControl::kCmdExtractDBX, true);
  for (const std::string& file : files) {
    page_->DoEvents();
    AddFileToList(file);
  }
}

void FileListPage::AddFolder() {
  if (searching_) return;
  const std::string before = controls_->FolderText();
  std::string folder = page_->BrowseForFolder(kChooseSourceFolderTitle);
  if (folder.empty()) {
    controls_->SetFolderText(before);
    return;
  }
  folder = WithTrailingSeparator(folder);
  controls_->SetFolderText(kSearchingText);
  searching_ = true;
  controls_->SetListButtonsEnabled(false);
  page_->SetBusyPointer(true);
  const auto yield = [this] { page_->DoEvents(); };
  DbxSearchResult result = search_ ? search_(folder, yield) : FindDbxFiles(folder, yield);
  size_t found = 0;
  for (const std::string& path : result.files) {
    page_->DoEvents();
    AddFileToList(path);
    ++found;
  }
  page_->SetBusyPointer(false);
  controls_->SetListButtonsEnabled(true);
  searching_ = false;
  page_->SetEnabled(PageControl::kCmdExtractDBX, found > 0);
  page_->MsgBox(FolderSearchText(found, result.unreadable_folders), MsgButtons::kOk, MsgIcon::kNone,
                kAppTitle);
  controls_->SetFolderText(found > 0 ? folder : std::string());
}

void FileListPage::Clear() {
  if (searching_ || Cell(0).empty()) return;
  if (page_->MsgBox(kClearQuestion, MsgButtons::kYesNo, MsgIcon::kQuestion, kAppTitle) !=
      MsgAnswer::kYes) {
    return;
  }
  rows_.assign(1, std::string());
  controls_->ClearRows();
  controls_->SetCountText(kNoFilesText);
}

void FileListPage::AddFileToList(const std::string& path) {
  int32_t row = 0;
  if (rows_.size() == 1 && rows_[0].empty()) {
    rows_[0] = path;
  } else {
    row = Rows();
    rows_.push_back(path);
  }
  controls_->ShowRow(row, path);
  page_->DoEvents();
  controls_->SetCountText(std::to_string(rows_.size()) + " files");
}

std::string FolderSearchText(size_t found, int unreadable_folders) {
  std::string text = std::to_string(found) + " (.dbx) files found.";
  if (unreadable_folders > 0) {
    text += kCrLf + std::to_string(unreadable_folders) +
            " folder(s) could not be read and were left out of the search.";
  }
  return text;
}

std::vector<std::string> SplitOpenFileNames(const std::string& answer) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < answer.size()) {
    size_t end = answer.find('\0', start);
    if (end == std::string::npos) end = answer.size();
    if (end == start) break;  // the empty part after the last name
    parts.push_back(answer.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() < 2) return parts;
  const std::string prefix = WithTrailingSeparator(parts[0], '\\');
  std::vector<std::string> files;
  for (size_t i = 1; i < parts.size(); ++i) files.push_back(prefix + parts[i]);
  return files;
}

}  // namespace tollan
