// Registration of the Kestrel in-process server in the Windows registry:
// the type library (with its interfaces) through the system's type-library
// registration, and for each creatable class
//
//   HKCR\CLSID\{clsid}                    (default) = class name
//   HKCR\CLSID\{clsid}\InprocServer32     (default) = library path,
//                                         ThreadingModel = Apartment
//   HKCR\CLSID\{clsid}\ProgID             (default) = Kestrel.<class>
//   HKCR\CLSID\{clsid}\VersionIndependentProgID     = Kestrel.<class>
//   HKCR\CLSID\{clsid}\TypeLib            (default) = {libid}
//   HKCR\Kestrel.<class>                  (default) = class name
//   HKCR\Kestrel.<class>\CLSID            (default) = {clsid}
//
// Unregistering removes these keys and the type library's registration,
// and nothing else: a programmatic identifier that names another class is
// left alone.

#include <windows.h>

#include <string>

#include "platform/com/guid.h"
#include "reader/model/server_registration.h"
#include "reader/model/type_library.h"

namespace kestrel {
namespace {

std::string SystemMessage(LONG code) {
  return "system error " + std::to_string(code);
}

// Creates HKCR\path (and its parents) and sets `name` (null: the default
// value) to `value`.
bool SetText(const std::string& path, const char* name, const std::string& value,
             std::string* error) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) {
    *error = "cannot write HKEY_CLASSES_ROOT\\" + path + ": " + SystemMessage(rc);
    return false;
  }
  return true;
}

// The default value of HKCR\path, or "" when it cannot be read.
std::string ReadText(const std::string& path) {
  char buffer[256];
  DWORD size = sizeof(buffer);
  if (RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

bool DeleteTree(const std::string& path, std::string* error) {
  const LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    *error = "cannot remove HKEY_CLASSES_ROOT\\" + path + ": " + SystemMessage(rc);
    return false;
  }
  if (rc == ERROR_SUCCESS) RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
  return true;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

bool RegisterServer(const std::string& library_path, std::string* error) {
  const LibraryInfo& library = KestrelLibrary();
  std::wstring wide_path = Wide(library_path);
  ITypeLib* type_library = nullptr;
  HRESULT hr = LoadTypeLibEx(wide_path.c_str(), REGKIND_NONE, &type_library);
  if (SUCCEEDED(hr)) {
    hr = RegisterTypeLib(type_library, wide_path.data(), nullptr);
    type_library->Release();
  }
  if (FAILED(hr)) {
    *error = "cannot register the type library of " + library_path + ": failure code " +
             std::to_string(hr);
    return false;
  }
  const std::string libid = tollan::com::GuidToString(library.libid);
  for (const ClassInfo& info : library.classes) {
    if (!info.creatable) continue;
    const std::string clsid = tollan::com::GuidToString(info.clsid);
    const std::string prog_id = ProgIdOf(info);
    const std::string key = "CLSID\\" + clsid;
    if (!SetText(key, nullptr, info.name, error) ||
        !SetText(key + "\\InprocServer32", nullptr, library_path, error) ||
        !SetText(key + "\\InprocServer32", "ThreadingModel", "Apartment", error) ||
        !SetText(key + "\\ProgID", nullptr, prog_id, error) ||
        !SetText(key + "\\VersionIndependentProgID", nullptr, prog_id, error) ||
        !SetText(key + "\\TypeLib", nullptr, libid, error) ||
        !SetText(prog_id, nullptr, info.name, error) ||
        !SetText(prog_id + "\\CLSID", nullptr, clsid, error)) {
      return false;
    }
  }
  return true;
}

bool UnregisterServer(std::string* error) {
  const LibraryInfo& library = KestrelLibrary();
  bool ok = true;
  for (const ClassInfo& info : library.classes) {
    if (!info.creatable) continue;
    const std::string clsid = tollan::com::GuidToString(info.clsid);
    const std::string prog_id = ProgIdOf(info);
    if (ReadText(prog_id + "\\CLSID") == clsid) ok = DeleteTree(prog_id, error) && ok;
    ok = DeleteTree("CLSID\\" + clsid, error) && ok;
  }
  const HRESULT hr = UnRegisterTypeLib(library.libid, library.major_version,
                                       library.minor_version, library.lcid, SYS_WIN64);
  // A type library that is not registered is no error.
  if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED) {
    *error = "cannot unregister the type library: failure code " + std::to_string(hr);
    ok = false;
  }
  return ok;
}

}  // namespace kestrel
