// The file-list page: filling and emptying the list, and Convert over it.
#include "converter/wizard/qt/frm_choose_dbx.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "converter/discovery/dbx_search.h"
#include "converter/discovery/path_names.h"
#include "converter/engine/texts.h"
#include "converter/wizard/batch_driver.h"
#include "converter/wizard/qt/dialogs.h"
#include "converter/wizard/qt/shell.h"

namespace tollan {

std::string FolderSearchText(size_t found, int unreadable_folders) {
  std::string text = std::to_string(found) + " (.dbx) files found.";
  if (unreadable_folders > 0) {
    text += kCrLf + std::to_string(unreadable_folders) +
            " folder(s) could not be read and were left out of the search.";
  }
  return text;
}

FrmChooseDBX::FrmChooseDBX()
    : ConversionPageWidget(QStringLiteral("frmChooseDBX"), QStringLiteral("Convert &Messages")) {
  grid_ = new QTableWidget(1, 1, this);
  grid_->setObjectName(QStringLiteral("grdFiles1"));
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setTextElideMode(Qt::ElideMiddle);
  grid_->setWordWrap(false);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 8);
  grid_->setMinimumHeight(120);

  count_ = new QLabel(QStringLiteral("0 files"), this);
  count_->setObjectName(QStringLiteral("lblCount1"));
  folder_text_ = new QLineEdit(this);
  folder_text_->setObjectName(QStringLiteral("txtDBXFolder"));
  folder_text_->setReadOnly(true);
  add_ = new QPushButton(QStringLiteral("Add DBX File(s)..."), this);
  add_->setObjectName(QStringLiteral("cmdAdd"));
  add_folder_ = new QPushButton(QStringLiteral("Select..."), this);
  add_folder_->setObjectName(QStringLiteral("CmdAddFolder"));
  clear_ = new QPushButton(QStringLiteral("Clear File(s)..."), this);
  clear_->setObjectName(QStringLiteral("cmdClear1"));

  file_dialog_ = new QFileDialog(this);
  file_dialog_->setObjectName(QStringLiteral("cdlgFile"));
  file_dialog_->setNameFilter(QString::fromLatin1(kDbxFileFilter));
  file_dialog_->setFileMode(QFileDialog::ExistingFiles);
  file_dialog_->setAcceptMode(QFileDialog::AcceptOpen);

  auto* folder_row = new QHBoxLayout();
  folder_row->addWidget(new QLabel(QStringLiteral("Folder :"), this));
  folder_row->addWidget(folder_text_, 1);
  folder_row->addWidget(add_folder_);
  auto* list_row = new QHBoxLayout();
  list_row->addWidget(count_);
  list_row->addStretch(1);
  list_row->addWidget(add_);
  list_row->addWidget(clear_);
  Body()->addLayout(folder_row);
  Body()->addWidget(grid_, 1);
  Body()->addLayout(list_row);
  resize(640, 600);

  connect(add_, &QPushButton::clicked, this, [this] { AddFiles(); });
  connect(add_folder_, &QPushButton::clicked, this, [this] { AddFolder(); });
  connect(clear_, &QPushButton::clicked, this, [this] { Clear(); });
}

void FrmChooseDBX::AddFiles() {
  if (searching_) return;
  file_dialog_->selectFile(QString());
  QStringList files = WizardDialogs().OpenFiles(file_dialog_);
  DoEvents();
  if (files.isEmpty()) return;
  convert_button_->setEnabled(true);
  for (const QString& file : files) {
    DoEvents();
    const QByteArray bytes = QFile::encodeName(file);
    AddFileToList(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
  }
}

void FrmChooseDBX::AddFolder() {
  if (searching_) return;
  const QString before = folder_text_->text();
  std::string folder = tollan::BrowseForFolder(this, kChooseSourceFolderTitle);
  if (folder.empty()) {
    folder_text_->setText(before);
    return;
  }
  folder = WithTrailingSeparator(folder);
  folder_text_->setText(QString::fromLatin1(kSearchingText));
  searching_ = true;
  add_->setEnabled(false);
  add_folder_->setEnabled(false);
  clear_->setEnabled(false);
  SetBusyPointer(true);
  const auto yield = [this] { DoEvents(); };
  DbxSearchResult result = search_ ? search_(folder, yield) : FindDbxFiles(folder, yield);
  size_t found = 0;
  for (const std::string& path : result.files) {
    DoEvents();
    AddFileToList(path);
    ++found;
  }
  SetBusyPointer(false);
  add_->setEnabled(true);
  add_folder_->setEnabled(true);
  clear_->setEnabled(true);
  searching_ = false;
  convert_button_->setEnabled(found > 0);
  Ask(QString::fromStdString(FolderSearchText(found, result.unreadable_folders)), MsgButtons::kOk,
      MsgIcon::kNone);
  folder_text_->setText(found > 0 ? QString::fromStdString(folder) : QString());
}

void FrmChooseDBX::Clear() {
  if (searching_) return;
  if (Cell(0).empty()) return;
  if (Ask(QString::fromLatin1(kClearQuestion), MsgButtons::kYesNo, MsgIcon::kQuestion) ==
      MsgAnswer::kYes) {
    ClearList();
  }
}

void FrmChooseDBX::AddFileToList(const std::string& bytes) {
  // Invalid UTF-8 shows as replacement characters; the row keeps the bytes.
  const QString path = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  int row = 0;
  if (grid_->rowCount() == 1 && Cell(0).empty()) {
    row = 0;
  } else {
    row = grid_->rowCount();
    grid_->setRowCount(row + 1);
  }
  auto* item = new QTableWidgetItem(path);
  item->setToolTip(path);
  item->setData(Qt::UserRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  grid_->setItem(row, 0, item);
  grid_->setCurrentCell(row, 0);
  DoEvents();
  UpdateCount();
}

void FrmChooseDBX::ClearList() {
  grid_->clearContents();
  grid_->setRowCount(1);
  count_->setText(QStringLiteral("0 files"));
}

void FrmChooseDBX::UpdateCount() {
  count_->setText(QString::number(grid_->rowCount()) + QStringLiteral(" files"));
}

int32_t FrmChooseDBX::Rows() { return grid_->rowCount(); }

std::string FrmChooseDBX::Cell(int32_t row) {
  QTableWidgetItem* item = grid_->item(row, 0);
  if (item == nullptr) return std::string();
  const QVariant bytes = item->data(Qt::UserRole);
  if (!bytes.isValid()) return item->text().toStdString();
  const QByteArray b = bytes.toByteArray();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

void FrmChooseDBX::SelectRow(int32_t row) { grid_->setCurrentCell(row, 0); }

void FrmChooseDBX::Convert() {
  if (searching_) return;
  FileListSource source(this, this, Env());
  BatchDriver(this, &source, Env().sessions).Run(&state_);
}

void FrmChooseDBX::LockOwnControls(bool locked) {
  // The driver walks the list as it stands: it must not change under a run.
  add_->setEnabled(!locked);
  add_folder_->setEnabled(!locked);
  clear_->setEnabled(!locked);
}

}  // namespace tollan
