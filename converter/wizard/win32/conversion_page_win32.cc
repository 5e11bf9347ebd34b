// The shared controls of the Windows conversion pages and the ConversionPage
// they give the batch driver and the engine.
#include "converter/wizard/win32/conversion_page_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "converter/wizard/page_texts.h"
#include "converter/wizard/win32/shell_win32.h"
#include "platform/os/file.h"

namespace tollan {
namespace {

// The system's hourglass and arrow pointers (IDC_WAIT, IDC_ARROW) by number,
// for the wide call.
constexpr WORD kWaitPointer = 32514;
constexpr WORD kArrowPointer = 32512;

// The options dialog: the choices in, the accepted choices out.
struct OptionsDialogData {
  ConversionOptions options;
};

void InitOptionsDialog(HWND dialog, const ConversionOptions& o) {
  SetWindowTextW(dialog, W(kOptionsTitle).c_str());
  const struct {
    int id;
    const char* text;
    bool checked;
  } boxes[] = {{IDC_ChkKeepFolderTree, kKeepFolderTreeText, o.keep_folder_tree},
               {IDC_ChkRecover, kRecoverText, o.recover},
               {IDC_ChkVerify, kVerifyText, o.verify},
               {IDC_ChkConvertOutbox, kConvertOutboxText, o.convert_outbox}};
  for (const auto& b : boxes) {
    SetDlgItemTextW(dialog, b.id, W(b.text).c_str());
    CheckDlgButton(dialog, b.id, b.checked ? BST_CHECKED : BST_UNCHECKED);
  }
  SetDlgItemTextW(dialog, IDC_LblReportPath, W(kReportPathLabel).c_str());
  SetDlgItemTextW(dialog, IDC_TxtReportPath, W(Shown(o.report_path)).c_str());
  SendDlgItemMessageW(dialog, IDC_TxtReportPath, EM_SETCUEBANNER, TRUE,
                      reinterpret_cast<LPARAM>(W(kReportBesideText).c_str()));
  SetDlgItemTextW(dialog, IDC_LblMaxPstSize, W(kMaxPstSizeLabel).c_str());
  SetDlgItemInt(dialog, IDC_TxtMaxPstSize, static_cast<UINT>(o.max_pst_mb), FALSE);
  if (o.identities.empty()) {
    ShowWindow(GetDlgItem(dialog, IDC_LblIdentity), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_CmbIdentity), SW_HIDE);
    return;
  }
  SetDlgItemTextW(dialog, IDC_LblIdentity, W(kIdentityLabel).c_str());
  for (const std::string& name : o.identities) {
    const LRESULT at = SendDlgItemMessageW(dialog, IDC_CmbIdentity, CB_ADDSTRING, 0,
                                           reinterpret_cast<LPARAM>(W(name).c_str()));
    if (name == o.identity) SendDlgItemMessageW(dialog, IDC_CmbIdentity, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
}

void ReadOptionsDialog(HWND dialog, ConversionOptions* o) {
  o->keep_folder_tree = IsDlgButtonChecked(dialog, IDC_ChkKeepFolderTree) == BST_CHECKED;
  o->recover = IsDlgButtonChecked(dialog, IDC_ChkRecover) == BST_CHECKED;
  o->verify = IsDlgButtonChecked(dialog, IDC_ChkVerify) == BST_CHECKED;
  o->convert_outbox = IsDlgButtonChecked(dialog, IDC_ChkConvertOutbox) == BST_CHECKED;
  std::wstring report(32768, L'\0');
  report.resize(static_cast<size_t>(
      GetDlgItemTextW(dialog, IDC_TxtReportPath, report.data(), static_cast<int>(report.size()))));
  std::string path = U8(report);
  path.erase(0, path.find_first_not_of(' '));
  path.erase(path.find_last_not_of(' ') + 1);
  o->report_path = os::SlashPath(path);
  BOOL number = FALSE;
  const UINT mb = GetDlgItemInt(dialog, IDC_TxtMaxPstSize, &number, FALSE);
  o->max_pst_mb = number && mb <= (1u << 30) ? static_cast<int>(mb) : 0;
  o->identity.clear();
  const LRESULT sel = SendDlgItemMessageW(dialog, IDC_CmbIdentity, CB_GETCURSEL, 0, 0);
  if (!o->identities.empty() && sel != CB_ERR) o->identity = o->identities[static_cast<size_t>(sel)];
}

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, l);
    InitOptionsDialog(dialog, reinterpret_cast<OptionsDialogData*>(l)->options);
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
    auto* data = reinterpret_cast<OptionsDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (LOWORD(w) == IDOK) ReadOptionsDialog(dialog, &data->options);
    EndDialog(dialog, LOWORD(w));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

Win32ConversionPage::Win32ConversionPage(int template_id, std::string convert_text)
    : Win32Page(template_id), convert_text_(std::move(convert_text)) {}

void Win32ConversionPage::OnInit() {
  const struct {
    int id;
    const char* text;
  } texts[] = {{IDC_Frame1, kFrame1Text},
               {IDC_OptOnePST, kOptOnePstText},
               {IDC_OptEachPST, kOptEachPstText},
               {IDC_ChkDeletedItems, kChkDeletedItemsText},
               {IDC_FrameConversion, kFrameConversionText},
               {IDC_Label3, kOverallProgressText},
               {IDC_Label2, kFileProgressText},
               {IDC_LblProgessCurrent, kLblProgessCurrentText},
               {IDC_LblCurrentDBX, kLblCurrentDbxText},
               {IDC_CmdHelp, kCmdHelpText},
               {IDC_CmdOptions, kOptionsButtonText},
               {IDC_CmdBack, kCmdBackText},
               {IDC_cmdEnd, kCmdEndText}};
  for (const auto& t : texts) SetText(t.id, t.text);
  SetText(IDC_CmdExtractDBX, convert_text_);
  Check(IDC_ChkDeletedItems, true);
  Enable(IDC_CmdExtractDBX, false);
  for (int id : {IDC_ProgressBar1, IDC_ProgressBar2}) {
    SendDlgItemMessageW(hwnd(), id, PBM_SETRANGE32, 0, 100);
  }
  InitOwnControls();
}

void Win32ConversionPage::OnCommand(int id, int code) {
  if (code != BN_CLICKED) {
    OwnCommand(id, code);
    return;
  }
  switch (id) {
    case IDC_OptOnePST:
    case IDC_OptEachPST: OutputOptionChosen(this); break;
    case IDC_CmdExtractDBX:
      // The window was closed during the run: it closes now that every
      // .pst is complete.
      if (run_.Run(this, state_, [this](const EngineEnv& env) { Convert(env); })) Close();
      break;
    case IDC_CmdBack:
      if (!run_.running()) MoveTo(NewStartPage());
      break;
    case IDC_cmdEnd:
      if (!run_.running()) ConfirmExitAndClose();
      break;
    case IDC_CmdHelp: ShowHelp(hwnd()); break;
    case IDC_CmdOptions: OptionsClicked(); break;
    case IDCANCEL:  // Esc: the page stays
      break;
    default: OwnCommand(id, code); break;
  }
}

void Win32ConversionPage::OptionsClicked() {
  if (run_.running()) return;
  OptionsDialogData data;
  data.options = OptionsOf(state_);
  OfferOptions(&data.options);
  if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS), hwnd(), OptionsProc,
                      reinterpret_cast<LPARAM>(&data)) != IDOK) {
    return;
  }
  ApplyOptions(data.options, &state_);
  TakeOptions(data.options);
}

