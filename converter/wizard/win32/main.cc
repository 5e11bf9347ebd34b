// tollan.exe: the conversion wizard on Windows. It opens on the start page
// and ends when its last page closes.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "converter/wizard/win32/test_script.h"
#include "converter/wizard/win32/win32_page.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The folder browser and the reader component need COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  tollan::StartTestScript();
  const int status = tollan::RunWizard(tollan::NewStartPage());
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
