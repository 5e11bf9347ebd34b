// The shared reader state and the open sequences built on it.
#include "reader/dbx/session.h"

#include "reader/dbx/store_path.h"

namespace dbx {

DbxStatus DbxSession::OpenFile(const std::string& path, bool deny_read) {
  CloseFile();
  return FileSource::Open(path, deny_read, &file_);
}

DbxFolderOpen DbxSession::OpenFolder(const std::string& folder_file, bool deny_read,
                                     DbxFolderContents* contents) {
  DbxFolderOpen result;
  if (folder_file.empty()) {
    result.status = DbxStatus(kResultNoFileName, "the folder has no file name");
    return result;
  }
  std::string path;
  if (FindStoreFile(store_directory_, folder_file, &path) != Lookup::kFound) {
    result.status = DbxStatus(kResultNotFound, JoinStorePath(store_directory_, folder_file) +
                                                   ": no such folder file");
    return result;
  }
  return OpenFolderPath(path, deny_read, contents);
}

DbxFolderOpen DbxSession::OpenFolderPath(const std::string& path, bool deny_read,
                                         DbxFolderContents* contents) {
  DbxFolderOpen result;
  result.status = OpenFile(path, deny_read);
  if (!result.status.ok()) return result;
  result.file_opened = true;
  result.file_size = file_->size();
  unreadable_message_ = false;

  DbxFolderContents read;
  DbxStatus s = ReadFolderFile(*file_, &read);
  if (s.code() == kResultWrongSignature) {
    CloseFile();
    result.status = DbxStatus(s.code(), path + ": " + s.message());
    return result;
  }
  unreadable_message_ = read.unreadable_message;
  *contents = std::move(read);
  result.contents_read = true;
  result.status = s.ok() ? s : DbxStatus(s.code(), path + ": " + s.message());
  return result;
}

DbxStatus DbxSession::OpenStore(bool include_inactive, bool deny_read,
                                std::vector<DbxFolderRecord>* folders) {
  std::string path;
  switch (FindStoreFile(store_directory_, kFolderListName, &path)) {
    case Lookup::kLookupFailed:
      return DbxStatus(kResultLookupFailed, "cannot read the store directory \"" +
                                                store_directory_ + "\"");
    case Lookup::kMissing:
      return DbxStatus(kResultNotFound, "no " + std::string(kFolderListName) + " in \"" +
                                            store_directory_ + "\"");
    case Lookup::kFound:
      break;
  }
  DbxStatus s = OpenFile(path, deny_read);
  if (!s.ok()) return s;
  s = ReadFolderList(*file_, include_inactive, folders);
  CloseFile();
  if (!s.ok()) return DbxStatus(s.code(), path + ": " + s.message());
  return s;
}

DbxStatus DbxSession::ReadBody(uint32_t position, DbxBody* body) {
  if (!file_) return DbxStatus(kErrorBadFile, "no DBX file is open to read the body from");
  return ReadBodyChain(*file_, position, body);
}

DbxStatus DbxSession::ReadBodyText(uint32_t position, DbxBodyText* body) {
  if (!file_) return DbxStatus(kErrorBadFile, "no DBX file is open to read the body from");
  return dbx::ReadBodyText(*file_, position, body);
}

DbxStatus DbxSession::SalvageBody(uint32_t position, DbxSalvagedBody* body) {
  if (!file_) return DbxStatus(kErrorBadFile, "no DBX file is open to read the body from");
  return SalvageBodyText(*file_, position, body);
}

}  // namespace dbx
