// frmDefaultOE: the default-store page. Loading it finds the store folder of
// the current Outlook Express identity through the reader component, opens
// the store and shows the folder and the number of folders, or says plainly
// why no store could be found. Convert runs the batch driver over the
// store's folders.
#ifndef TOLLAN_CONVERTER_WIZARD_QT_FRM_DEFAULT_OE_H_
#define TOLLAN_CONVERTER_WIZARD_QT_FRM_DEFAULT_OE_H_

#include <string>

#include "converter/wizard/qt/conversion_page_widget.h"

class QLabel;

namespace tollan {

class FrmDefaultOE : public ConversionPageWidget {
 public:
  FrmDefaultOE();

 protected:
  void Convert(const EngineEnv& env) override;
  void closeEvent(QCloseEvent* event) override;
  void OfferOptions(ConversionOptions* options) override;
  void TakeOptions(const ConversionOptions& options) override;

 private:
  QLabel* store_folder_ = nullptr;
  QLabel* folder_count_ = nullptr;
  QLabel* problem_ = nullptr;
  // The identity whose store the page shows; "" until one is chosen (the
  // current identity).
  std::string identity_;
  // Finds and opens the store of identity_, and shows it.
  void ShowStore();
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_QT_FRM_DEFAULT_OE_H_
