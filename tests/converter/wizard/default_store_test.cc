// The default-store batch end to end: a Wine prefix written by the test names
// an identity whose store folder holds a copy of the real store; Kestrel is
// registered in a private registration file and created by class identity.
#include "converter/wizard/default_store_source.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "converter/engine/texts.h"
#include "platform/com/activation.h"
#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"
#include "tests/support/dbxgen/store.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

class DefaultStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("defaultstore-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    setenv("KESTREL_REGISTRATIONS", (root_ / "registrations.ini").c_str(), 1);
    std::string lib = std::string(TOLLAN_BINARY_DIR) + "/reader/model/libkestrel.so";
    void* handle = dlopen(lib.c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    fs::remove_all(root_);
    unsetenv("KESTREL_REGISTRY");
  }

  // A prefix whose one identity keeps its store in C:\Mail (the real store,
  // or a generated one when `generator_args` is given).
  void WritePrefix(bool with_store, const std::string& generator_args = "") {
    fs::path prefix = root_ / "prefix";
    fs::create_directories(prefix / "drive_c" / "Mail");
    std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n";
    std::ofstream(prefix / "user.reg")
        << "WINE REGISTRY Version 2\n\n"
        << "[Identities] 1700000000\n\"Default User ID\"=\"{A}\"\n\n"
        << "[Identities\\\\{A}] 1700000000\n\"UserName\"=\"Main Identity\"\n\n"
        << "[Identities\\\\{A}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
        << "\"Store Root\"=\"C:\\\\Mail\"\n";
    if (!generator_args.empty()) {
      std::string cmd = std::string(TOLLAN_BINARY_DIR) + "/tools/make-sample-store/make-sample-store '" +
                        (prefix / "drive_c" / "Mail").string() + "' --quiet " + generator_args;
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    } else if (with_store) {
      for (const auto& e : fs::directory_iterator(std::string(TOLLAN_SHARED_DIR) + "/fixtures/real-store")) {
        fs::copy_file(e.path(), prefix / "drive_c" / "Mail" / e.path().filename());
      }
    }
    setenv("KESTREL_REGISTRY", ("wine:" + prefix.string()).c_str(), 1);
  }

  // Presses Convert on the default-store page with one .pst per file, for the
  // store `view` found, into a fake session that records in `world`.
  void ConvertPerFile(const DefaultStoreView& view, FakePage* page, FakeWorld* world, PageState* state) {
    page->each_pst = true;
    page->folder_answer = (root_ / "out").string();
    EngineEnv env;
    env.sessions = [world] { return std::make_unique<FakeSession>(world); };
    DefaultStoreSource source(page, [&] { return view.store_folder; }, env);
    BatchDriver(page, &source, env.sessions).Run(state);
  }

  fs::path root_;
};

TEST_F(DefaultStoreTest, FindsOpensAndConvertsTheStore) {
  WritePrefix(true);
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  EXPECT_EQ(fs::path(view.store_folder).filename(), "Mail");
  EXPECT_FALSE(view.folder_count.empty());

  for (bool single : {true, false}) {
    FakePage page;
    page.one_pst = single;
    page.each_pst = !single;
    page.folder_answer = (root_ / "out").string();
    FakeWorld world;
    EngineEnv env;
    env.sessions = [&] { return std::make_unique<FakeSession>(&world); };
    env.timestamp = [] { return std::string("1.1.26 0.0.00"); };
    DefaultStoreSource source(&page, [&] { return view.store_folder; }, env);
    PageState run;
    BatchDriver(&page, &source, env.sessions, env.timestamp).Run(&run);
    ASSERT_EQ(world.items.size(), 1u) << single;
    if (single) {
      EXPECT_EQ(world.stores[0]->display_name, "Tollan : Created - 1.1.26 0.0.00");
      EXPECT_EQ(world.items[0].folder_path, "\\\\Tollan : Created - 1.1.26 0.0.00\\Inbox");
    } else {
      EXPECT_EQ(world.items[0].folder_path, "\\\\Inbox : Created - 1.1.26 0.0.00\\Inbox");
    }
    // The one message of the real store has been read.
    EXPECT_EQ(world.items[0].flags & kMsgFlagRead, kMsgFlagRead);
    EXPECT_EQ(run.report.MessagesConverted(), 1);
    EXPECT_EQ(page.boxes.back().text, ClosingText());
    EXPECT_FALSE(run.MyOE);
    EXPECT_TRUE(fs::is_empty(root_ / "out"));
  }
}

