// Shared set-up of the generated-store tests: a scratch store directory, the
// reader's view of it, and the values a reader should return for what the
// generator wrote.
#ifndef TOLLAN_TESTS_READER_DBX_GENERATED_GENERATED_STORE_H_
#define TOLLAN_TESTS_READER_DBX_GENERATED_GENERATED_STORE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reader/dbx/session.h"
#include "tests/support/dbxgen/store.h"

namespace dbxgen::testing {

// The automation date (days since 30 December 1899, whole seconds) of a
// FILETIME from 1900 on.
double AutomationDate(uint64_t filetime);

// Checks every record value of `got` against the message that was written.
void ExpectMessage(const Message& written, const dbx::DbxMessage& got);

class GeneratedStoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `spec` into the scratch directory; fails the test on error.
  StoreReport Write(const StoreSpec& spec);

  // Opens `file` of the store with the reader.
  dbx::DbxFolderOpen Open(const std::string& file, dbx::DbxFolderContents* contents);

  // The body the reader finds at `position` in the file it has open.
  dbx::DbxBody Body(uint32_t position);

  std::filesystem::path dir_;
  dbx::DbxSession session_;
};

}  // namespace dbxgen::testing

#endif  // TOLLAN_TESTS_READER_DBX_GENERATED_GENERATED_STORE_H_
