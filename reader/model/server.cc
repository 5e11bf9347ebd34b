// The exports of the Kestrel in-process server library (libkestrel):
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.

#include <dlfcn.h>
#include <stdlib.h>

#include <string>

#include "platform/com/errors.h"
#include "reader/model/class_factory.h"
#include "reader/model/component.h"
#include "reader/model/server_registration.h"

namespace {

// Absolute path of this library, found through one of its own symbols.
std::string ThisLibraryPath() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return info.dli_fname;
  std::string path(resolved);
  free(resolved);
  return path;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT COMCALL DllGetClassObject(REFCLSID clsid,
                                                                          REFIID riid,
                                                                          void** object) {
  return kestrel::GetClassObject(clsid, riid, object);
}

__attribute__((visibility("default"))) HRESULT COMCALL DllCanUnloadNow() {
  return kestrel::LiveObjects() == 0 && kestrel::ServerLocks() == 0 ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) HRESULT COMCALL DllRegisterServer() {
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

__attribute__((visibility("default"))) HRESULT COMCALL DllUnregisterServer() {
  std::string error;
  if (!kestrel::UnregisterServer(&error)) {
    return tollan::com::ReportError(SELFREG_E_CLASS, "DllUnregisterServer", error);
  }
  return S_OK;
}

}  // extern "C"
