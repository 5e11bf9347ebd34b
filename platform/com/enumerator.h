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

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_ENUMERATOR_H_
