// The table of .dbx file names a batch never converts.
#include "converter/wizard/skip_names.h"

#include <array>

namespace tollan {

namespace {

constexpr std::array<const char*, 10> kNeverConverted = {
    "Folders.dbx",       "Folders(1).dbx",       "Offline.dbx",  "Offline(1).dbx",
    "Outbox.dbx",        "Outbox(1).dbx",        "Search Folder.dbx",
    "Search Folder(1).dbx", "Pop3uidl.dbx",      "Pop3uidl(1).dbx",
};

}  // namespace

bool IsNeverConverted(const std::string& file_name) {
  for (const char* name : kNeverConverted) {
    if (file_name == name) return true;
  }
  return false;
}

bool IsOutbox(const std::string& file_name) {
  return file_name == "Outbox.dbx" || file_name == "Outbox(1).dbx";
}

bool HoldsMail(const std::string& file_name) {
  return file_name == kDeletedItemsFile || IsOutbox(file_name);
}

bool IsSkipName(const std::string& file_name) {
  return file_name == kDeletedItemsFile || IsNeverConverted(file_name);
}

}  // namespace tollan
