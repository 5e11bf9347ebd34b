// Loading registered in-process servers and creating their objects.

#include "platform/com/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/com/guid.h"
#include "platform/com/registration.h"

namespace tollan::com {
namespace {

using GetClassObjectFunction = HRESULT(COMCALL*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(COMCALL*)();

struct LoadedLibrary {
  void* handle = nullptr;
  GetClassObjectFunction get_class_object = nullptr;
  CanUnloadNowFunction can_unload_now = nullptr;
};

std::mutex libraries_mutex;
std::map<std::string, LoadedLibrary>& Libraries() {
  static auto* libraries = new std::map<std::string, LoadedLibrary>();
  return *libraries;
}

HRESULT Fail(HRESULT hr, std::string_view description) {
  return ReportError(hr, "CoCreateInstance", description);
}

HRESULT LoadServer(const std::string& path, LoadedLibrary* out) {
  std::lock_guard<std::mutex> lock(libraries_mutex);
  auto& libraries = Libraries();
  auto found = libraries.find(path);
  if (found != libraries.end()) {
    *out = found->second;
    return S_OK;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return Fail(CO_E_DLLNOTFOUND, "cannot load the server library " + path + ": " +
                                      (reason != nullptr ? reason : "unknown reason"));
  }
  LoadedLibrary library;
  library.handle = handle;
  library.get_class_object =
      reinterpret_cast<GetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
  library.can_unload_now = reinterpret_cast<CanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
  if (library.get_class_object == nullptr) {
    dlclose(handle);
    return Fail(CO_E_ERRORINDLL, "the library " + path + " exports no DllGetClassObject");
  }
  libraries[path] = library;
  *out = library;
  return S_OK;
}

}  // namespace

HRESULT CreateObject(std::string_view prog_id, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const std::u16string wide = Utf16FromUtf8(prog_id);
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

}  // namespace tollan::com

#if !defined(_WIN32)
using tollan::com::Fail;

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid) {
  if (prog_id == nullptr || clsid == nullptr) return E_INVALIDARG;
  std::u16string_view view(prog_id);
  const std::string name = tollan::com::Utf8FromUtf16(view);
  // A class identity in text form is accepted as well.
  if (tollan::com::GuidFromString(name, clsid)) return S_OK;
  tollan::com::RegistrationDatabase database;
  std::string error;
  const std::string path = tollan::com::RegistrationFilePath();
  if (!database.Load(path, &error)) return Fail(CO_E_CLASSSTRING, error);
  const auto* entry = database.FindProgId(name);
  if (entry == nullptr) {
    return Fail(CO_E_CLASSSTRING, "the programmatic identifier " + name + " is not registered in " + path);
  }
  *clsid = entry->clsid;
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*server_info*/, REFIID riid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  tollan::com::RegistrationDatabase database;
  std::string error;
  const std::string path = tollan::com::RegistrationFilePath();
  if (!database.Load(path, &error)) return Fail(REGDB_E_CLASSNOTREG, error);
  const auto* entry = database.FindClass(clsid);
  if (entry == nullptr || entry->server_path.empty()) {
    return Fail(REGDB_E_CLASSNOTREG, "the class " + tollan::com::GuidToString(clsid) +
                                         " is not registered in " + path);
  }
  tollan::com::LoadedLibrary library;
  const HRESULT hr = tollan::com::LoadServer(entry->server_path, &library);
  if (FAILED(hr)) return hr;
  return library.get_class_object(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries() {
  std::lock_guard<std::mutex> lock(tollan::com::libraries_mutex);
  auto& libraries = tollan::com::Libraries();
  for (auto it = libraries.begin(); it != libraries.end();) {
    if (it->second.can_unload_now != nullptr && it->second.can_unload_now() == S_OK) {
      dlclose(it->second.handle);
      it = libraries.erase(it);
    } else {
      ++it;
    }
  }
}
#endif
