// The start page.
#include "converter/wizard/qt/frm_main.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/wizard/page_logic.h"
#include "converter/wizard/qt/navigation.h"
#include "converter/wizard/qt/shell.h"

namespace tollan {

FrmMain::FrmMain() : WizardPage(QStringLiteral("frmMain")) {
  auto* frame1 = new QGroupBox(QString::fromLatin1(kStartFrame1Text), this);
  frame1->setObjectName(QStringLiteral("Frame1"));
  opt_default_ = new QRadioButton(QString::fromLatin1(kOptDefaultOEText), frame1);
  opt_default_->setObjectName(QStringLiteral("OptDefaultOE"));
  opt_default_->setChecked(true);
  opt_choose_ = new QRadioButton(QString::fromLatin1(kOptChooseDBXText), frame1);
  opt_choose_->setObjectName(QStringLiteral("OptChooseDBX"));
  auto* options = new QVBoxLayout(frame1);
  options->addWidget(opt_default_);
  options->addWidget(opt_choose_);

  auto* frame2 = new QGroupBox(QString::fromLatin1(kFrame2Text), this);
  frame2->setObjectName(QStringLiteral("Frame2"));
  explanation_ = new QLabel(frame2);
  explanation_->setObjectName(QStringLiteral("LblDefaultOE"));
  explanation_->setWordWrap(true);
  explanation_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for the longer explanation, so the page keeps its size on a switch.
  explanation_->setMinimumHeight(explanation_->fontMetrics().lineSpacing() * 8);
  auto* help_layout = new QVBoxLayout(frame2);
  help_layout->addWidget(explanation_);

  auto* warning = new QLabel(
      QString::fromLatin1(kRunningWarningText), this);
  warning->setObjectName(QStringLiteral("Label1"));
  warning->setWordWrap(true);

  auto* help = new QPushButton(QString::fromLatin1(kCmdHelpText), this);
  help->setObjectName(QStringLiteral("CmdHelp"));
  next_ = new QPushButton(QString::fromLatin1(kCmdNextText), this);
  next_->setObjectName(QStringLiteral("CmdNext"));
  next_->setDefault(true);
  auto* end = new QPushButton(QString::fromLatin1(kCmdEndText), this);
  end->setObjectName(QStringLiteral("cmdEnd"));
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(next_);
  buttons->addWidget(end);

  auto* page = new QVBoxLayout(this);
  page->addWidget(frame1);
  page->addWidget(frame2, 1);
  page->addWidget(warning);
  page->addLayout(buttons);
  resize(560, 380);

  explanation_->setText(ForDisplay(StartExplanation(StartChoice::kDefaultStore)));
  connect(opt_default_, &QRadioButton::clicked, this, [this] {
    next_->setEnabled(true);
    explanation_->setText(ForDisplay(StartExplanation(StartChoice::kDefaultStore)));
  });
  connect(opt_choose_, &QRadioButton::clicked, this, [this] {
    next_->setEnabled(true);
    explanation_->setText(ForDisplay(StartExplanation(StartChoice::kChosenFiles)));
  });
  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(end, &QPushButton::clicked, this, [this] { ConfirmExit(); });
  connect(help, &QPushButton::clicked, this, [this] { ShowHelp(this); });
}

void FrmMain::Next() {
  const AskFn ask = [this](const std::string& text, MsgButtons buttons, MsgIcon icon,
                           const std::string& title) {
    return Ask(QString::fromStdString(text), buttons, icon, QString::fromStdString(title));
  };
  switch (NextPage(opt_default_->isChecked(), opt_choose_->isChecked(), ask)) {
    case StartChoice::kDefaultStore: MoveTo(NewDefaultStorePage()); break;
    case StartChoice::kChosenFiles: MoveTo(NewFileListPage()); break;
    case StartChoice::kNone: break;
  }
}

}  // namespace tollan
