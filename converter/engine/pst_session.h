// PstSession: the personal-folders session calls the conversion engine and
// the batch driver make: log on, add a new .pst store under a display name,
// add a mail folder under the store's top folder, find a folder by its path,
// add a mail item, import an Internet message into it, set properties, save,
// log off. Failures come back as values; the callers decide whether a failure
// ends the run or only the step.
#ifndef TOLLAN_CONVERTER_ENGINE_PST_SESSION_H_
#define TOLLAN_CONVERTER_ENGINE_PST_SESSION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "converter/engine/import_wire.h"
#include "platform/pst/status.h"

namespace tollan {

using pst::Status;

// Opaque handles owned by the session; valid until Logoff. Each session
// hands out its own kinds, derived from these; the engine only passes them
// back to the session that made them.
class PstStoreHandle {
 public:
  virtual ~PstStoreHandle() = default;
};
class PstFolderHandle {
 public:
  virtual ~PstFolderHandle() = default;
};
class ImportWorkers;

// Message flags of the items the engine writes.
inline constexpr int32_t kMsgFlagRead = 0x01;
inline constexpr int32_t kMsgFlagHasAttach = 0x10;

// Property tags the engine sets after the import.
inline constexpr uint32_t kTagMessageFlags = 0x0E070003;
inline constexpr uint32_t kTagClientSubmitTime = 0x00390040;
inline constexpr uint32_t kTagMessageDeliveryTime = 0x0E060040;

// A new, unsaved mail item of a folder.
class PstMailItem {
 public:
  virtual ~PstMailItem() = default;
  // Takes headers, body and attachments from the Internet-message file.
  virtual Status Import(const std::string& eml_path) = 0;
  // The same for a file whose bytes the caller holds: `content` is exactly
  // what it has just written to `eml_path`. A session may import the bytes
  // instead of reading the file back; by default the file is read.
  virtual Status ImportWritten(const std::string& eml_path, std::string_view content) {
    (void)content;
    return Import(eml_path);
  }
  // The same for bytes the item may keep (shared) until it is saved: a
  // session may then leave a large attachment in them, to be decoded as it
  // is written, instead of holding it decoded beside them.
  virtual Status ImportShared(const std::string& eml_path, std::shared_ptr<const std::string> content) {
    return ImportWritten(eml_path, *content);
  }
  // Takes the message as an import worker imported it from the same bytes,
  // in place of Import. A session without workers does not take them.
  virtual Status TakeImported(wire::ImportAnswer answer) {
    (void)answer;
    return Status::InvalidArgument("this session imports its messages itself");
  }
  // True when the imported message has visible attachments.
  virtual bool HasAttachments() const = 0;
  // After an import that could not map everything and kept the original
  // message attached instead: what could not be mapped. Empty otherwise.
  virtual std::string KeptOriginalReason() const { return std::string(); }
  // Sets an integer property (PT_LONG).
  virtual Status SetLong(uint32_t tag, int32_t value) = 0;
  // Sets a time property (PT_SYSTIME) from a FILETIME tick count.
  virtual Status SetTime(uint32_t tag, uint64_t filetime) = 0;
  // Says which source message the item is (its folder file and number
  // there, as the report names messages), for a session that reads its
  // files back; before Save.
  virtual void SetSource(const std::string& folder_file, int64_t number) {
    (void)folder_file;
    (void)number;
  }
  // Stores the item in its folder.
  virtual Status Save() = 0;
};

// A source message, as the report names it: its folder file and its number
// there.
struct PstMessageSource {
  std::string folder_file;
  int64_t number = 0;
};

// What reading a completed .pst back found: the structural check of the
// file, then every message saved into it read back and compared with what
// the session was handed for it.
struct PstVerification {
  struct Mismatch {
    std::string folder_file;  // the message's source, as the report names it
    int64_t number = 0;
    std::string what;         // the value that differs ("subject", ...)
  };
  std::string path;                    // the completed file
  std::vector<std::string> structure;  // structural problems, or why it could not be checked
  std::string structure_summary;       // the check's summary when sound
  int64_t verified = 0;                // messages read back as written
  int64_t total = 0;                   // messages saved into the file
  std::vector<Mismatch> mismatches;

