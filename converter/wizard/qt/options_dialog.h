// OptionsDialog: the small dialog behind "Options…" on the conversion pages,
// with the choices beyond the pages' own: keeping the Outlook Express folder
// tree and names, recovering messages the folder index has lost, reading
// every message back from the finished files, converting the Outbox too,
// where the report of messages not converted cleanly goes, the size at
// which a .pst goes on in a new part and, on the default-store page, which
// Outlook Express identity's store is converted.
//
//   auto* dialog = new OptionsDialog(page, current);
//   connect(dialog, &QDialog::accepted, [=] { use(dialog->Chosen()); });
//   dialog->open();
#ifndef TOLLAN_CONVERTER_WIZARD_QT_OPTIONS_DIALOG_H_
#define TOLLAN_CONVERTER_WIZARD_QT_OPTIONS_DIALOG_H_

#include <QDialog>

#include "converter/wizard/page_logic.h"
#include "converter/wizard/page_texts.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace tollan {

class OptionsDialog : public QDialog {
 public:
  OptionsDialog(QWidget* parent, const ConversionOptions& current);

  // What the dialog shows now.
  ConversionOptions Chosen() const;

 private:
  QCheckBox* keep_tree_ = nullptr;
  QCheckBox* recover_ = nullptr;
  QCheckBox* verify_ = nullptr;
  QCheckBox* outbox_ = nullptr;
  QLineEdit* report_ = nullptr;
  QSpinBox* max_pst_mb_ = nullptr;
  QComboBox* identity_ = nullptr;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_OPTIONS_DIALOG_H_
