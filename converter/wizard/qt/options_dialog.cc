// The options dialog of the conversion pages.
#include "converter/wizard/qt/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tollan {

OptionsDialog::OptionsDialog(QWidget* parent, const ConversionOptions& current) : QDialog(parent) {
  setObjectName(QStringLiteral("OptionsDialog"));
  setWindowTitle(QString::fromLatin1(kOptionsTitle));
  setAttribute(Qt::WA_DeleteOnClose);
  keep_tree_ = new QCheckBox(QString::fromUtf8(kKeepFolderTreeText), this);
  keep_tree_->setObjectName(QStringLiteral("ChkKeepFolderTree"));
  keep_tree_->setChecked(current.keep_folder_tree);
  recover_ = new QCheckBox(QString::fromUtf8(kRecoverText), this);
  recover_->setObjectName(QStringLiteral("ChkRecover"));
  recover_->setChecked(current.recover);
  verify_ = new QCheckBox(QString::fromUtf8(kVerifyText), this);
  verify_->setObjectName(QStringLiteral("ChkVerify"));
  verify_->setChecked(current.verify);
  outbox_ = new QCheckBox(QString::fromUtf8(kConvertOutboxText), this);
  outbox_->setObjectName(QStringLiteral("ChkConvertOutbox"));
  outbox_->setChecked(current.convert_outbox);
  report_ = new QLineEdit(QString::fromStdString(current.report_path), this);
  report_->setObjectName(QStringLiteral("TxtReportPath"));
  report_->setPlaceholderText(QString::fromUtf8(kReportBesideText));
  report_->setMinimumWidth(360);
  max_pst_mb_ = new QSpinBox(this);
  max_pst_mb_->setObjectName(QStringLiteral("SpnMaxPstSize"));
  max_pst_mb_->setRange(0, 1 << 30);
  max_pst_mb_->setSuffix(QStringLiteral(" MB"));
  max_pst_mb_->setValue(current.max_pst_mb);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(keep_tree_);
  layout->addWidget(recover_);
  layout->addWidget(verify_);
  layout->addWidget(outbox_);
  layout->addSpacing(8);
  layout->addWidget(new QLabel(QString::fromUtf8(kReportPathLabel), this));
  layout->addWidget(report_);
  layout->addWidget(new QLabel(QString::fromUtf8(kMaxPstSizeLabel), this));
  layout->addWidget(max_pst_mb_);
  if (!current.identities.empty()) {
    identity_ = new QComboBox(this);
    identity_->setObjectName(QStringLiteral("CmbIdentity"));
    for (const std::string& name : current.identities) identity_->addItem(QString::fromStdString(name));
    identity_->setCurrentText(QString::fromStdString(current.identity));
    layout->addSpacing(8);
    layout->addWidget(new QLabel(QString::fromUtf8(kIdentityLabel), this));
    layout->addWidget(identity_);
  }
  layout->addWidget(buttons);
}

ConversionOptions OptionsDialog::Chosen() const {
  ConversionOptions o;
  o.keep_folder_tree = keep_tree_->isChecked();
  o.recover = recover_->isChecked();
  o.verify = verify_->isChecked();
  o.convert_outbox = outbox_->isChecked();
  o.report_path = report_->text().trimmed().toStdString();
  o.max_pst_mb = max_pst_mb_->value();
  if (identity_ != nullptr) o.identity = identity_->currentText().toStdString();
  return o;
}

}  // namespace tollan
