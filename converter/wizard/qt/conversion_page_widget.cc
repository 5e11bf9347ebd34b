// The shared controls of the conversion pages and the ConversionPage they
// give the batch driver and the engine.
#include "converter/wizard/qt/conversion_page_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "converter/wizard/qt/navigation.h"
#include "converter/wizard/qt/options_dialog.h"
#include "converter/wizard/qt/shell.h"

namespace tollan {
namespace {

QProgressBar* NewBar(const char* name, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(true);
  return bar;
}

QLabel* NewLabel(const char* name, const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

}  // namespace

ConversionPageWidget::ConversionPageWidget(const QString& object_name, const QString& convert_text)
    : WizardPage(object_name) {
  auto* page = new QVBoxLayout(this);
  body_ = new QVBoxLayout();
  page->addLayout(body_);

  frame1_ = new QGroupBox(QString::fromLatin1(kFrame1Text), this);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  opt_one_ = new QRadioButton(QString::fromLatin1(kOptOnePstText), frame1_);
  opt_one_->setObjectName(QStringLiteral("OptOnePST"));
  opt_each_ = new QRadioButton(QString::fromLatin1(kOptEachPstText), frame1_);
  opt_each_->setObjectName(QStringLiteral("OptEachPST"));
  chk_deleted_ = new QCheckBox(QString::fromLatin1(kChkDeletedItemsText), frame1_);
  chk_deleted_->setObjectName(QStringLiteral("ChkDeletedItems"));
  chk_deleted_->setChecked(true);
  auto* options = new QVBoxLayout(frame1_);
  options->addWidget(opt_one_);
  options->addWidget(opt_each_);
  options->addWidget(chk_deleted_);
  page->addWidget(frame1_);

  frame_conversion_ = new QGroupBox(QString::fromLatin1(kFrameConversionText), this);
  frame_conversion_->setObjectName(QStringLiteral("FrameConversion"));
  bar1_ = NewBar("ProgressBar1", frame_conversion_);
  bar2_ = NewBar("ProgressBar2", frame_conversion_);
  lbl_progress_ = NewLabel("LblProgessCurrent", kLblProgessCurrentText, frame_conversion_);
  lbl_current_ = NewLabel("LblCurrentDBX", kLblCurrentDbxText, frame_conversion_);
  // Long file names are cut at the label's edge rather than widening the page.
  lbl_current_->setMinimumWidth(1);
  lbl_current_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* grid = new QGridLayout(frame_conversion_);
  grid->addWidget(NewLabel("Label3", kOverallProgressText, frame_conversion_), 0, 0);
  grid->addWidget(bar1_, 0, 1);
  grid->addWidget(NewLabel("Label2", kFileProgressText, frame_conversion_), 1, 0);
  grid->addWidget(bar2_, 1, 1);
  grid->addWidget(lbl_progress_, 2, 1);
  grid->addWidget(lbl_current_, 3, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  page->addWidget(frame_conversion_);

  back_ = new QPushButton(QString::fromLatin1(kCmdBackText), this);
  back_->setObjectName(QStringLiteral("CmdBack"));
  help_ = new QPushButton(QString::fromLatin1(kCmdHelpText), this);
  help_->setObjectName(QStringLiteral("CmdHelp"));
  options_ = new QPushButton(QString::fromUtf8(kOptionsButtonText), this);
  options_->setObjectName(QStringLiteral("CmdOptions"));
  end_ = new QPushButton(QString::fromLatin1(kCmdEndText), this);
  end_->setObjectName(QStringLiteral("cmdEnd"));
  convert_button_ = new QPushButton(convert_text, this);
  convert_button_->setObjectName(QStringLiteral("CmdExtractDBX"));
  convert_button_->setEnabled(false);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(help_);
  buttons->addWidget(options_);
  buttons->addStretch(1);
  buttons->addWidget(back_);
  buttons->addWidget(convert_button_);
  buttons->addWidget(end_);
  page->addLayout(buttons);

  connect(opt_one_, &QRadioButton::clicked, this, [this] { OptionClicked(); });
  connect(opt_each_, &QRadioButton::clicked, this, [this] { OptionClicked(); });
  connect(convert_button_, &QPushButton::clicked, this, [this] { ConvertClicked(); });
  connect(back_, &QPushButton::clicked, this, [this] {
    if (!running()) MoveTo(NewStartPage());
  });
  connect(end_, &QPushButton::clicked, this, [this] {
    if (!running()) ConfirmExit();
  });
  connect(help_, &QPushButton::clicked, this, [this] { ShowHelp(this); });
  connect(options_, &QPushButton::clicked, this, [this] { OptionsClicked(); });
}

void ConversionPageWidget::OptionsClicked() {
  if (running()) return;
  ConversionOptions current = OptionsOf(state_);
  OfferOptions(&current);
  auto* dialog = new OptionsDialog(this, current);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    ConversionOptions chosen = dialog->Chosen();
    ApplyOptions(chosen, &state_);
    TakeOptions(chosen);
  });
  dialog->open();
}

void ConversionPageWidget::OptionClicked() { OutputOptionChosen(this); }

void ConversionPageWidget::ConvertClicked() {
  // The window was closed during the run: it closes now that every .pst is
  // complete.
  if (run_.Run(this, state_, [this](const EngineEnv& env) { Convert(env); })) close();
}

bool ConversionPageWidget::Cancelled() { return run_.cancel_requested(); }

bool ConversionPageWidget::OptOnePST() { return opt_one_->isChecked(); }
bool ConversionPageWidget::OptEachPST() { return opt_each_->isChecked(); }
bool ConversionPageWidget::ChkDeletedItems() { return chk_deleted_->isChecked(); }

std::string ConversionPageWidget::BrowseForFolder(const std::string& title) {
  return tollan::BrowseForFolder(this, title);
}

MsgAnswer ConversionPageWidget::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                       const std::string& title) {
  return Ask(QString::fromStdString(text), buttons, icon, QString::fromStdString(title));
}

