// Making the wizard's pages.
#include "converter/wizard/qt/navigation.h"

#include "converter/wizard/qt/frm_choose_dbx.h"
#include "converter/wizard/qt/frm_default_oe.h"
#include "converter/wizard/qt/frm_main.h"

namespace tollan {

QWidget* NewStartPage() { return new FrmMain(); }
QWidget* NewDefaultStorePage() { return new FrmDefaultOE(); }
QWidget* NewFileListPage() { return new FrmChooseDBX(); }

}  // namespace tollan
