// The Kestrel type library as IDL source, written from the component's type
// table (type_library.h): what widl compiles into the TYPELIB resource of
// kestrel.dll. reader/model/kestrel.idl is this text, checked in so that the
// Windows build needs no host tool; a test keeps the two equal, and
// `kestrel typelib --idl` prints it.

#ifndef TOLLAN_READER_MODEL_TYPE_LIBRARY_IDL_H_
#define TOLLAN_READER_MODEL_TYPE_LIBRARY_IDL_H_

#include <string>

#include "reader/model/type_library.h"

namespace kestrel {

std::string FormatIdl(const LibraryInfo& library);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_TYPE_LIBRARY_IDL_H_