TEST_F(DefaultStoreTest, UnreadableBodyWarnsOnceAndTheRestConverts) {
  // Message 3 of the Inbox has a body position that stays 8: the folder opens
  // with 1005, the warning shows once, that message is skipped, the others
  // convert, each with its own read state.
  WritePrefix(true, "--folders Inbox --messages-per-folder 12 --damage body-position-8 --damage-message 3");
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  FakePage page;
  FakeWorld world;
  ConvertPerFile(view, &page, &world, &state);
  int warnings = 0;
  for (const auto& box : page.boxes) {
    if (box.title == "Compress Outlook Express Folder!") {
      ++warnings;
      EXPECT_EQ(box.text, "Folder opened, but some messages may be inaccessible; Compress the folder from Outlook Express");
      EXPECT_EQ(box.icon, MsgIcon::kExclamation);
    }
  }
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(world.items.size(), 11u);
  bool some_unread = false;
  for (const auto& item : world.items) some_unread |= (item.flags & kMsgFlagRead) == 0;
  EXPECT_TRUE(some_unread);
  const FileOutcome* inbox = nullptr;
  for (const auto& f : state.report.files) {
    if (f.file_name == "Inbox.dbx") inbox = &f;
  }
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->messages_converted, 11);
  EXPECT_EQ(inbox->messages_skipped + inbox->messages_failed, 1);
  EXPECT_EQ(page.progress_captions.back(), "92 % Done. 11/12 Email Message(s) Converted.");
}

TEST_F(DefaultStoreTest, EveryListedMessageConvertsWhateverCountTheFolderListGives) {
  // The folder list says 1 or 50 messages; the folder file holds 5: all 5
  // convert, and none is made up.
  for (const char* damage : {"understated-count", "overstated-count"}) {
    WritePrefix(true, std::string("--folders Inbox --messages-per-folder 5 --damage ") + damage);
    PageState state;
    DefaultStoreView view = OpenDefaultStore(state);
    ASSERT_EQ(view.problem, "");
    FakePage page;
    FakeWorld world;
    ConvertPerFile(view, &page, &world, &state);
    EXPECT_EQ(world.items.size(), 5u) << damage;
    EXPECT_EQ(page.progress_captions.back(), "100 % Done. 5/5 Email Message(s) Converted.") << damage;
    EXPECT_TRUE(state.report.AllArrivedWhole()) << damage;
    fs::remove_all(root_ / "prefix");
  }
}

TEST_F(DefaultStoreTest, AFolderNamedApartFromItsFileConvertsUnderItsFileName) {
  // Flat folders: "Old Stuff", kept in Archive(1).dbx, goes to a .pst folder
  // named after its file, like a hand-picked file.
  WritePrefix(false);
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  dbxgen::Folder old = dbxgen::UserFolder(11, "Old Stuff");
  old.record.file_name = "Archive(1).dbx";
  for (const char* subject : {"old1", "old2"}) {
    dbxgen::Message m;
    m.subject = subject;
    m.text = std::string("From: a@example.org\r\nSubject: ") + subject + "\r\n\r\nbody\r\n";
    old.messages.push_back(m);
  }
  spec.folders.push_back(old);
  ASSERT_TRUE(dbxgen::WriteStore(root_ / "prefix" / "drive_c" / "Mail", spec).ok());
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  FakePage page;
  FakeWorld world;
  ConvertPerFile(view, &page, &world, &state);
  ASSERT_EQ(world.items.size(), 2u);
  for (const auto& item : world.items) {
    EXPECT_EQ(item.folder_path.substr(item.folder_path.rfind('\\')), "\\Archive(1)") << item.folder_path;
  }
  EXPECT_EQ(state.report.FilesFailed(), 0);
}

