// A readable listing of the Kestrel type library, printed by
// `kestrel typelib`: the library, then each class with its interface and
// every member in interface order (position, kind, name, dispatch
// identifier, parameters with passing and defaults, result, help string).

#ifndef TOLLAN_READER_MODEL_TYPE_LIBRARY_LISTING_H_
#define TOLLAN_READER_MODEL_TYPE_LIBRARY_LISTING_H_

#include <string>

#include "reader/model/type_library.h"

namespace kestrel {

// One member as a line of the listing, e.g.
// "7 method OpenFolder 0x60030006 (ByRef sFoldername As String,
//  Optional ByRef bLock As Boolean = True) As Long".
std::string FormatMember(const MemberInfo& member);

// The whole listing.
std::string FormatTypeLibrary(const LibraryInfo& library);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_TYPE_LIBRARY_LISTING_H_
