// The three Windows pages: the start page, the default-store page and the
// file-list page, over the shared page logic.
#include <windows.h>

#include <commctrl.h>

#include "converter/wizard/batch_driver.h"
#include "converter/wizard/default_store_source.h"
#include "converter/wizard/file_list_page.h"
#include "converter/wizard/page_texts.h"
#include "converter/wizard/win32/conversion_page_win32.h"
#include "converter/wizard/win32/resource.h"
#include "converter/wizard/win32/shell_win32.h"
#include "platform/os/file.h"

namespace tollan {
namespace {

class StartPage : public Win32Page {
 public:
  StartPage() : Win32Page(IDD_START) {}

 private:
  void OnInit() override {
    const struct {
      int id;
      const char* text;
    } texts[] = {{IDC_Frame1, kStartFrame1Text}, {IDC_OptDefaultOE, kOptDefaultOEText},
                 {IDC_OptChooseDBX, kOptChooseDBXText}, {IDC_Frame2, kFrame2Text},
                 {IDC_Label1, kRunningWarningText},   {IDC_CmdHelp, kCmdHelpText},
                 {IDC_CmdNext, kCmdNextText},         {IDC_cmdEnd, kCmdEndText}};
    for (const auto& t : texts) SetText(t.id, t.text);
    Check(IDC_OptDefaultOE, true);
    SetText(IDC_LblDefaultOE, StartExplanation(StartChoice::kDefaultStore));
  }

  void OnCommand(int id, int code) override {
    if (code != BN_CLICKED) return;
    switch (id) {
      case IDC_OptDefaultOE:
      case IDC_OptChooseDBX:
        Enable(IDC_CmdNext, true);
        SetText(IDC_LblDefaultOE, StartExplanation(id == IDC_OptDefaultOE ? StartChoice::kDefaultStore
                                                                         : StartChoice::kChosenFiles));
        break;
      case IDC_CmdNext:
        switch (NextPage(Checked(IDC_OptDefaultOE), Checked(IDC_OptChooseDBX), Asker())) {
          case StartChoice::kDefaultStore: MoveTo(NewDefaultStorePage()); break;
          case StartChoice::kChosenFiles: MoveTo(NewFileListPage()); break;
          case StartChoice::kNone: break;
        }
        break;
      case IDC_cmdEnd: ConfirmExitAndClose(); break;
      case IDC_CmdHelp: ShowHelp(hwnd()); break;
      default: break;
    }
  }
};

class DefaultStorePage : public Win32ConversionPage {
 public:
  DefaultStorePage() : Win32ConversionPage(IDD_DEFAULT_OE, kDefaultStoreConvertText) {}

 private:
  void InitOwnControls() override {
    SetText(IDC_lblCount1, kDefaultStoreHeading);
    SetText(IDC_Label1, kFoldersFoundText);
    // Loading: find and open the store of the default identity.
    ShowStore();
  }

  void ShowStore() {
    state_.MyOE.Reset();
    DefaultStoreView view = OpenIdentityStore(state_, identity_);
    SetText(IDC_LblDefaultOEIdentity, Shown(view.store_folder));
    SetText(IDC_LblDBXFolders, view.folder_count);
    SetText(IDC_LblStoreProblem, view.problem);
  }

  void Convert(const EngineEnv& env) override {
    DefaultStoreSource source(this, [this] { return os::SlashPath(Text(IDC_LblDefaultOEIdentity)); }, env);
    BatchDriver(this, &source, env.sessions).Run(&state_);
  }

  void OfferOptions(ConversionOptions* options) override { OfferIdentities(identity_, options); }

  void TakeOptions(const ConversionOptions& options) override {
    if (options.identity.empty() || options.identity == identity_) return;
    identity_ = options.identity;
    ShowStore();
  }

  void Unload() override {
    // Close the folder the engine still has open.
    if (state_.MyFolder) {
      state_.MyFolder->CloseFolder();
      state_.MyFolder.Reset();
    }
    state_.MyOE.Reset();
  }

  // The identity whose store the page shows; "" for the current one.
  std::string identity_;
};

class FileListWin32Page : public Win32ConversionPage, private FileListControls {
 public:
  FileListWin32Page() : Win32ConversionPage(IDD_CHOOSE_DBX, kFileListConvertText) {}

 private:
  void InitOwnControls() override {
    const struct {
      int id;
      const char* text;
    } texts[] = {{IDC_LblFolder, kFolderLabelText}, {IDC_CmdAddFolder, kCmdAddFolderText},
                 {IDC_lblCount1, kNoFilesText},     {IDC_cmdAdd, kCmdAddText},
                 {IDC_cmdClear1, kCmdClearText}};
    for (const auto& t : texts) SetText(t.id, t.text);
    HWND grid = Grid();
    ListView_SetExtendedListViewStyle(grid, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    RECT r;
    GetClientRect(grid, &r);
    column.cx = r.right - r.left;
    SendMessageW(grid, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    ClearRows();
  }

  void OwnCommand(int id, int code) override {
    if (code != BN_CLICKED) return;
    switch (id) {
      case IDC_cmdAdd:
        if (!list_.searching()) list_.AddFiles(OpenDbxFiles(hwnd()));
        break;
      case IDC_CmdAddFolder: list_.AddFolder(); break;
      case IDC_cmdClear1: list_.Clear(); break;
      default: break;
    }
  }

  void Convert(const EngineEnv& env) override {
    if (list_.searching()) return;
    FileListSource source(this, &list_, env);
    BatchDriver(this, &source, env.sessions).Run(&state_);
  }

  void LockOwnControls(bool locked) override { SetListButtonsEnabled(!locked); }

  HWND Grid() { return GetDlgItem(hwnd(), IDC_grdFiles1); }

  // FileListControls.
  void ShowRow(int32_t row, const std::string& path) override {
    HWND grid = Grid();
    const std::wstring text = W(Shown(path));
    if (row >= ListView_GetItemCount(grid)) {
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = const_cast<wchar_t*>(text.c_str());
      SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    } else {
      LVITEMW item = {};
      item.iSubItem = 0;
      item.pszText = const_cast<wchar_t*>(text.c_str());
      SendMessageW(grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    SelectGridRow(row);
  }
  void ClearRows() override {
    HWND grid = Grid();
    ListView_DeleteAllItems(grid);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  void SelectGridRow(int32_t row) override {
    HWND grid = Grid();
    ListView_SetItemState(grid, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(grid, row, FALSE);
  }
  void SetCountText(const std::string& text) override { SetText(IDC_lblCount1, text); }
  void SetFolderText(const std::string& text) override { SetText(IDC_txtDBXFolder, Shown(text)); }
  std::string FolderText() override { return os::SlashPath(Text(IDC_txtDBXFolder)); }
  void SetListButtonsEnabled(bool enabled) override {
    for (int id : {IDC_cmdAdd, IDC_CmdAddFolder, IDC_cmdClear1}) Enable(id, enabled);
  }

  FileListPage list_{this, this};
};

}  // namespace

std::unique_ptr<Win32Page> NewStartPage() { return std::make_unique<StartPage>(); }
std::unique_ptr<Win32Page> NewDefaultStorePage() { return std::make_unique<DefaultStorePage>(); }
std::unique_ptr<Win32Page> NewFileListPage() { return std::make_unique<FileListWin32Page>(); }

}  // namespace tollan
