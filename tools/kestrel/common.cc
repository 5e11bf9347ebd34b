// Helpers shared by the kestrel subcommands.
#include <cstdio>

#include "tools/kestrel/commands.h"

namespace kestrel {

int Fail(const std::string& message) {
  std::fprintf(stderr, "kestrel: %s\n", message.c_str());
  return 1;
}

void SplitPath(const std::string& path, std::string* dir, std::string* name) {
#if defined(_WIN32)
  // "\" separates as well; "C:name" names a file of drive C's current folder.
  size_t slash = path.find_last_of("/\\:");
  if (slash != std::string::npos && path[slash] == ':') {
    *dir = path.substr(0, slash + 1);
    *name = path.substr(slash + 1);
    return;
  }
#else
  size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) {
    *dir = ".";
    *name = path;
  } else {
    *dir = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

}  // namespace kestrel
