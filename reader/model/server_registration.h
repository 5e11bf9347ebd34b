// Registration of the Kestrel in-process server in the per-user
// registration file (platform/com/registration.h): its type library and its
// three creatable classes with their programmatic identifiers.

#ifndef TOLLAN_READER_MODEL_SERVER_REGISTRATION_H_
#define TOLLAN_READER_MODEL_SERVER_REGISTRATION_H_

#include <string>

namespace kestrel {

// Records the type library and the classes OE, OEFolder and OEMessage
// (programmatic identifiers Kestrel.OE, Kestrel.OEFolder, Kestrel.OEMessage)
// as served by the library at `library_path`. Returns false with a reason.
bool RegisterServer(const std::string& library_path, std::string* error);

// Removes what RegisterServer recorded. Entries that are not present are no
// error.
bool UnregisterServer(std::string* error);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_SERVER_REGISTRATION_H_