TEST_F(DefaultStoreTest, FailedImportIsNeitherConvertedNorInTheBar) {
  fs::create_directories(root_ / "emls");
  for (int i = 1; i <= 4; ++i) {
    std::ofstream(root_ / "emls" / (std::to_string(i) + ".eml"))
        << "From: a@example.com\r\nSubject: m" << i << "\r\n\r\n" << (i == 2 ? "REFUSED" : "fine") << "\r\n";
  }
  WritePrefix(true, "--folders Inbox --from-eml '" + (root_ / "emls").string() + "'");
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  FakePage page;
  FakeWorld world;
  world.fail_import_containing.insert("REFUSED");
  ConvertPerFile(view, &page, &world, &state);
  // The folder goes on after the failed message; that one is reported.
  EXPECT_EQ(world.items.size(), 3u);
  EXPECT_EQ(page.progress_captions.back(), "75 % Done. 3/4 Email Message(s) Converted.");
  const FileOutcome* inbox = nullptr;
  for (const auto& f : state.report.files) {
    if (f.file_name == "Inbox.dbx") inbox = &f;
  }
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->messages_converted, 3);
  EXPECT_EQ(inbox->messages_failed, 1);
  EXPECT_NE(inbox->error.find("message 2"), std::string::npos) << inbox->error;
  // No temporary file is left; the report beside the output names the
  // message.
  std::vector<fs::path> left(fs::directory_iterator(root_ / "out"), {});
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0], fs::path(state.report.report_file));
  std::ifstream in(left[0]);
  std::string header, row, more;
  std::getline(in, header);
  std::getline(in, row);
  EXPECT_NE(row.find("Inbox.dbx,2,m2,a@example.com,"), std::string::npos) << row;
  EXPECT_NE(row.find(",failed,"), std::string::npos) << row;
  EXPECT_FALSE(std::getline(in, more));
}

TEST_F(DefaultStoreTest, FolderFileThatWillNotOpenShowsOpenfolderFailed) {
  WritePrefix(true, "--folders Inbox --messages-per-folder 3");
  fs::remove(root_ / "prefix" / "drive_c" / "Mail" / "Inbox.dbx");
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  FakePage page;
  FakeWorld world;
  ConvertPerFile(view, &page, &world, &state);
  const FakePage::Box* failed = nullptr;
  for (const auto& box : page.boxes) {
    if (box.title == "Failed") failed = &box;
  }
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->text, "Openfolder failed with error code 1001");
  EXPECT_EQ(failed->icon, MsgIcon::kExclamation);
  EXPECT_FALSE(page.frame1_enabled);
  EXPECT_TRUE(world.items.empty());
}

TEST_F(DefaultStoreTest, AFolderWhoseIndexIsShortOfItsHeaderFails) {
  WritePrefix(true, "--folders Inbox,Archive --messages-per-folder 6 --damage root-zero");
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  ASSERT_EQ(view.problem, "");
  FakePage page;
  FakeWorld world;
  ConvertPerFile(view, &page, &world, &state);
  int failed = 0;
  for (const auto& f : state.report.files) {
    if (f.state != FileOutcome::State::kFailed) continue;
    ++failed;
    EXPECT_EQ(f.messages_declared, 6);
    EXPECT_EQ(f.error, IndexShortText(0, 6));
  }
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(world.items.size(), 6u);  // the sound folder
  for (const auto& store : world.stores) {  // no empty .pst for the damaged one
    EXPECT_EQ(store->display_name.rfind("Inbox", 0), std::string::npos);
  }
}

TEST_F(DefaultStoreTest, StoreWithoutFolderListSaysSoAndConvertsNothing) {
  WritePrefix(false);
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  EXPECT_NE(view.problem, "");
  EXPECT_EQ(view.folder_count, "");

  FakePage page;
  FakeWorld world;
  ConvertPerFile(view, &page, &world, &state);
  ASSERT_EQ(page.boxes.size(), 1u);
  EXPECT_EQ(page.boxes[0].text, "Failed to Open OE object; return code=1001");
  EXPECT_EQ(page.boxes[0].title, "Failed to Open OE");
  EXPECT_EQ(page.boxes[0].icon, MsgIcon::kCritical);
  EXPECT_TRUE(world.items.empty());
}

TEST_F(DefaultStoreTest, NoIdentityIsAClearMessage) {
  fs::create_directories(root_ / "empty");
  std::ofstream(root_ / "empty" / "user.reg") << "WINE REGISTRY Version 2\n";
  std::ofstream(root_ / "empty" / "system.reg") << "WINE REGISTRY Version 2\n";
  setenv("KESTREL_REGISTRY", ("wine:" + (root_ / "empty").string()).c_str(), 1);
  PageState state;
  DefaultStoreView view = OpenDefaultStore(state);
  EXPECT_NE(view.problem.find("No Outlook Express identity"), std::string::npos) << view.problem;
}

}  // namespace
}  // namespace tollan
