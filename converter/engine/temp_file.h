// Temporary .eml files of the conversion: created exclusively under a free
// name in the output folder, so an existing file of the user's is never
// overwritten or deleted, and removed again after the import. The import
// process that writes one may be ended before it removes it; what it left
// is then found by its bytes (RemoveLeftoverTempFile).
#ifndef TOLLAN_CONVERTER_ENGINE_TEMP_FILE_H_
#define TOLLAN_CONVERTER_ENGINE_TEMP_FILE_H_

#include <string>
#include <string_view>

#include "platform/pst/status.h"

namespace tollan {

// Removes what an import that was ended while it held `text` may have left
// of its temporary file: the first of `wanted`, "name (2).eml", ... whose
// bytes are exactly `text` (another file under those names is not touched).
// Looks no further than the first free name, where Create would have gone.
void RemoveLeftoverTempFile(const std::string& wanted, std::string_view text);

class TempEmlFile {
 public:
  TempEmlFile() = default;
  TempEmlFile(const TempEmlFile&) = delete;
  TempEmlFile& operator=(const TempEmlFile&) = delete;
  // Removes the file if it is still there.
  ~TempEmlFile();

  // Creates a new file at `wanted`, or, when that name is taken, at the first
  // free "name (2).eml", "name (3).eml", ... (kept within 224 characters),
  // and writes `text` to it byte for byte.
  pst::Status Create(const std::string& wanted, std::string_view text);

  // The path actually created.
  const std::string& path() const { return path_; }

  // Deletes the file; the object then owns nothing.
  pst::Status Remove();

 private:
  std::string path_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_TEMP_FILE_H_