void ConversionPageWidget::DoEvents() { QCoreApplication::processEvents(); }

QProgressBar* ConversionPageWidget::Bar(ProgressBarId bar) const {
  return bar == ProgressBarId::kProgressBar1 ? bar1_ : bar2_;
}

void ConversionPageWidget::SetProgressRange(ProgressBarId bar, int min, int max) {
  QProgressBar* b = Bar(bar);
  // setRange would reset the value; the bar keeps its value as a run left it.
  const int value = b->value();
  b->setMinimum(min);
  b->setMaximum(max);
  if (value >= min && value <= max) b->setValue(value);
}

void ConversionPageWidget::SetProgressValue(ProgressBarId bar, float value) {
  values_[bar == ProgressBarId::kProgressBar1 ? 0 : 1] = value;
  QProgressBar* b = Bar(bar);
  b->setValue(std::clamp(static_cast<int>(std::lround(value)), b->minimum(), b->maximum()));
}

float ConversionPageWidget::ProgressValue(ProgressBarId bar) {
  return values_[bar == ProgressBarId::kProgressBar1 ? 0 : 1];
}

void ConversionPageWidget::SetCaption(PageControl control, const std::string& text) {
  const QString caption = QString::fromStdString(text);
  switch (control) {
    case PageControl::kCmdExtractDBX: convert_button_->setText(caption); break;
    case PageControl::kFrameConversion: frame_conversion_->setTitle(caption); break;
    case PageControl::kLblCurrentDBX: lbl_current_->setText(caption); break;
    case PageControl::kLblProgessCurrent: lbl_progress_->setText(caption); break;
    case PageControl::kFrame1: frame1_->setTitle(caption); break;
  }
}

void ConversionPageWidget::SetEnabled(PageControl control, bool enabled) {
  switch (control) {
    case PageControl::kCmdExtractDBX: convert_button_->setEnabled(enabled); break;
    case PageControl::kFrameConversion: frame_conversion_->setEnabled(enabled); break;
    case PageControl::kLblCurrentDBX: lbl_current_->setEnabled(enabled); break;
    case PageControl::kLblProgessCurrent: lbl_progress_->setEnabled(enabled); break;
    case PageControl::kFrame1: frame1_->setEnabled(enabled); break;
  }
}

void ConversionPageWidget::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void ConversionPageWidget::SetRunLock(bool locked) {
  opt_one_->setEnabled(!locked);
  opt_each_->setEnabled(!locked);
  chk_deleted_->setEnabled(!locked);
  back_->setEnabled(!locked);
  end_->setEnabled(!locked);
  options_->setEnabled(!locked);
  LockOwnControls(locked);
}

void ConversionPageWidget::closeEvent(QCloseEvent* event) {
  // The run works on this page and its state: closing the window asks it to
  // stop after the messages in hand, and the window closes when it has.
  if (!run_.MayClose()) {
    event->ignore();
    return;
  }
  SetBusyPointer(false);
  event->accept();
}

}  // namespace tollan