void Win32ConversionPage::OnDestroy() {
  SetBusyPointer(false);
  Unload();
}

bool Win32ConversionPage::OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR* result) {
  if (msg == WM_SETCURSOR && busy_) {
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(kWaitPointer)));
    *result = TRUE;
    return true;
  }
  return false;
}

std::string Win32ConversionPage::BrowseForFolder(const std::string& title) {
  return tollan::BrowseForFolder(hwnd(), title);
}

void Win32ConversionPage::SetProgressRange(ProgressBarId bar, int min, int max) {
  const int id = bar == ProgressBarId::kProgressBar1 ? IDC_ProgressBar1 : IDC_ProgressBar2;
  SendDlgItemMessageW(hwnd(), id, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

void Win32ConversionPage::SetProgressValue(ProgressBarId bar, float value) {
  const bool first = bar == ProgressBarId::kProgressBar1;
  values_[first ? 0 : 1] = value;
  HWND control = GetDlgItem(hwnd(), first ? IDC_ProgressBar1 : IDC_ProgressBar2);
  const int low = static_cast<int>(SendMessageW(control, PBM_GETRANGE, TRUE, 0));
  const int high = static_cast<int>(SendMessageW(control, PBM_GETRANGE, FALSE, 0));
  SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(std::clamp(static_cast<int>(std::lround(value)), low, high)), 0);
}

float Win32ConversionPage::ProgressValue(ProgressBarId bar) {
  return values_[bar == ProgressBarId::kProgressBar1 ? 0 : 1];
}

int Win32ConversionPage::ControlId(PageControl control) const {
  switch (control) {
    case PageControl::kCmdExtractDBX: return IDC_CmdExtractDBX;
    case PageControl::kFrameConversion: return IDC_FrameConversion;
    case PageControl::kLblCurrentDBX: return IDC_LblCurrentDBX;
    case PageControl::kLblProgessCurrent: return IDC_LblProgessCurrent;
    case PageControl::kFrame1: return IDC_Frame1;
  }
  return 0;
}

void Win32ConversionPage::SetCaption(PageControl control, const std::string& text) {
  SetText(ControlId(control), text);
}

void Win32ConversionPage::SetEnabled(PageControl control, bool enabled) {
  Enable(ControlId(control), enabled);
}

void Win32ConversionPage::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(busy ? kWaitPointer : kArrowPointer)));
}

void Win32ConversionPage::SetRunLock(bool locked) {
  for (int id : {IDC_OptOnePST, IDC_OptEachPST, IDC_ChkDeletedItems, IDC_CmdBack, IDC_cmdEnd, IDC_CmdOptions}) {
    Enable(id, !locked);
  }
  LockOwnControls(locked);
}

}  // namespace tollan
