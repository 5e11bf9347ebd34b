// Temporary .eml files of the conversion: created exclusively under a free
// name in the output folder, so an existing file of the user's is never
// overwritten or deleted, and removed again after the import.
#ifndef TOLLAN_CONVERTER_ENGINE_TEMP_FILE_H_
#define TOLLAN_CONVERTER_ENGINE_TEMP_FILE_H_

#include <string>
#include <string_view>

#include "platform/pst/status.h"

namespace tollan {

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
