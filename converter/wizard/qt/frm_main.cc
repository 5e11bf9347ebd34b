// The start page.
#include "converter/wizard/qt/frm_main.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/wizard/qt/navigation.h"
#include "converter/wizard/qt/shell.h"

namespace tollan {

const char* const kDefaultStoreExplanation =
    "By default, Outlook Express is the only email program that ships with Windows XP; (Outlook "
    "Express actually came bundled with Windows since Windows 98.)\r\n\r\nIf you choose default "
    "folder mode, software will check if Outlook Express is installed or not. If Outlook Express "
    "is found to be installed then Outlook Express will automatically check and locate default "
    "Outlook Express mail store. And allows you to convert default Outlook Express .dbx files.";
const char* const kChosenFilesExplanation =
    "If you have saved your Outlook Express .dbx files to some other location or have copied .dbx "
    "files from some other computer then this will option will allows you to convert such .dbx "
    "files.";

FrmMain::FrmMain() : WizardPage(QStringLiteral("frmMain")) {
  auto* frame1 = new QGroupBox(QStringLiteral(" I want to convert "), this);
  frame1->setObjectName(QStringLiteral("Frame1"));
  opt_default_ = new QRadioButton(QStringLiteral("Default Outlook Express folder(s)"), frame1);
  opt_default_->setObjectName(QStringLiteral("OptDefaultOE"));
  opt_default_->setChecked(true);
  opt_choose_ = new QRadioButton(QStringLiteral("Choose (.dbx) files located in a folder"), frame1);
  opt_choose_->setObjectName(QStringLiteral("OptChooseDBX"));
  auto* options = new QVBoxLayout(frame1);
  options->addWidget(opt_default_);
  options->addWidget(opt_choose_);

  auto* frame2 = new QGroupBox(QStringLiteral(" Quick Help "), this);
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
      QStringLiteral("Outlook Express should not be in running mode, when you perform conversion"), this);
  warning->setObjectName(QStringLiteral("Label1"));
  warning->setWordWrap(true);

  auto* help = new QPushButton(QStringLiteral("&Help Manual"), this);
  help->setObjectName(QStringLiteral("CmdHelp"));
  next_ = new QPushButton(QStringLiteral("&Next >"), this);
  next_->setObjectName(QStringLiteral("CmdNext"));
  next_->setDefault(true);
  auto* end = new QPushButton(QStringLiteral("E&xit"), this);
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

  explanation_->setText(ForDisplay(kDefaultStoreExplanation));
  connect(opt_default_, &QRadioButton::clicked, this, [this] {
    next_->setEnabled(true);
    explanation_->setText(ForDisplay(kDefaultStoreExplanation));
  });
  connect(opt_choose_, &QRadioButton::clicked, this, [this] {
    next_->setEnabled(true);
    explanation_->setText(ForDisplay(kChosenFilesExplanation));
  });
  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(end, &QPushButton::clicked, this, [this] { ConfirmExit(); });
  connect(help, &QPushButton::clicked, this, [this] { ShowHelp(this); });
}

void FrmMain::Next() {
  if (opt_default_->isChecked()) {
    MoveTo(NewDefaultStorePage());
  } else if (opt_choose_->isChecked()) {
    MoveTo(NewFileListPage());
  } else {
    Ask(QString::fromLatin1(kSelectAnOptionText), MsgButtons::kOk, MsgIcon::kNone);
  }
}

}  // namespace tollan
