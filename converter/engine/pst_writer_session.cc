// PstSession over the .pst writer and the mail import.
#include "converter/engine/pst_writer_session.h"

#include <strings.h>

#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "converter/engine/output_file.h"
#include "converter/engine/written_digests.h"
#include "platform/os/file.h"
#include "platform/pst/pst_file.h"

namespace tollan {

namespace {

class WriterStore : public PstStoreHandle {
 public:
  std::string path;       // the final name asked for
  std::string temp_path;  // where the file is written until it is complete
  std::string display_name;
  std::unique_ptr<pst::PstFile> file;
  // What each message was handed over as, when the file is read back.
  std::unique_ptr<WrittenDigests> digests;
};

class WriterFolder : public PstFolderHandle {
 public:
  WriterStore* store = nullptr;
  pst::FolderId id = 0;
};

// The handles this session made, back from the engine.
WriterStore* Own(PstStoreHandle* h) { return static_cast<WriterStore*>(h); }
WriterFolder* Own(PstFolderHandle* h) { return static_cast<WriterFolder*>(h); }

class WriterItem : public PstMailItem {
 public:
  WriterItem(PstFolderHandle* folder, const mail::ImportOptions& options, ImportTally* tally)
      : folder_(Own(folder)), options_(options), tally_(tally) {}

  Status Import(const std::string& eml_path) override {
    mail::ImportReport report;
    Status s = mail::ImportMessage(os::FsPath(eml_path), options_, &content_, &report);
    Count(s, report);
    return s;
  }
  Status ImportWritten(const std::string& eml_path, std::string_view content) override {
    (void)eml_path;  // the engine has just written `content` there
    mail::ImportReport report;
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(content.data()), content.size());
    Status s = mail::ImportMessage(bytes, options_, &content_, &report);
    Count(s, report);
    return s;
  }
  Status TakeImported(wire::ImportAnswer answer) override {
    if (!answer.status.ok()) return answer.status;
    content_ = std::move(answer.content);
    kept_original_ = answer.kept_original;
    Count(answer.status, answer.clean, answer.original_attached);
    return Status::Ok();
  }
  bool HasAttachments() const override {
    const pst::Property* flags = content_.Find(kTagMessageFlags);
    const int64_t* value = flags ? std::get_if<int64_t>(&flags->value) : nullptr;
    return value && (*value & kMsgFlagHasAttach) != 0;
  }
  std::string KeptOriginalReason() const override { return kept_original_; }
  Status SetLong(uint32_t tag, int32_t value) override {
    content_.Set(pst::MakeInt32(static_cast<uint16_t>(tag >> 16), value));
    return Status::Ok();
  }
  Status SetTime(uint32_t tag, uint64_t filetime) override {
    content_.Set(pst::MakeTime(static_cast<uint16_t>(tag >> 16), filetime));
    return Status::Ok();
  }
  void SetSource(const std::string& folder_file, int64_t number) override {
    source_file_ = folder_file;
    source_number_ = number;
  }
  Status Save() override {
    Status s = folder_->store->file->AddMessage(folder_->id, content_);
    if (s.ok() && folder_->store->digests) {
      folder_->store->digests->Add(folder_->id, content_, source_file_, source_number_);
    }
    return s;
  }

 private:
  void Count(const Status& s, const mail::ImportReport& report) {
    kept_original_ = s.ok() ? KeptOriginalText(report) : std::string();
    Count(s, report.clean(), report.original_attached);
  }
  void Count(const Status& s, bool clean, bool original_attached) {
    if (!s.ok() || tally_ == nullptr) return;
    // Imports may run on a helper thread.
    std::lock_guard<std::mutex> lock(tally_mu_);
    ++tally_->messages;
    if (!clean) ++tally_->with_warnings;
    if (original_attached) ++tally_->original_attached;
  }

  static inline std::mutex tally_mu_;
  WriterFolder* folder_;
  const mail::ImportOptions& options_;
  ImportTally* tally_;
  std::string kept_original_;
  std::string source_file_;
  int64_t source_number_ = 0;
  pst::MessageContent content_;
};

class WriterSession : public PstSession {
 public:
  WriterSession(const mail::ImportOptions& options, ImportTally* tally, ImportWorkers* workers,
                bool read_back)
      : options_(options), tally_(tally), workers_(workers), read_back_(read_back) {}
  ~WriterSession() override { Logoff(); }

  Status Logon() override { return Status::Ok(); }

  Status AddPSTStore(const std::string& path, const std::string& display_name,
                     PstStoreHandle** store) override {
    if (os::Exists(path)) {
      return Status::InvalidArgument(path + " already exists; it is left untouched");
    }
    auto handle = std::make_unique<WriterStore>();
    handle->path = path;
    handle->display_name = display_name;
    // Written under a name of its own until Logoff completes it: an
    // interrupted run leaves no broken file under the final name.
    Status s = CreateTempBeside(path, &handle->temp_path);
    if (!s.ok()) return s;
    s = pst::PstFile::Create(handle->temp_path, display_name, &handle->file);
    if (!s.ok()) {
      os::Remove(handle->temp_path);
      return s;
    }
    if (read_back_) handle->digests = std::make_unique<WrittenDigests>();
    *store = handle.get();
    stores_.push_back(std::move(handle));
    return Status::Ok();
  }

