// The file-list page: filling and emptying the list, and Convert over it.
#include "converter/wizard/qt/frm_choose_dbx.h"

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

#include "converter/wizard/batch_driver.h"
#include "converter/wizard/qt/dialogs.h"

namespace tollan {

FrmChooseDBX::FrmChooseDBX()
    : ConversionPageWidget(QStringLiteral("frmChooseDBX"), QString::fromLatin1(kFileListConvertText)) {
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

  count_ = new QLabel(QString::fromLatin1(kNoFilesText), this);
  count_->setObjectName(QStringLiteral("lblCount1"));
  folder_text_ = new QLineEdit(this);
  folder_text_->setObjectName(QStringLiteral("txtDBXFolder"));
  folder_text_->setReadOnly(true);
  add_ = new QPushButton(QString::fromLatin1(kCmdAddText), this);
  add_->setObjectName(QStringLiteral("cmdAdd"));
  add_folder_ = new QPushButton(QString::fromLatin1(kCmdAddFolderText), this);
  add_folder_->setObjectName(QStringLiteral("CmdAddFolder"));
  clear_ = new QPushButton(QString::fromLatin1(kCmdClearText), this);
  clear_->setObjectName(QStringLiteral("cmdClear1"));

  file_dialog_ = new QFileDialog(this);
  file_dialog_->setObjectName(QStringLiteral("cdlgFile"));
  file_dialog_->setNameFilter(QString::fromLatin1(kDbxFileFilter));
  file_dialog_->setFileMode(QFileDialog::ExistingFiles);
  file_dialog_->setAcceptMode(QFileDialog::AcceptOpen);

  auto* folder_row = new QHBoxLayout();
  folder_row->addWidget(new QLabel(QString::fromLatin1(kFolderLabelText), this));
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
  if (list_.searching()) return;
  file_dialog_->selectFile(QString());
  QStringList chosen = WizardDialogs().OpenFiles(file_dialog_);
  DoEvents();
  std::vector<std::string> files;
  for (const QString& file : chosen) {
    const QByteArray bytes = QFile::encodeName(file);
    files.emplace_back(bytes.constData(), static_cast<size_t>(bytes.size()));
  }
  list_.AddFiles(files);
}

void FrmChooseDBX::ShowRow(int32_t row, const std::string& bytes) {
  // Invalid UTF-8 shows as replacement characters.
  const QString path = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (row >= grid_->rowCount()) grid_->setRowCount(row + 1);
  auto* item = new QTableWidgetItem(path);
  item->setToolTip(path);
  grid_->setItem(row, 0, item);
  grid_->setCurrentCell(row, 0);
}

void FrmChooseDBX::ClearRows() {
  grid_->clearContents();
  grid_->setRowCount(1);
}

void FrmChooseDBX::SelectGridRow(int32_t row) { grid_->setCurrentCell(row, 0); }

void FrmChooseDBX::SetCountText(const std::string& text) { count_->setText(QString::fromStdString(text)); }

void FrmChooseDBX::SetFolderText(const std::string& text) {
  folder_text_->setText(QString::fromStdString(text));
}

std::string FrmChooseDBX::FolderText() { return folder_text_->text().toStdString(); }

void FrmChooseDBX::SetListButtonsEnabled(bool enabled) {
  add_->setEnabled(enabled);
  add_folder_->setEnabled(enabled);
  clear_->setEnabled(enabled);
}

void FrmChooseDBX::Convert(const EngineEnv& env) {
  if (list_.searching()) return;
  FileListSource source(this, &list_, env);
  BatchDriver(this, &source, env.sessions).Run(&state_);
}

void FrmChooseDBX::LockOwnControls(bool locked) {
  // The driver walks the list as it stands: it must not change under a run.
  SetListButtonsEnabled(!locked);
}

}  // namespace tollan
