// Output files of a run, made so that no file of the user's is ever
// overwritten and no half-written file ever lies under a final name: a file
// is written under a temporary name of its own beside the final one, created
// exclusively, and moved to its final name only when complete, without
// replacing whatever took that name meanwhile.
//
// Typical use:
//   std::string temp;
//   Status s = CreateTempBeside("/out/Inbox.pst", &temp);   // "/out/Inbox.pst.<pid>-1.partial"
//   ... write and close temp ...
//   std::string final_path;
//   s = MoveToFreeName(temp, "/out/Inbox.pst", &final_path);  // or "/out/Inbox (2).pst"
//
// A run killed before the move leaves only its temporary file; later runs
// never pick that name (the process id is part of it, and creation is
// exclusive) and never delete it.
#ifndef TOLLAN_CONVERTER_ENGINE_OUTPUT_FILE_H_
#define TOLLAN_CONVERTER_ENGINE_OUTPUT_FILE_H_

#include <string>

#include "platform/pst/status.h"

namespace tollan {

// Creates a new, empty file in the folder of `final_path`, named after it
// with ".<pid>-<n>.partial" appended (the name cut to fit the file system's
// limit), and sets *temp_path.
pst::Status CreateTempBeside(const std::string& final_path, std::string* temp_path);

// Moves `temp_path` to `wanted`, or when a file of that name exists to the
// first free "stem (2).ext", "stem (3).ext", ...; never replaces a file.
// Sets *final_path. On failure `temp_path` stays where it is.
pst::Status MoveToFreeName(const std::string& temp_path, const std::string& wanted,
                           std::string* final_path);

// "stem (n).ext" for "stem.ext" (a name without extension gets " (n)").
std::string NumberedPath(const std::string& path, int n);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_OUTPUT_FILE_H_
