// Parser of the text registry files a Wine prefix keeps (user.reg,
// system.reg, userdef.reg):
//
//   WINE REGISTRY Version 2
//   ;; comment
//   [Software\\Microsoft\\Outlook Express] 1618070400
//   #time=1d72e...
//   "MediaVer"="6,0,2900,5512"
//   @="default value"
//   "Running"=dword:00000001
//   "Store Root"=str(2):"%UserProfile%\\Local Settings\\..."
//   "Blob"=hex:01,02,03,04    (a backslash at the end of a hex line
//                              continues the data on the next line)
//   "Quad"=hex(b):01,00,00,00,00,00,00,00
//
// Key paths are relative to the file's root. Escapes in names and strings:
// \\ \" \a \b \e \f \n \r \t \v, \xNNNN (1-4 hex digits, one UTF-16 unit),
// \NNN (1-3 octal digits); any other escaped character stands for itself.
// Bytes above 127 are read as UTF-8. A line that cannot be read is skipped
// and counted, as the loader of the prefix does; only a file that is not a
// Wine registry file at all fails.
#ifndef TOLLAN_PLATFORM_REGISTRY_WINE_REG_PARSER_H_
#define TOLLAN_PLATFORM_REGISTRY_WINE_REG_PARSER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/memory_hive.h"
#include "platform/registry/status.h"

namespace registry {

struct WineParseReport {
  size_t keys = 0;           // key sections read
  size_t values = 0;         // values set
  size_t skipped_lines = 0;  // lines that could not be read
  // "line N: why" for the first few skipped lines.
  std::vector<std::string> warnings;
};

// Adds the keys and values of `text` to `root`. `report` may be null.
Status ParseWineRegistry(std::string_view text, MemoryKey* root, WineParseReport* report);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_WINE_REG_PARSER_H_