  Status AddFolder(PstStoreHandle* handle, const std::string& name) override {
    WriterStore* store = Own(handle);
    pst::FolderId parent = store->file->IpmSubtree();
    std::string path = "\\\\" + store->display_name;
    size_t start = 0;
    for (size_t sep; (sep = name.find('\\', start)) != std::string::npos; start = sep + 1) {
      const std::string piece = name.substr(start, sep - start);
      path += "\\" + piece;
      pst::FolderId id;
      Status s = store->file->FindFolder(path, &id);
      if (!s.ok()) s = store->file->AddFolder(parent, piece, &id);
      if (!s.ok()) return s;
      parent = id;
    }
    pst::FolderId id;
    return store->file->AddFolder(parent, name.substr(start), &id);
  }

  Status AddSubfolder(const std::string& parent_path, const std::string& name) override {
    PstFolderHandle* parent = nullptr;
    Status s = GetFolderFromPath(parent_path, &parent);
    if (!s.ok()) return s;
    pst::FolderId id;
    return Own(parent)->store->file->AddFolder(Own(parent)->id, name, &id);
  }

  bool HasFolder(PstStoreHandle* handle, const std::string& name) override {
    WriterStore* store = Own(handle);
    pst::FolderId id;
    return store->file->FindFolder("\\\\" + store->display_name + "\\" + name, &id).ok();
  }

  Status GetFolderFromPath(const std::string& path, PstFolderHandle** folder) override {
    for (const auto& store : stores_) {
      const std::string prefix = "\\\\" + store->display_name;
      if (path.size() < prefix.size() || strncasecmp(path.c_str(), prefix.c_str(), prefix.size()) != 0) {
        continue;
      }
      pst::FolderId id;
      if (!store->file->FindFolder(path, &id).ok()) continue;
      for (const auto& f : folders_) {
        if (f->store == store.get() && f->id == id) {
          *folder = f.get();
          return Status::Ok();
        }
      }
      auto handle = std::make_unique<WriterFolder>();
      handle->store = store.get();
      handle->id = id;
      *folder = handle.get();
      folders_.push_back(std::move(handle));
      return Status::Ok();
    }
    return Status::NotFound("no folder " + path);
  }

  Status AddItem(PstFolderHandle* folder, std::unique_ptr<PstMailItem>* item) override {
    *item = std::make_unique<WriterItem>(folder, options_, tally_);
    return Status::Ok();
  }

  bool ImportsOffThread() const override { return true; }
  ImportWorkers* Workers() override { return workers_; }
  std::string CompletedPath(const std::string& path) const override {
    auto it = completed_.find(path);
    return it == completed_.end() ? std::string() : it->second;
  }
  const PstVerification* Verification(const std::string& path) const override {
    auto it = verifications_.find(path);
    return it == verifications_.end() ? nullptr : &it->second;
  }

  Status Logoff() override {
    Status first;
    for (auto& store : stores_) {
      if (!store->file) continue;
      Status s = store->file->Close();
      store->file.reset();  // an incomplete file removes itself
      std::string final_path;
      if (s.ok()) {
        s = MoveToFreeName(store->temp_path, store->path, &final_path);
      } else {
        os::Remove(store->temp_path);
      }
      completed_[store->path] = final_path;
      if (s.ok() && store->digests) verifications_[store->path] = store->digests->Verify(final_path);
      if (!s.ok() && first.ok()) first = Status::IoError(store->path + ": " + s.ToString());
    }
    folders_.clear();
    stores_.clear();
    return first;
  }

 private:
  mail::ImportOptions options_;
  ImportTally* tally_;
  ImportWorkers* workers_;
  std::vector<std::unique_ptr<WriterStore>> stores_;
  std::vector<std::unique_ptr<WriterFolder>> folders_;
  std::map<std::string, std::string> completed_;  // asked-for path -> final path
  bool read_back_;
  std::map<std::string, PstVerification> verifications_;  // asked-for path -> what reading back found
};

}  // namespace

std::string KeptOriginalText(const mail::ImportReport& report) {
  if (!report.original_attached) return std::string();
  std::string text;
  for (const std::string& u : report.unmapped) text += (text.empty() ? "" : "; ") + u;
  return text.empty() ? "could not be mapped fully" : text;
}

std::unique_ptr<PstSession> NewPstWriterSession(const mail::ImportOptions& options,
                                                ImportTally* tally, ImportWorkers* workers,
                                                bool read_back) {
  return std::make_unique<WriterSession>(options, tally, workers, read_back);
}

}  // namespace tollan
