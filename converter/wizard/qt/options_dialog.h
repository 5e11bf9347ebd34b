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
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace tollan {

inline constexpr const char* kOptionsButtonText = "Options\u2026";
inline constexpr const char* kKeepFolderTreeText = "Keep the Outlook Express folder tree and names";
inline constexpr const char* kRecoverText = "Recover messages the folder index has lost";
inline constexpr const char* kVerifyText =
    "Read every message back from the finished .pst files and compare it";
inline constexpr const char* kConvertOutboxText = "Convert the Outbox too (its unsent messages)";
inline constexpr const char* kReportPathLabel = "Report of the messages not converted cleanly:";
inline constexpr const char* kReportBesideText = "beside the .pst files, when anything went wrong";
inline constexpr const char* kIdentityLabel = "Outlook Express identity:";
inline constexpr const char* kMaxPstSizeLabel =
    "Begin a new .pst file, NAME (part 2).pst, before one passes this size (0: never):";

struct ConversionOptions {
  bool keep_folder_tree = false;
  bool recover = false;
  bool verify = false;
  bool convert_outbox = false;
  std::string report_path;  // "" for beside the .pst files
  int max_pst_mb = 0;       // the size limit of a .pst in MB (1024 KB); 0 for none
  // The identities to choose from (none: no choice shown) and the chosen one.
  std::vector<std::string> identities;
  std::string identity;
};

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
