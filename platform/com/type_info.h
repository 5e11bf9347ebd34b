// The type information that IDispatch::GetTypeInfo hands out: on Windows the
// ITypeInfo of an interface, read from the type library resource of the
// module (DLL or program) whose code holds a given address. Builds for other
// systems carry no type library resource and provide none.

#ifndef TOLLAN_PLATFORM_COM_TYPE_INFO_H_
#define TOLLAN_PLATFORM_COM_TYPE_INFO_H_

#include "platform/com/interfaces.h"

namespace tollan::com {

// What GetTypeInfoCount answers: 1 where type information is provided, else 0.
UINT TypeInfoCount();

// The type information of interface `iid` from the type library of the module
// that holds `address_in_module`. The caller owns *info. Without type
// information: DISP_E_BADINDEX and null; on Windows the failure code of
// loading the library or finding the interface.
HRESULT LoadModuleTypeInfo(const void* address_in_module, REFIID iid, ITypeInfo** info);

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_TYPE_INFO_H_
