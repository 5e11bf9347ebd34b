// PstSession over the .pst writer and the mail import.
#include "converter/engine/pst_writer_session.h"

#include <strings.h>

#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "converter/engine/import_one.h"
#include "converter/engine/output_file.h"
#include "converter/engine/pst_parts.h"
#include "converter/engine/written_digests.h"
#include "platform/os/file.h"
#include "platform/pst/pst_file.h"

namespace tollan {

namespace {

class WriterStore : public PstStoreHandle {
 public:
  std::string path;          // the final name asked for (the first part's)
  std::string display_name;  // the store's name in the engine's folder paths
  // The part being written (1: the file of `path`), under a name of its own
  // until it is complete, and what each of its messages was handed over as,
  // when read back. No file once a part could not be completed or begun:
  // `stopped` says why.
  int part = 1;
  std::string temp_path;
  std::unique_ptr<pst::PstFile> file;
  std::unique_ptr<WrittenDigests> digests;
  Status stopped;
  // Every folder made, as its path below the top folder, parents first:
  // each new part gets the same tree.
  std::vector<std::string> folders;
  // With a size limit (0: none): the bytes Close will add for the messages
  // of the part, and where they came from, to be named if it is lost.
  uint64_t max_bytes = 0;
  uint64_t pending_close = 0;
  std::vector<PstMessageSource> in_part;
  // The parts completed (final paths), the first message of each after the
  // first, what reading each back found, and the messages of a part that
  // could not be completed.
  std::vector<std::string> done;
  std::vector<PstMessageSource> starts;
  std::vector<PstVerification> verifications;
  std::vector<PstMessageSource> lost;
  std::string lost_why;
};

class WriterFolder : public PstFolderHandle {
 public:
  WriterStore* store = nullptr;
  std::string below;  // its path below the store's top folder ("" for the top)
  int part = 1;       // the part `id` is a folder of
  pst::FolderId id = 0;
};

// The path FindFolder takes for the folder `below` of the part being written.
std::string PartFolderPath(const WriterStore& store, const std::string& below) {
  const std::string top = "\\\\" + store.file->display_name();
  return below.empty() ? top : top + "\\" + below;
}

// The folder `below` in the part being written, made with the folders on the
// way when missing (`fail_if_there`: fails when the last one is there).
Status MakeFolder(WriterStore& store, const std::string& below, bool fail_if_there, pst::FolderId* out) {
  pst::FolderId parent = store.file->IpmSubtree();
  size_t start = 0;
  for (size_t sep; (sep = below.find('\\', start)) != std::string::npos; start = sep + 1) {
    pst::FolderId id;
    Status s = store.file->FindFolder(PartFolderPath(store, below.substr(0, sep)), &id);
    if (!s.ok()) s = store.file->AddFolder(parent, below.substr(start, sep - start), &id);
    if (!s.ok()) return s;
    parent = id;
  }
  if (!fail_if_there && store.file->FindFolder(PartFolderPath(store, below), out).ok()) return Status::Ok();
  return store.file->AddFolder(parent, below.substr(start), out);
}

// Completes the part being written: closed, given its final name and read
// back. When that fails its file is gone, and so are its messages.
Status CompletePart(WriterStore& store) {
  Status s = store.file->Close();
  store.file.reset();  // an incomplete file removes itself
  const std::string wanted = store.part == 1 ? store.path : PartPath(store.path, store.part);
  std::string final_path;
  if (s.ok()) {
    s = MoveToFreeName(store.temp_path, wanted, &final_path);
  } else {
    os::Remove(store.temp_path);
  }
  if (!s.ok()) {
    s = Status::IoError(wanted + ": " + s.ToString());
    store.stopped = s;
    store.lost = std::move(store.in_part);
    store.lost_why = s.ToString();
    return s;
  }
  store.done.push_back(final_path);
  if (store.part > 1 && !store.in_part.empty()) store.starts.push_back(store.in_part.front());
  if (store.digests) store.verifications.push_back(store.digests->Verify(final_path));
  return s;
}

// Opens the next part, "NAME (part N).pst", with the folder tree of the ones
// before.
Status BeginPart(WriterStore& store, int part, const std::string& display_name) {
  const std::string path = part == 1 ? store.path : PartPath(store.path, part);
  store.part = part;
  store.pending_close = 0;
  store.in_part.clear();
  store.temp_path.clear();
  Status s = CreateTempBeside(path, &store.temp_path);
  if (s.ok()) s = pst::PstFile::Create(store.temp_path, display_name, &store.file);
  for (size_t k = 0; s.ok() && k < store.folders.size(); ++k) {
    pst::FolderId id;
    s = MakeFolder(store, store.folders[k], false, &id);
  }
  if (!s.ok()) {
    store.file.reset();
    if (!store.temp_path.empty()) os::Remove(store.temp_path);
    store.stopped = Status::IoError(path + ": " + s.ToString());
    return store.stopped;
  }
  if (store.digests) store.digests = std::make_unique<WrittenDigests>();
  return s;
}

// True when saving `m` into the part being written could take it past the
// size limit; a part always takes at least one message.
bool WouldPassLimit(const WriterStore& store, const pst::MessageContent& m) {
  if (store.max_bytes == 0 || store.in_part.empty()) return false;
  const uint64_t to_come =
      MessageBytes(m) + store.pending_close + CloseBytes(m) + CloseBytesFixed(store.folders.size());
  return ProjectedSize(store.file->FileSize(), to_come) > store.max_bytes;
}

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
  Status ImportShared(const std::string& eml_path, std::shared_ptr<const std::string> content) override {
    (void)eml_path;  // the engine has just written `content` there
    mail::ImportReport report;
    Status s = mail::ImportMessage(std::move(content), options_, &content_, &report);
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
    WriterStore& store = *folder_->store;
    if (store.file && WouldPassLimit(store, content_)) {
      Status s = CompletePart(store);
      if (s.ok()) s = BeginPart(store, store.part + 1, PartDisplayName(store.display_name, store.part + 1));
      if (!s.ok()) return s;
    }
    if (!store.file) return store.stopped;
    if (folder_->part != store.part) {
      Status s = store.file->FindFolder(PartFolderPath(store, folder_->below), &folder_->id);
      if (!s.ok()) return s;
      folder_->part = store.part;
    }
    Status s = store.file->AddMessage(folder_->id, content_);
    if (!s.ok()) return s;
    if (store.digests) store.digests->Add(folder_->id, content_, source_file_, source_number_);
    if (store.max_bytes > 0) {
      store.pending_close += CloseBytes(content_);
      store.in_part.push_back({source_file_, source_number_});
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
                bool read_back, uint64_t max_pst_bytes)
      : options_(options), tally_(tally), workers_(workers), read_back_(read_back),
        max_pst_bytes_(max_pst_bytes) {}
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
    handle->max_bytes = max_pst_bytes_;
    if (read_back_) handle->digests = std::make_unique<WrittenDigests>();
    // Written under a name of its own until Logoff completes it: an
    // interrupted run leaves no broken file under the final name.
    Status s = BeginPart(*handle, 1, display_name);
    if (!s.ok()) return handle->stopped;
    *store = handle.get();
    stores_.push_back(std::move(handle));
    return Status::Ok();
  }

