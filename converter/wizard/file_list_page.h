// FileListPage: the logic of the file-list page that is not drawing: the
// list of .dbx files (one path per row; an empty list is one empty row),
// filling it from the open-file dialog or a folder search, emptying it, and
// which controls that enables. Every front end keeps one beside its grid
// and calls it on the buttons' clicks; the page's ConversionPage gives it
// the message boxes, the folder browser, the yield and the Convert button.
//
// Typical use:
//   FileListPage list(page, &controls);
//   list.AddFiles(files_the_dialog_returned);
//   list.AddFolder();           // asks for the folder, searches, tells the count
//   FileListSource source(page, &list, env);
#ifndef TOLLAN_CONVERTER_WIZARD_FILE_LIST_PAGE_H_
#define TOLLAN_CONVERTER_WIZARD_FILE_LIST_PAGE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "converter/discovery/dbx_search.h"
#include "converter/engine/conversion_page.h"
#include "converter/wizard/file_list_source.h"

namespace tollan {

// The controls of the file-list page that the list logic sets.
class FileListControls {
 public:
  virtual ~FileListControls() = default;
  // Row `row` of the grid shows `path` (the grid grows to hold it) and is
  // made the current row.
  virtual void ShowRow(int32_t row, const std::string& path) = 0;
  // The grid is back to one empty row.
  virtual void ClearRows() = 0;
  virtual void SelectGridRow(int32_t row) = 0;
  virtual void SetCountText(const std::string& text) = 0;
  virtual void SetFolderText(const std::string& text) = 0;
  virtual std::string FolderText() = 0;
  // Add, Select... and Clear: off while a folder search or a run is on.
  virtual void SetListButtonsEnabled(bool enabled) = 0;
};

class FileListPage : public FileListView {
 public:
  using FolderSearch =
      std::function<DbxSearchResult(const std::string& folder, const std::function<void()>& yield)>;

  FileListPage(ConversionPage* page, FileListControls* controls);

  // Add files: the files the open-file dialog returned, in its order (none
  // when it was cancelled).
  void AddFiles(const std::vector<std::string>& files);

  // Select...: asks for a folder, searches it for .dbx files (FindDbxFiles
  // unless replaced), adds them, and tells how many were found.
  void AddFolder();
  void set_folder_search(FolderSearch search) { search_ = std::move(search); }

  // Clear...: after the question, the list is empty; Convert keeps its state.
  void Clear();

  // True while a folder search runs (the page then starts nothing else).
  bool searching() const { return searching_; }

  // FileListView: the rows.
  int32_t Rows() override { return static_cast<int32_t>(rows_.size()); }
  std::string Cell(int32_t row) override;
  void SelectRow(int32_t row) override { controls_->SelectGridRow(row); }

 private:
  void AddFileToList(const std::string& path);

  ConversionPage* page_;
  FileListControls* controls_;
  std::vector<std::string> rows_{std::string()};
  FolderSearch search_;
  bool searching_ = false;
};

// The text shown after a folder search: the count, and on a second line how
// many folders of the tree could not be read, when any.
std::string FolderSearchText(size_t found, int unreadable_folders);

// The files of a multiple-selection open-file dialog's answer: the folder,
// then each name, every part ended by a NUL ("C:\a\0x.dbx\0y.dbx\0\0"), or
// one full path alone ("C:\a\x.dbx\0\0"); full paths in the dialog's order.
std::vector<std::string> SplitOpenFileNames(const std::string& answer);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_FILE_LIST_PAGE_H_
