// Loading registered in-process servers and creating their objects.

#include "platform/com/activation.h"

#include <string>

#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/text/utf.h"

#if !defined(_WIN32)
#include <dlfcn.h>

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <mutex>

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

// The folder of this library, through one of its own symbols.
std::string ThisLibraryFolder() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return {};
  std::filesystem::path path(resolved);
  free(resolved);
  return path.parent_path().string();
}

// A list of the registration files looked in, for messages.
std::string Places(const std::vector<std::string>& files) {
  std::string text;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i > 0) text += i + 1 == files.size() ? " or " : ", ";
    text += files[i];
  }
  return text.empty() ? "no registration file" : text;
}

}  // namespace

std::vector<std::string> BundledServerPaths() {
  std::vector<std::string> paths;
  const std::string folder = ThisLibraryFolder();
  if (folder.empty()) return paths;
  // Paths relative to this library's folder, ':'-separated, set by the build.
  std::string_view list = TOLLAN_BUNDLED_SERVERS;
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string_view relative = list.substr(0, colon);
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    if (relative.empty()) continue;
    std::error_code ec;
    const auto path = std::filesystem::weakly_canonical(std::filesystem::path(folder) / relative, ec);
    if (!ec && std::filesystem::is_regular_file(path, ec)) paths.push_back(path.string());
  }
  return paths;
}

}  // namespace tollan::com
#else
namespace tollan::com {

// The server library beside the program: the converter creates its reader
// from it when no registration names the class.
std::vector<std::string> BundledServerPaths() {
  std::wstring self(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (n == 0 || n >= self.size()) return {};
  self.resize(n);
  const size_t slash = self.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  const std::wstring path = self.substr(0, slash + 1) + L"" TOLLAN_BUNDLED_SERVER;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return {text::Utf16ToUtf8(std::u16string(path.begin(), path.end()))};
}

HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // The reader's classes live in a single-threaded apartment; a thread that
  // already chose the other kind keeps it.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)init;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
  if (hr != REGDB_E_CLASSNOTREG) return hr;
  for (const std::string& path : BundledServerPaths()) {
    const std::u16string wide = text::Utf8ToUtf16(path);
    HMODULE library = LoadLibraryExW(reinterpret_cast<const wchar_t*>(wide.c_str()), nullptr,
                                     LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) continue;
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get_class_object =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (get_class_object == nullptr) continue;
    IClassFactory* factory = nullptr;
    const HRESULT got = get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (got == CLASS_E_CLASSNOTAVAILABLE) continue;
    if (FAILED(got)) return got;
    // The library stays loaded for the rest of the run.
    hr = factory->CreateInstance(nullptr, riid, object);
    factory->Release();
    return hr;
  }
  return hr;
}

}  // namespace tollan::com
#endif  // !_WIN32

namespace tollan::com {

#if !defined(_WIN32)
HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}
#endif

HRESULT CreateObject(std::string_view prog_id, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const std::u16string wide = text::Utf8ToUtf16(prog_id);
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

}  // namespace tollan::com

#if !defined(_WIN32)
using tollan::com::Fail;

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid) {
  if (prog_id == nullptr || clsid == nullptr) return E_INVALIDARG;
  std::u16string_view view(prog_id);
  const std::string name = text::Utf16ToUtf8(view);
  // A class identity in text form is accepted as well.
  if (tollan::com::GuidFromString(name, clsid)) return S_OK;
  const std::vector<std::string> files = tollan::com::RegistrationSearchPath();
  for (const std::string& path : files) {
    tollan::com::RegistrationDatabase database;
    std::string error;
    if (!database.Load(path, &error)) return Fail(CO_E_CLASSSTRING, error);
    if (const auto* entry = database.FindProgId(name)) {
      *clsid = entry->clsid;
      return S_OK;
    }
  }
  return Fail(CO_E_CLASSSTRING, "the programmatic identifier " + name + " is not registered in " +
                                    tollan::com::Places(files));
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*server_info*/, REFIID riid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  const std::vector<std::string> files = tollan::com::RegistrationSearchPath();
  for (const std::string& path : files) {
    tollan::com::RegistrationDatabase database;
    std::string error;
    if (!database.Load(path, &error)) return Fail(REGDB_E_CLASSNOTREG, error);
    const auto* entry = database.FindClass(clsid);
    if (entry == nullptr || entry->server_path.empty()) continue;
    tollan::com::LoadedLibrary library;
    const HRESULT hr = tollan::com::LoadServer(entry->server_path, &library);
    if (FAILED(hr)) return hr;
    return library.get_class_object(clsid, riid, object);
  }
  // Last, the servers shipped with the program, each asked whether it serves
  // the class.
  std::string unusable;
  const char* isolated = std::getenv("KESTREL_REGISTRATIONS");
  const std::vector<std::string> shipped = isolated != nullptr && isolated[0] != 0
                                               ? std::vector<std::string>()
                                               : tollan::com::BundledServerPaths();
  for (const std::string& path : shipped) {
    tollan::com::LoadedLibrary library;
    const HRESULT loaded = tollan::com::LoadServer(path, &library);
    if (FAILED(loaded)) {
      unusable += "; " + tollan::com::TakeError(loaded).description;
      continue;
    }
    const HRESULT hr = library.get_class_object(clsid, riid, object);
    if (hr != CLASS_E_CLASSNOTAVAILABLE) return hr;
  }
  return Fail(REGDB_E_CLASSNOTREG, "the class " + tollan::com::GuidToString(clsid) +
                                       " is not registered in " + tollan::com::Places(files) +
                                       unusable);
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
