// IEnumVARIANT over a fixed list of objects: what a collection's NewEnum
// hands out. The enumerator holds its own references, so it stays valid when
// the collection changes or goes away.

#ifndef TOLLAN_PLATFORM_COM_ENUMERATOR_H_
#define TOLLAN_PLATFORM_COM_ENUMERATOR_H_

#include <vector>

#include "platform/com/interfaces.h"

namespace tollan::com {

// Creates an enumerator over `items` (each AddRef'ed; null entries are handed
// out as empty objects). The caller owns the returned reference.
HRESULT CreateObjectEnumerator(const std::vector<IDispatch*>& items, IEnumVARIANT** out);

// The NewEnum of a collection of objects that derive from IDispatch: an
// enumerator over `items`, returned as IUnknown in *result.
template <typename T>
HRESULT NewEnumOver(const std::vector<T*>& items, IUnknown** result) {
  if (result == nullptr) return E_POINTER;
  std::vector<IDispatch*> objects(items.begin(), items.end());
  IEnumVARIANT* enumerator = nullptr;
  const HRESULT hr = CreateObjectEnumerator(objects, &enumerator);
  *result = enumerator;
  return hr;
}

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_ENUMERATOR_H_