  Status AddFolder(PstStoreHandle* handle, const std::string& name) override {
    WriterStore* store = Own(handle);
    if (!store->file) return store->stopped;
    pst::FolderId id;
    Status s = MakeFolder(*store, name, true, &id);
    if (s.ok()) Remember(store, name);
    return s;
  }

  Status AddSubfolder(const std::string& parent_path, const std::string& name) override {
    PstFolderHandle* handle = nullptr;
    Status s = GetFolderFromPath(parent_path, &handle);
    if (!s.ok()) return s;
    WriterFolder* parent = Own(handle);
    pst::FolderId id;
    s = parent->store->file->AddFolder(parent->id, name, &id);
    if (s.ok()) Remember(parent->store, parent->below.empty() ? name : parent->below + "\\" + name);
    return s;
  }

  bool HasFolder(PstStoreHandle* handle, const std::string& name) override {
    WriterStore* store = Own(handle);
    pst::FolderId id;
    return store->file && store->file->FindFolder(PartFolderPath(*store, name), &id).ok();
  }

  Status GetFolderFromPath(const std::string& path, PstFolderHandle** folder) override {
    for (const auto& store : stores_) {
      const std::string prefix = "\\\\" + store->display_name;
      if (path.size() < prefix.size() || strncasecmp(path.c_str(), prefix.c_str(), prefix.size()) != 0 ||
          (path.size() > prefix.size() && path[prefix.size()] != '\\')) {
        continue;
      }
      if (!store->file) return store->stopped;
      const std::string below = path.size() > prefix.size() ? path.substr(prefix.size() + 1) : "";
      pst::FolderId id;
      if (!store->file->FindFolder(PartFolderPath(*store, below), &id).ok()) continue;
      for (const auto& f : folders_) {
        if (f->store == store.get() && f->part == store->part && f->id == id) {
          *folder = f.get();
          return Status::Ok();
        }
      }
      auto handle = std::make_unique<WriterFolder>();
      handle->store = store.get();
      handle->below = below;
      handle->part = store->part;
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
    return it == completed_.end() || it->second.empty() ? std::string() : it->second.front();
  }
  std::vector<std::string> CompletedParts(const std::string& path) const override {
    auto it = completed_.find(path);
    return it == completed_.end() ? std::vector<std::string>() : it->second;
  }
  std::vector<PstMessageSource> PartStarts(const std::string& path) const override {
    auto it = starts_.find(path);
    return it == starts_.end() ? std::vector<PstMessageSource>() : it->second;
  }
  std::vector<PstMessageSource> LostInParts(const std::string& path, std::string* why) const override {
    auto it = lost_.find(path);
    if (it == lost_.end()) return {};
    *why = it->second.first;
    return it->second.second;
  }
  const PstVerification* Verification(const std::string& path) const override {
    auto it = verifications_.find(path);
    return it == verifications_.end() ? nullptr : &it->second;
  }

  Status Logoff() override {
    Status first;
    for (auto& store : stores_) {
      Status s = store->file ? CompletePart(*store) : store->stopped;
      completed_[store->path] = store->done;
      if (!store->starts.empty()) starts_[store->path] = std::move(store->starts);
      for (PstVerification& v : store->verifications) verifications_[v.path] = std::move(v);
      if (!store->done.empty() && !store->lost.empty()) {
        lost_[store->path] = {store->lost_why, std::move(store->lost)};
      }
      if (!s.ok() && first.ok()) first = s;
    }
    folders_.clear();
    stores_.clear();
    return first;
  }

 private:
  // Records a folder made, so that every later part gets it too.
  static void Remember(WriterStore* store, const std::string& below) {
    size_t start = 0;
    for (size_t sep = 0; sep != std::string::npos; start = sep + 1) {
      sep = below.find('\\', start);
      const std::string path = below.substr(0, sep);
      bool known = false;
      for (const std::string& f : store->folders) known = known || strcasecmp(f.c_str(), path.c_str()) == 0;
      if (!known) store->folders.push_back(path);
    }
  }

  mail::ImportOptions options_;
  ImportTally* tally_;
  ImportWorkers* workers_;
  std::vector<std::unique_ptr<WriterStore>> stores_;
  std::vector<std::unique_ptr<WriterFolder>> folders_;
  bool read_back_;
  uint64_t max_pst_bytes_;
  // Asked-for path -> the final paths of its parts, in order (empty when
  // none was completed), the first message of each part after the first,
  // and the messages of a part that was lost.
  std::map<std::string, std::vector<std::string>> completed_;
  std::map<std::string, std::vector<PstMessageSource>> starts_;
  std::map<std::string, std::pair<std::string, std::vector<PstMessageSource>>> lost_;
  std::map<std::string, PstVerification> verifications_;  // completed file -> what reading back found
};

}  // namespace

std::unique_ptr<PstSession> NewPstWriterSession(const mail::ImportOptions& options,
                                                ImportTally* tally, ImportWorkers* workers,
                                                bool read_back, uint64_t max_pst_bytes) {
  return std::make_unique<WriterSession>(options, tally, workers, read_back, max_pst_bytes);
}

}  // namespace tollan
