// frmChooseDBX: the file-list page. The user builds the list of .dbx files
// to convert in the grid grdFiles1 (one full path per row): files picked in
// the open-file dialog, or every .dbx file found below a chosen folder.
// Convert runs the batch driver over the rows in list order.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_
#define TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_

#include <QStringList>
#include <functional>
#include <string>

#include "converter/discovery/dbx_search.h"
#include "converter/wizard/file_list_source.h"
#include "converter/wizard/qt/conversion_page_widget.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tollan {

inline constexpr const char* kDbxFileFilter = "Outlook Express Mailstores (*.dbx)";
inline constexpr const char* kChooseSourceFolderTitle = "Choose Source Folder...";
inline constexpr const char* kSearchingText = "Please wait checking for dbx files(s)...";
inline constexpr const char* kClearQuestion = "Do you want to clear all the files in the list\r\n Proceed?";

class FrmChooseDBX : public ConversionPageWidget, public FileListView {
 public:
  FrmChooseDBX();

  // The three buttons of the list.
  void AddFiles();
  void AddFolder();
  void Clear();

  // The folder search Select... runs (FindDbxFiles unless replaced, as tests
  // do to make a folder fail).
  using FolderSearch =
      std::function<DbxSearchResult(const std::string& folder, const std::function<void()>& yield)>;
  void set_folder_search(FolderSearch search) { search_ = std::move(search); }

  // FileListView: the grid's rows.
  int32_t Rows() override;
  std::string Cell(int32_t row) override;
  void SelectRow(int32_t row) override;

 protected:
  void Convert() override;
  void LockOwnControls(bool locked) override;

 private:
  // Adds a row for the file at `path`, kept as its bytes (what the row
  // shows is made fit to show).
  void AddFileToList(const std::string& path);
  void ClearList();
  void UpdateCount();

  QTableWidget* grid_ = nullptr;
  QLabel* count_ = nullptr;
  QLineEdit* folder_text_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* add_folder_ = nullptr;
  QPushButton* clear_ = nullptr;
  QFileDialog* file_dialog_ = nullptr;
  FolderSearch search_;
  bool searching_ = false;
};

// The text shown after a folder search: the count, and on a second line how
// many folders of the tree could not be read, when any.
std::string FolderSearchText(size_t found, int unreadable_folders);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_
