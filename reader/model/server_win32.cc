// The exports of the Kestrel in-process server on Windows (kestrel.dll):
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer
// (listed in kestrel.def).

#include <olectl.h>
#include <windows.h>

#include <string>

#include "platform/com/errors.h"
#include "reader/model/class_factory.h"
#include "reader/model/component.h"
#include "reader/model/server_registration.h"

namespace {

// Full path of this DLL, found through one of its own functions.
std::string ThisLibraryPath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&ThisLibraryPath), &module)) {
    return {};
  }
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(path, length);
}

}  // namespace

extern "C" {

HRESULT COMCALL DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  return kestrel::GetClassObject(clsid, riid, object);
}

HRESULT COMCALL DllCanUnloadNow() {
  return kestrel::LiveObjects() == 0 && kestrel::ServerLocks() == 0 ? S_OK : S_FALSE;
}

HRESULT COMCALL DllRegisterServer() {
  const std::string path = ThisLibraryPath();
  if (path.empty()) {
    return tollan::com::ReportError(SELFREG_E_CLASS, "DllRegisterServer",
                                    "cannot tell where the Kestrel library lies");
  }
  std::string error;
  if (!kestrel::RegisterServer(path, &error)) {
    return tollan::com::ReportError(SELFREG_E_CLASS, "DllRegisterServer", error);
  }
  return S_OK;
}

HRESULT COMCALL DllUnregisterServer() {
  std::string error;
  if (!kestrel::UnregisterServer(&error)) {
    return tollan::com::ReportError(SELFREG_E_CLASS, "DllUnregisterServer", error);
  }
  return S_OK;
}

}  // extern "C"
