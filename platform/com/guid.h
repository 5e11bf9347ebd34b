// Text form of GUIDs: "{91644F96-87A2-40F2-93FA-F18579B86EB4}".

#ifndef TOLLAN_PLATFORM_COM_GUID_H_
#define TOLLAN_PLATFORM_COM_GUID_H_

#include <string>
#include <string_view>

#include "platform/com/com_types.h"

namespace tollan::com {

// Upper-case registry form with braces.
std::string GuidToString(const GUID& guid);

// Accepts the registry form with or without braces, in any letter case.
// Returns false (and leaves *guid alone) for anything else.
bool GuidFromString(std::string_view text, GUID* guid);

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_GUID_H_