  bool ok() const { return structure.empty() && mismatches.empty() && verified == total; }
};

class PstSession {
 public:
  virtual ~PstSession() = default;

  virtual Status Logon() = 0;

  // Creates a new .pst at `path` (which must not exist yet) with the given
  // display name and attaches it to the session.
  virtual Status AddPSTStore(const std::string& path, const std::string& display_name,
                             PstStoreHandle** store) = 0;

  // Adds a mail folder `name` directly under the store's top folder. Fails
  // when a folder of that name is already there. A `name` of several names
  // joined by "\" adds the last one at that path below the top folder,
  // making the folders on the way that are missing.
  virtual Status AddFolder(PstStoreHandle* store, const std::string& name) = 0;

  // Adds a mail folder `name` below the folder at `parent_path` (a path as
  // GetFolderFromPath takes it). Sessions that cannot make subfolders fail.
  virtual Status AddSubfolder(const std::string& parent_path, const std::string& name) {
    return Status::InvalidArgument("this session cannot add " + name + " below " + parent_path);
  }
  // The folder at "\\" + display name + "\" + folder name (deeper paths go on
  // with further "\" pieces).
  virtual Status GetFolderFromPath(const std::string& path, PstFolderHandle** folder) = 0;

  // True when the store's top folder has a subfolder `name` (any letter case).
  virtual bool HasFolder(PstStoreHandle* store, const std::string& name) = 0;

  virtual Status AddItem(PstFolderHandle* folder, std::unique_ptr<PstMailItem>* item) = 0;
  // True when an item's Import/ImportWritten may run on another thread while
  // this thread goes on with other calls of the session (other items' Save
  // among them). Every other call stays on the thread that made the session.
  virtual bool ImportsOffThread() const { return false; }
  // The import worker processes whose answers this session's items take
  // (TakeImported), or null when the session imports in this process.
  // The calling thread alone talks to them.
  virtual ImportWorkers* Workers() { return nullptr; }

  // Closes every store of the session; each becomes a complete .pst file.
  virtual Status Logoff() = 0;

  // After Logoff: where the store asked for at `path` now lies. A session
  // that writes under a temporary name gives the store its final name only
  // once it is complete, and takes a free name beside `path` when another
  // file took it meanwhile. Empty when the store could not be completed and
  // no file of it is left.
  virtual std::string CompletedPath(const std::string& path) const { return path; }

  // After Logoff: every file the store asked for at `path` became, in order:
  // the file of CompletedPath, then the further parts a size limit began
  // ("NAME (part 2).pst", ...). Empty when no part was completed.
  virtual std::vector<std::string> CompletedParts(const std::string& path) const {
    std::string done = CompletedPath(path);
    return done.empty() ? std::vector<std::string>() : std::vector<std::string>{done};
  }

  // After Logoff: the first message of each part after the first of the
  // store asked for at `path`, in the order of CompletedParts.
  virtual std::vector<PstMessageSource> PartStarts(const std::string& path) const {
    (void)path;
    return {};
  }

  // After Logoff, when parts of that store were completed but a later one
  // could not be: the messages saved into the part that is gone, and in
  // *why the reason. (When no part was completed, every message saved into
  // the store is gone.)
  virtual std::vector<PstMessageSource> LostInParts(const std::string& path, std::string* why) const {
    (void)path;
    (void)why;
    return {};
  }

  // After Logoff, for a session that reads its files back: what reading the
  // completed file at `path` (the store's own path, or a part that
  // CompletedParts names) back found; null when it was not read back.
  virtual const PstVerification* Verification(const std::string& path) const {
    (void)path;
    return nullptr;
  }
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_PST_SESSION_H_
