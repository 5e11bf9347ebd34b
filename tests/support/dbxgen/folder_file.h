// FolderFileWriter: writes one DBX folder file (the messages of one folder)
// as a stream: messages are added one at a time and go to disk at once, with
// their body chain in front of their record; the index tree and the header
// follow in Finish(). Memory use is a few bytes per message, so folders of
// hundreds of thousands of messages are written in one pass.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_FILE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/dbxgen/file_damage.h"
#include "tests/support/dbxgen/file_sink.h"
#include "tests/support/dbxgen/index_tree.h"
#include "tests/support/dbxgen/message.h"
#include "tests/support/dbxgen/status.h"

namespace dbxgen {

struct FolderFileOptions {
  std::string internal_name;          // folder-info name, zero-terminated in 256 bytes
  uint8_t source_type = 3;            // 3: local store; anything else: news
  std::string source_text = "LocalStore";
  int32_t session_number = 0;         // at the unaligned offset 0x26D1
  TreeOptions tree;
  FileDamage damage;
};

struct FolderFileReport {
  std::filesystem::path path;
  uint64_t file_size = 0;  // after any truncation
  std::size_t message_count = 0;
  std::size_t unread_count = 0;            // messages without the read flag
  std::vector<uint32_t> record_offsets;    // by position (the indexed offset)
  std::vector<uint32_t> body_offsets;      // by position; 0 without a body
  // First blocks of the messages written as deleted (they have no position).
  std::vector<uint32_t> deleted_bodies;
  // Positions in the order a folder-file walk of the index delivers them.
  std::vector<std::size_t> walk_order;
  uint32_t root_offset = 0;                // as written in the header
  std::size_t tree_depth = 0;
  std::size_t node_count = 0;
};

class FolderFileWriter {
 public:
  static Result<std::unique_ptr<FolderFileWriter>> Create(const std::filesystem::path& path,
                                                          const FolderFileOptions& options);

  // Writes the message's body chain and record. Fails when the file would
  // outgrow 31-bit offsets or the record cannot be built.
  Status Add(const Message& message);

  // Writes the index and the header and puts the file in place.
  Result<FolderFileReport> Finish();

 private:
  FolderFileWriter(std::unique_ptr<FileSink> sink, const FolderFileOptions& options);
  uint32_t WriteBody(const Message& message);

  std::unique_ptr<FileSink> sink_;
  FolderFileOptions options_;
  FolderFileReport report_;
  Status status_;
};

// The header and folder-info block that start a folder file.
std::string FolderFileHead(const FolderFileOptions& options);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_FILE_H_
