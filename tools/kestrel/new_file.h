// Completing a file written under a temporary name without ever replacing
// a file of the user's.
//
//   if (RenameNoReplace(temp, "/out/1.eml") != 0 && errno == EEXIST) ...
#ifndef TOLLAN_TOOLS_KESTREL_NEW_FILE_H_
#define TOLLAN_TOOLS_KESTREL_NEW_FILE_H_

#include <string>

namespace kestrel {

// Moves `from` to `to` only when nothing exists under `to`. Returns 0 on
// success; -1 otherwise with errno set (EEXIST when `to` exists), `from`
// left in place.
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_NEW_FILE_H_
