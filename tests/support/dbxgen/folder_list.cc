// Folder-list records and file; see folder_list.h.
#include "tests/support/dbxgen/folder_list.h"

#include <algorithm>

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/file_sink.h"
#include "tests/support/dbxgen/header.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

std::string StoredFolderName(const FolderRecord& folder) {
  if (!folder.unterminated_name) return folder.name;
  std::string name = folder.name;
  name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
  while (name.size() < 300) name += " (unterminated)";
  name.resize(300);
  return name;
}

std::vector<Field> FolderRecordFields(const FolderRecord& folder) {
  auto storage = [&](uint8_t index) {
    auto it = folder.storage.find(index);
    return it == folder.storage.end() ? Storage::kAuto : it->second;
  };
  std::vector<Field> f;
  if (folder.id != 0) f.push_back(Field::Number(kFolderId, folder.id, storage(kFolderId)));
  if (folder.parent != 0) {
    f.push_back(Field::Number(kFolderParent, folder.parent, storage(kFolderParent)));
  }
  if (folder.unterminated_name) {
    f.push_back(Field::Raw(kFolderName, StoredFolderName(folder)));
  } else {
    f.push_back(Field::Text(kFolderName, folder.name, storage(kFolderName)));
  }
  if (!folder.file_name.empty()) {
    f.push_back(Field::Text(kFolderFile, folder.file_name, storage(kFolderFile)));
  }
  if (folder.store_text) {
    f.push_back(Field::Text(kFolderStoreText, *folder.store_text, storage(kFolderStoreText)));
  }
  f.push_back(Field::Number(kFolderFlags, folder.flags, storage(kFolderFlags)));
  if (folder.message_count != 0) {
    f.push_back(Field::Number(kFolderMessageCount, folder.message_count,
                              storage(kFolderMessageCount)));
  }
  if (folder.unread_count != 0) {
    f.push_back(Field::Number(kFolderUnreadCount, folder.unread_count,
                              storage(kFolderUnreadCount)));
  }
  if (folder.special) {
    f.push_back(Field::Number(kFolderSpecial, *folder.special, storage(kFolderSpecial)));
  }
  if (folder.type) f.push_back(Field::Number(kFolderType, *folder.type, storage(kFolderType)));
  f.insert(f.end(), folder.extra_fields.begin(), folder.extra_fields.end());
  return f;
}

Result<FolderListReport> WriteFolderList(const std::filesystem::path& directory,
                                         const std::vector<FolderRecord>& folders,
                                         const FolderListOptions& options) {
  FolderListReport report;
  report.path = directory / options.file_name;
  auto planned = IndexTree::Plan(folders.size(), options.tree);
  if (!planned.ok()) return planned.status();
  IndexTree& tree = planned.value();

  auto created = FileSink::Create(report.path);
  if (!created.ok()) return created.status();
  FileSink& sink = *created.value();
  sink.Append(FileHeader(kFolderListKind, kFolderListInfoLength, options.damage));
  std::string info(kFolderListInfoLength, '\0');
  PutU32(info, 8, 1);
  sink.Append(info);

  for (std::size_t i = 0; i < folders.size(); ++i) {
    RecordOptions record_options;
    record_options.own_offset = static_cast<uint32_t>(sink.position());
    auto record = BuildRecord(FolderRecordFields(folders[i]), record_options);
    if (!record.ok()) {
      return Status::Error("folder \"" + folders[i].name + "\": " + record.status().message());
    }
    report.record_offsets.push_back(record_options.own_offset);
    sink.Append(record.value());
  }

  const uint64_t end = tree.AssignOffsets(sink.position());
  std::vector<std::string> nodes;
  for (std::size_t i = 0; i < tree.nodes().size(); ++i) {
    nodes.push_back(tree.NodeBytes(i, report.record_offsets));
  }
  Status damaged = DamageNodes(options.damage, nodes);
  if (!damaged.ok()) return damaged;
  for (const std::string& node : nodes) sink.Append(node);

  report.root_offset = RootOffsetToWrite(options.damage, tree.root_offset());
  PatchHeader(sink, report.root_offset, static_cast<uint32_t>(folders.size()),
              static_cast<uint32_t>(end));
  const std::optional<uint64_t> cut = CutLength(options.damage, end);
  report.file_size = cut.value_or(end);
  Status committed = sink.Commit(cut);
  if (!committed.ok()) return committed;
  report.walk_order = tree.WalkOrder(WalkKind::kFolderList);
  report.tree_depth = tree.depth();
  return report;
}

}  // namespace dbxgen
