// Type information from the module's TYPELIB resource.

#include "platform/com/type_info.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tollan::com {

#if defined(_WIN32)
UINT TypeInfoCount() { return 1; }

HRESULT LoadModuleTypeInfo(const void* address_in_module, REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address_in_module), &module)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
  // The system keeps loaded type libraries, so repeated calls are cheap.
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(iid, info);
  library->Release();
  return hr;
}
#else
UINT TypeInfoCount() { return 0; }

HRESULT LoadModuleTypeInfo(const void*, REFIID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}
#endif

}  // namespace tollan::com
