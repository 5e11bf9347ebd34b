// The default-store page.
#include "converter/wizard/qt/frm_default_oe.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "converter/wizard/batch_driver.h"
#include "converter/wizard/default_store_source.h"
#include "converter/wizard/page_logic.h"
#include "converter/wizard/page_texts.h"

namespace tollan {

FrmDefaultOE::FrmDefaultOE()
    : ConversionPageWidget(QStringLiteral("frmDefaultOE"), QString::fromLatin1(kDefaultStoreConvertText)) {
  auto* heading = new QLabel(QString::fromLatin1(kDefaultStoreHeading), this);
  heading->setObjectName(QStringLiteral("lblCount1"));
  store_folder_ = new QLabel(this);
  store_folder_->setObjectName(QStringLiteral("LblDefaultOEIdentity"));
  store_folder_->setFrameShape(QFrame::StyledPanel);
  store_folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  store_folder_->setMinimumWidth(1);
  store_folder_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* count_heading = new QLabel(QString::fromLatin1(kFoldersFoundText), this);
  count_heading->setObjectName(QStringLiteral("Label1"));
  folder_count_ = new QLabel(this);
  folder_count_->setObjectName(QStringLiteral("LblDBXFolders"));
  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("LblStoreProblem"));
  problem_->setWordWrap(true);
  problem_->setStyleSheet(QStringLiteral("color: #a00000;"));
  problem_->hide();

  auto* grid = new QGridLayout();
  grid->addWidget(heading, 0, 0, 1, 2);
  grid->addWidget(store_folder_, 1, 0, 1, 2);
  grid->addWidget(count_heading, 2, 0);
  grid->addWidget(folder_count_, 2, 1);
  grid->setColumnStretch(1, 1);
  Body()->addLayout(grid);
  Body()->addWidget(problem_);
  resize(600, 470);

  // Loading: find and open the store of the default identity.
  ShowStore();
}

void FrmDefaultOE::ShowStore() {
  state_.MyOE.Reset();
  DefaultStoreView view = OpenIdentityStore(state_, identity_);
  problem_->hide();
  store_folder_->setText(QString::fromStdString(view.store_folder));
  store_folder_->setToolTip(store_folder_->text());
  folder_count_->setText(QString::fromStdString(view.folder_count));
  if (!view.problem.empty()) {
    problem_->setText(ForDisplay(view.problem));
    problem_->show();
  }
}

void FrmDefaultOE::Convert(const EngineEnv& env) {
  DefaultStoreSource source(this, [this] { return store_folder_->text().toStdString(); }, env);
  BatchDriver(this, &source, env.sessions).Run(&state_);
}

void FrmDefaultOE::OfferOptions(ConversionOptions* options) {
  OfferIdentities(identity_, options);
}

void FrmDefaultOE::TakeOptions(const ConversionOptions& options) {
  if (options.identity.empty() || options.identity == identity_) return;
  identity_ = options.identity;
  ShowStore();
}

void FrmDefaultOE::closeEvent(QCloseEvent* event) {
  ConversionPageWidget::closeEvent(event);
  if (!event->isAccepted()) return;
  // Unloading: close the folder the engine still has open.
  if (state_.MyFolder) {
    state_.MyFolder->CloseFolder();
    state_.MyFolder.Reset();
  }
  state_.MyOE.Reset();
}

}  // namespace tollan
