// The .dbx file names a batch never converts, compared by exact,
// case-sensitive equality with the file-name part of a path.
#ifndef TOLLAN_CONVERTER_WIZARD_SKIP_NAMES_H_
#define TOLLAN_CONVERTER_WIZARD_SKIP_NAMES_H_

#include <string>

namespace tollan {

inline constexpr const char* kDeletedItemsFile = "Deleted Items.dbx";

// True for the eleven names that never get a folder in a single .pst
// ("Deleted Items.dbx" included: it goes to the store's own folder).
bool IsSkipName(const std::string& file_name);

// True for the ten names that are never converted ("Deleted Items.dbx" is
// decided by the check box).
bool IsNeverConverted(const std::string& file_name);

// True for "Outbox.dbx" and "Outbox(1).dbx": skipped unless the run converts
// the Outbox too.
bool IsOutbox(const std::string& file_name);

// True for the skipped names that are mail folders (the Outbox and Deleted
// Items): the run counts the messages such a file holds when it skips it.
bool HoldsMail(const std::string& file_name);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_WIZARD_SKIP_NAMES_H_
