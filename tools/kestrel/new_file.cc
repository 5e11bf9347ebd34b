#include "tools/kestrel/new_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kestrel {

int RenameNoReplace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name exists.
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  const DWORD code = GetLastError();
  errno = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? EEXIST : EIO;
  return -1;
#else
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the exclusive rename: a hard link is exclusive too.
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
#endif
}

}  // namespace kestrel
