// Fuzz target: arbitrary bytes as the folder list folders.dbx. Decodes every
// folder record with and without the inactive folders; the inactive-free
// list must be the other one minus inactive, non-root folders.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dbx::MemorySource source(data, size);
  std::vector<dbx::DbxFolderRecord> all, active;
  dbx::DbxStatus a = dbx::ReadFolderList(source, true, &all);
  dbx::DbxStatus b = dbx::ReadFolderList(source, false, &active);
  if (a.code() != b.code()) std::abort();
  size_t listed = 0;
  for (const dbx::DbxFolderRecord& f : all) {
    if (f.Listed(false)) ++listed;
    (void)dbx::ParentFolderName(all, f.parent_index);
  }
  if (listed != active.size()) std::abort();
  return 0;
}
