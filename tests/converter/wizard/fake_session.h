// An in-memory personal-folders session for driver and engine tests: records
// stores, folders and saved items, and fails the calls a test asks it to.
#ifndef TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_SESSION_H_
#define TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_SESSION_H_

#include <strings.h>

#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "converter/engine/pst_session.h"

namespace tollan {

class FakeStore : public PstStoreHandle {
 public:
  std::string path;
  std::string display_name;
  std::vector<std::string> folders{"Deleted Items"};
};
class FakeFolder : public PstFolderHandle {
 public:
  std::string path;
};

struct SavedItem {
  std::string folder_path;
  std::string eml_path;  // the temporary file imported
  std::string text;
  int32_t flags = -1;
  uint64_t submit = 0;
  uint64_t delivery = 0;
};

struct FakeWorld {
  std::vector<std::unique_ptr<FakeStore>> stores;
  std::map<std::string, std::unique_ptr<FakeFolder>> folders;
  std::vector<SavedItem> items;
  std::vector<std::string> calls;
  bool fail_logon = false;
  bool fail_add_store = false;  // AddPSTStore fails as a file that cannot be made
  bool fail_logoff = false;     // Logoff cannot complete the files (a full disk)
  // Lets the engine import on a helper thread (imports only read the file
  // and fail_import_containing).
  bool imports_off_thread = false;
  std::set<std::string> fail_import_containing;
  // Imports of these run out of memory (std::bad_alloc).
  std::set<std::string> exhaust_import_containing;
  int sessions = 0;
  int logoffs = 0;
};

class FakeItem : public PstMailItem {
 public:
  FakeItem(FakeWorld* w, std::string folder) : w_(w) { item_.folder_path = std::move(folder); }
  Status Import(const std::string& eml_path) override {
    std::ifstream in(eml_path, std::ios::binary);
    if (!in) return Status::IoError("cannot read " + eml_path);
    item_.eml_path = eml_path;
    std::stringstream ss;
    ss << in.rdbuf();
    item_.text = ss.str();
    for (const auto& huge : w_->exhaust_import_containing) {
      if (item_.text.find(huge) != std::string::npos) throw std::bad_alloc();
    }
    for (const auto& bad : w_->fail_import_containing) {
      if (item_.text.find(bad) != std::string::npos) return Status::Corrupt("import refused");
    }
    return Status::Ok();
  }
  bool HasAttachments() const override {
    return item_.text.find("Content-Disposition: attachment") != std::string::npos;
  }
  Status SetLong(uint32_t tag, int32_t v) override {
    if (tag == kTagMessageFlags) item_.flags = v;
    return Status::Ok();
  }
  Status SetTime(uint32_t tag, uint64_t t) override {
    (tag == kTagClientSubmitTime ? item_.submit : item_.delivery) = t;
    return Status::Ok();
  }
  Status Save() override {
    w_->items.push_back(item_);
    return Status::Ok();
  }

 private:
  FakeWorld* w_;
  SavedItem item_;
};

class FakeSession : public PstSession {
 public:
  explicit FakeSession(FakeWorld* w) : w_(w) { ++w_->sessions; }
  Status Logon() override {
    w_->calls.push_back("Logon");
    return w_->fail_logon ? Status::IoError("no profile") : Status::Ok();
  }
  Status AddPSTStore(const std::string& path, const std::string& display,
                     PstStoreHandle** store) override {
    w_->calls.push_back("AddPSTStore " + path + " | " + display);
    if (w_->fail_add_store) return Status::IoError("cannot create " + path + ": Permission denied");
    auto s = std::make_unique<FakeStore>();
    s->path = path;
    s->display_name = display;
    *store = s.get();
    w_->stores.push_back(std::move(s));
    return Status::Ok();
  }
  Status AddFolder(PstStoreHandle* store, const std::string& name) override {
    w_->calls.push_back("AddFolder " + name);
    if (HasFolder(store, name)) return Status::InvalidArgument("folder exists: " + name);
    static_cast<FakeStore*>(store)->folders.push_back(name);
    return Status::Ok();
  }
  bool HasFolder(PstStoreHandle* store, const std::string& name) override {
    for (const auto& f : static_cast<FakeStore*>(store)->folders) {
      if (strcasecmp(f.c_str(), name.c_str()) == 0) return true;
    }
    return false;
  }
  Status GetFolderFromPath(const std::string& path, PstFolderHandle** folder) override {
    for (const auto& s : w_->stores) {
      for (const auto& f : s->folders) {
        if (path == "\\\\" + s->display_name + "\\" + f) {
          auto& h = w_->folders[path];
          if (!h) {
            h = std::make_unique<FakeFolder>();
            h->path = path;
          }
          *folder = h.get();
          return Status::Ok();
        }
      }
    }
    return Status::NotFound(path);
  }
  Status AddItem(PstFolderHandle* folder, std::unique_ptr<PstMailItem>* item) override {
    *item = std::make_unique<FakeItem>(w_, static_cast<FakeFolder*>(folder)->path);
    return Status::Ok();
  }
  bool ImportsOffThread() const override { return w_->imports_off_thread; }
  Status Logoff() override {
    w_->calls.push_back("Logoff");
    ++w_->logoffs;
    return w_->fail_logoff ? Status::IoError("No space left on device") : Status::Ok();
  }
  std::string CompletedPath(const std::string& path) const override {
    return w_->fail_logoff ? std::string() : path;
  }

 private:
  FakeWorld* w_;
};

}  // namespace tollan

#endif  // TOLLAN_TESTS_CONVERTER_WIZARD_FAKE_SESSION_H_
