// Writing whole stores; see store.h.
#include "tests/support/dbxgen/store.h"

#include <system_error>

namespace dbxgen {

namespace {

Result<FolderFileReport> WriteFolderFile(const std::filesystem::path& directory,
                                         const Folder& folder) {
  FolderFileOptions options = folder.file;
  if (options.internal_name.empty()) options.internal_name = folder.record.name;
  auto created = FolderFileWriter::Create(
      directory / (folder.disk_file_name.empty() ? folder.record.file_name : folder.disk_file_name), options);
  if (!created.ok()) return created.status();
  FolderFileWriter& writer = *created.value();
  std::size_t position = 0;
  for (const Message& message : folder.messages) {
    Status added = writer.Add(message);
    if (!added.ok()) return added;
    ++position;
  }
  if (folder.source) {
    Message message;
    while (true) {
      message = Message();
      if (!folder.source(position, message)) break;
      Status added = writer.Add(message);
      if (!added.ok()) return added;
      ++position;
    }
  }
  return writer.Finish();
}

}  // namespace

Result<StoreReport> WriteStore(const std::filesystem::path& directory, const StoreSpec& spec) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    return Status::Error("cannot create store directory " + directory.string() + ": " +
                         error.message());
  }
  StoreReport report;
  std::vector<FolderRecord> records;
  std::vector<std::filesystem::path> written;
  auto undo = [&]() {
    for (const auto& path : written) std::filesystem::remove(path, error);
  };
  for (const Folder& folder : spec.folders) {
    FolderRecord record = folder.record;
    FolderFileReport file_report;
    if (!folder.record.file_name.empty()) {
      auto result = WriteFolderFile(directory, folder);
      if (!result.ok()) {
        undo();
        return Status::Error("folder \"" + folder.record.name + "\": " +
                             result.status().message());
      }
      file_report = std::move(result.value());
      written.push_back(file_report.path);
      if (!folder.keep_counts) {
        record.message_count = static_cast<uint32_t>(file_report.message_count);
        record.unread_count = static_cast<uint32_t>(file_report.unread_count);
      }
    }
    records.push_back(std::move(record));
    report.folder_files.push_back(std::move(file_report));
  }
  auto list = WriteFolderList(directory, records, spec.folder_list);
  if (!list.ok()) {
    undo();
    return list.status();
  }
  report.folder_list = std::move(list.value());
  return report;
}

namespace {

Folder MakeFolder(uint32_t id, uint32_t parent, const std::string& name, bool with_file) {
  Folder folder;
  folder.record.id = id;
  folder.record.parent = parent;
  folder.record.name = name;
  if (with_file) folder.record.file_name = name + ".dbx";
  folder.record.flags = kFolderActive;
  folder.record.type = 3;
  return folder;
}

}  // namespace

std::vector<Folder> StandardFolders() {
  std::vector<Folder> folders;
  Folder root = MakeFolder(0, kNoParent, "Outlook Express", false);
  root.record.flags = 0x800000 | kFolderHasSubfolders;
  root.record.storage[kFolderFlags] = Storage::kIndirect;
  root.record.type = 4;
  folders.push_back(root);

  Folder local = MakeFolder(1, 0, "Local Folders", false);
  local.record.store_text = "LocalStore";
  local.record.flags = 0x900008 | kFolderHasSubfolders | kFolderActive;
  local.record.storage[kFolderFlags] = Storage::kIndirect;
  folders.push_back(local);

  const char* names[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};
  for (uint32_t i = 0; i < 5; ++i) {
    Folder folder = MakeFolder(4 + i, 1, names[i], true);
    folder.record.special = i + 1;
    folders.push_back(folder);
  }
  return folders;
}

Folder UserFolder(uint32_t id, const std::string& name) { return MakeFolder(id, 1, name, true); }

}  // namespace dbxgen
