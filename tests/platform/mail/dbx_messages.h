// The complete stored message texts of a DBX folder file, read through the
// DBX reader, for tests that import real store messages.
#ifndef TOLLAN_TESTS_PLATFORM_MAIL_DBX_MESSAGES_H_
#define TOLLAN_TESTS_PLATFORM_MAIL_DBX_MESSAGES_H_

#include <memory>
#include <string>
#include <vector>

#include "reader/dbx/body_chain.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_file.h"

namespace mail_test {

struct DbxMessageText {
  dbx::DbxMessage record;
  std::string text;
};

// Empty when the file cannot be read.
inline std::vector<DbxMessageText> ReadDbxMessages(const std::string& path) {
  std::vector<DbxMessageText> out;
  std::unique_ptr<dbx::FileSource> file;
  if (!dbx::FileSource::Open(path, false, &file).ok()) return out;
  dbx::DbxFolderContents contents;
  if (!dbx::ReadFolderFile(*file, &contents).ok()) return out;
  for (const auto& m : contents.messages) {
    dbx::DbxBody body;
    if (!dbx::ReadBodyChain(*file, m.body_position, &body).ok()) continue;
    out.push_back({m, body.JoinedText()});
  }
  return out;
}

}  // namespace mail_test

#endif  // TOLLAN_TESTS_PLATFORM_MAIL_DBX_MESSAGES_H_
