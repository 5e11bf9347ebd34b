// Fuzz target: arbitrary bytes as a folder file for the recovery scan. Scans
// it, reads every message it returns, and checks what the scan promises: no
// chain twice and each text as long as the scan said.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/recovery_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dbx::MemorySource source(data, size);
  dbx::DbxRecoveryScan scan;
  if (!dbx::ScanFolderFile(source, &scan).ok()) std::abort();
  std::set<uint32_t> seen;
  for (const dbx::DbxRecoveredMessage& m : scan.messages) {
    if (!seen.insert(m.body_position).second) std::abort();
    std::string text;
    // A chain the index reaches is read as a normal read reads it, which
    // refuses used lengths out of range.
    dbx::DbxStatus s = dbx::ReadRecoveredText(source, m, &text);
    if (!s.ok() && m.origin != dbx::RecoveryOrigin::kIndex) std::abort();
    if (m.origin != dbx::RecoveryOrigin::kIndex && text.size() != m.text_size) std::abort();
  }
  return 0;
}
