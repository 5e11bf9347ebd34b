// frmChooseDBX: the file-list page. The user builds the list of .dbx files
// to convert in the grid grdFiles1 (one full path per row): files picked in
// the open-file dialog, or every .dbx file found below a chosen folder.
// Convert runs the batch driver over the rows in list order.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_
#define TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_

#include <string>

#include "converter/wizard/file_list_page.h"
#include "converter/wizard/qt/conversion_page_widget.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tollan {

class FrmChooseDBX : public ConversionPageWidget, private FileListControls {
 public:
  FrmChooseDBX();

  // The three buttons of the list.
  void AddFiles();
  void AddFolder() { list_.AddFolder(); }
  void Clear() { list_.Clear(); }

  // The folder search Select... runs (FindDbxFiles unless replaced, as tests
  // do to make a folder fail).
  void set_folder_search(FileListPage::FolderSearch search) {
    list_.set_folder_search(std::move(search));
  }

 protected:
  void Convert(const EngineEnv& env) override;
  void LockOwnControls(bool locked) override;

 private:
  // FileListControls: the grid shows the list's rows (each path made fit to
  // show; the list keeps its bytes).
  void ShowRow(int32_t row, const std::string& path) override;
  void ClearRows() override;
  void SelectGridRow(int32_t row) override;
  void SetCountText(const std::string& text) override;
  void SetFolderText(const std::string& text) override;
  std::string FolderText() override;
  void SetListButtonsEnabled(bool enabled) override;

  FileListPage list_{this, this};
  QTableWidget* grid_ = nullptr;
  QLabel* count_ = nullptr;
  QLineEdit* folder_text_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* add_folder_ = nullptr;
  QPushButton* clear_ = nullptr;
  QFileDialog* file_dialog_ = nullptr;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_FRM_CHOOSE_DBX_H_
