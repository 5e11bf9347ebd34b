// Finding the files of a store directory.
//
// Store directories and folder file names come from Windows, where file
// names ignore letter case and "\" separates path parts: the folder list may
// be stored as "Folders.dbx", and a store directory may end in "\". Lookups
// here accept both.
#ifndef TOLLAN_READER_DBX_STORE_PATH_H_
#define TOLLAN_READER_DBX_STORE_PATH_H_

#include <string>

namespace dbx {

enum class Lookup {
  kFound,
  kMissing,       // the directory exists but holds no such file
  kLookupFailed,  // the directory itself cannot be read (missing, not a directory)
};

// The path of file `name` in directory `dir`: `dir` with its trailing "\" or
// "/" separators replaced by one "/", then `name`. An empty `dir` gives
// `name` itself (relative to the working directory).
std::string JoinStorePath(const std::string& dir, const std::string& name);

// Looks for the regular file `name` in `dir`, first under its exact name and
// then under any name that equals it without regard to ASCII letter case.
// On kFound, *path is the path of the file found.
Lookup FindStoreFile(const std::string& dir, const std::string& name, std::string* path);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_STORE_PATH_H_
