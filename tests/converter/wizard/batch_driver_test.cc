// Tests of the batch run: option and folder checks, the single .pst, the walk
// with its skip table, captions and bars, the closing and failure messages.
#include "converter/wizard/batch_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "converter/engine/texts.h"
#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"
#include "tests/support/dbxgen/store.h"

namespace tollan {
namespace {

// A file-list source over fixed paths; Convert records its calls.
class ListSource : public BatchSource {
 public:
  explicit ListSource(std::vector<std::string> paths) : paths_(std::move(paths)) {}
  std::string SinglePstFilePrefix() const override { return "OutlookExpressMessages"; }
  std::string SinglePstDisplayPrefix() const override { return "Outlook Express Messages"; }
  bool FailuresEndRun() const override { return true; }
  bool IsEmpty() override { return paths_.empty(); }
  bool Prepare(ConversionPage&, PageState&) override { return true; }
  int32_t Count() override { return static_cast<int32_t>(paths_.size()); }
  bool EntryPath(int32_t k, std::string* path) override {
    *path = paths_[k - 1];
    return true;
  }
  void Convert(int32_t, const std::string& path, const std::string& folder, PageState& state) override {
    converted.push_back(path + " -> " + folder);
    FileOutcome& f = state.report.files.back();
    if (fail_file) {
      f.state = FileOutcome::State::kFailed;
      f.error = "not a readable Outlook Express folder file";
      return;
    }
    f.messages_total = 2;
    f.messages_converted = fail_one ? 1 : 2;
    f.messages_failed = fail_one ? 1 : 0;
    if (cancel_page) cancel_page->cancelled = true;  // Ctrl-C during the first file
  }
  void Finish(ConversionPage&, PageState&) override { ++finished; }

  std::vector<std::string> converted;
  bool fail_one = false;
  bool fail_file = false;
  FakePage* cancel_page = nullptr;
  int finished = 0;

 private:
  std::vector<std::string> paths_;
};

class BatchDriverTest : public ::testing::Test {
 protected:
  BatchDriver Driver(ListSource* source) {
    return BatchDriver(&page_, source, [this] { return std::make_unique<FakeSession>(&world_); },
                       [] { return std::string("7.12.26 3.5.09"); });
  }
  FakePage page_;
  FakeWorld world_;
  PageState state_;
};

TEST_F(BatchDriverTest, NeedsAnOptionAFileAndAFolder) {
  ListSource source({"/m/Inbox.dbx"});
  Driver(&source).Run(&state_);
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text, "Please Select Option for Creating Outlook (.pst) files");
  EXPECT_EQ(page_.boxes[0].title, "Tollan");
  EXPECT_EQ(page_.boxes[0].icon, MsgIcon::kInformation);
  EXPECT_TRUE(page_.browse_titles.empty());

  page_.each_pst = true;
  ListSource empty({});
  Driver(&empty).Run(&state_);
  EXPECT_EQ(page_.boxes.back().text, kNothingToConvertText);
  EXPECT_TRUE(page_.browse_titles.empty());

  // Cancelling the folder browser ends the run silently.
  page_.boxes.clear();
  Driver(&source).Run(&state_);
  EXPECT_EQ(page_.browse_titles, std::vector<std::string>{"Choose Folder to Save..."});
  EXPECT_TRUE(page_.boxes.empty());
  EXPECT_TRUE(source.converted.empty());
}

TEST_F(BatchDriverTest, SeparateFilesWalkWithSkipTableCaptionsAndBars) {
  page_.each_pst = true;
  page_.folder_answer = "/out";
  ListSource source({"/m/Folders.dbx", " /m/Inbox.dbx ", "/m/Deleted Items.dbx", "/m/folders.dbx"});
  Driver(&source).Run(&state_);
  EXPECT_EQ(state_.OutputFolder, "/out/");
  EXPECT_EQ(source.converted,
            (std::vector<std::string>{"/m/Inbox.dbx -> Inbox", "/m/folders.dbx -> folders"}));
  EXPECT_EQ(page_.bar1_values, (std::vector<float>{25, 50, 75, 100}));
  EXPECT_EQ(page_.frame_captions.front(), "Details : Converting - (1 of 4) file(s)");
  EXPECT_EQ(page_.file_captions[1], "Converting Messages... from (Inbox.dbx)");
  EXPECT_FALSE(page_.convert_enabled);
  EXPECT_EQ(world_.sessions, 0);  // the engine makes the sessions in this mode
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text, ClosingText());
  EXPECT_EQ(page_.boxes[0].icon, MsgIcon::kInformation);
  EXPECT_EQ(source.finished, 1);
  EXPECT_FALSE(page_.locked);
  EXPECT_EQ(page_.lock_changes, 2);
  EXPECT_TRUE(state_.report.finished);

  // Unchecked, Deleted Items is converted too.
  page_.skip_deleted = false;
  source.converted.clear();
  Driver(&source).Run(&state_);
  EXPECT_EQ(source.converted[1], "/m/Deleted Items.dbx -> Deleted Items");
}

TEST_F(BatchDriverTest, SkippedMailFoldersSayWhatTheyHoldAndTheOutboxMayBeConverted) {
  const std::string dir = ::testing::TempDir() + "skipped-" + std::to_string(getpid());
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  for (size_t at : {3u, 3u, 5u}) {  // two in the Outbox, one in Deleted Items
    dbxgen::Message m;
    m.subject = "s";
    m.text = "From: a@example.org\r\nSubject: s\r\n\r\nbody\r\n";
    spec.folders[at].messages.push_back(m);
  }
  ASSERT_TRUE(dbxgen::WriteStore(dir, spec).ok());
  page_.each_pst = true;
  page_.folder_answer = dir;  // the report goes beside the outputs
  for (bool outbox : {false, true}) {
    page_.boxes.clear();
    state_.ConvertOutbox = outbox;
    ListSource source({dir + "/Outbox.dbx", dir + "/Deleted Items.dbx"});
    Driver(&source).Run(&state_);
    EXPECT_EQ(source.converted.size(), outbox ? 1u : 0u);
    EXPECT_EQ(state_.report.MessagesInSkippedFiles(), outbox ? 1 : 3);
    ASSERT_EQ(page_.boxes.size(), 2u);
    EXPECT_EQ(page_.boxes[0].text, ClosingText());
    EXPECT_EQ(page_.boxes[1].icon, MsgIcon::kInformation);
    const std::string told = outbox ? "1 message(s) are in folders that were skipped.\r\n"
                                      "Deleted Items.dbx: skipped, holds 1 message(s)\r\n\r\n"
                                    : "3 message(s) are in folders that were skipped.\r\n"
                                      "Outbox.dbx: skipped, holds 2 message(s)\r\n"
                                      "Deleted Items.dbx: skipped, holds 1 message(s)\r\n\r\n";
    EXPECT_EQ(page_.boxes[1].text.substr(0, told.size()), told);
  }
  std::filesystem::remove_all(dir);
}

TEST_F(BatchDriverTest, SinglePstMakesOneStoreAndFreeFolderNames) {
  page_.one_pst = true;
  page_.skip_deleted = false;
  page_.folder_answer = "/out/";
  ListSource source({"/a/Inbox.dbx", "/b/Inbox.dbx", "/a/Outbox.dbx", "/a/Deleted Items.dbx"});
  Driver(&source).Run(&state_);
  ASSERT_EQ(world_.stores.size(), 1u);
  EXPECT_EQ(world_.stores[0]->path, "/out/OutlookExpressMessages7.12.26 3.5.09.pst");
  EXPECT_EQ(world_.stores[0]->display_name, "Outlook Express Messages : Created - 7.12.26 3.5.09");
  EXPECT_EQ(world_.stores[0]->folders,
            (std::vector<std::string>{"Deleted Items", "Inbox", "Inbox (2)"}));
  EXPECT_EQ(source.converted,
            (std::vector<std::string>{"/a/Inbox.dbx -> Inbox", "/b/Inbox.dbx -> Inbox (2)",
                                      "/a/Deleted Items.dbx -> Deleted Items"}));
  EXPECT_EQ(world_.logoffs, 1);
  EXPECT_EQ(state_.report.pst_files.size(), 1u);
  EXPECT_FALSE(state_.PSTSession);
  EXPECT_EQ(page_.boxes.back().text, ClosingText());
}

TEST_F(BatchDriverTest, SessionFailureShowsTheOutlookError) {
  page_.one_pst = true;
  page_.folder_answer = "/out";
  world_.fail_logon = true;
  ListSource source({"/a/Inbox.dbx"});
  Driver(&source).Run(&state_);
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text, OutlookErrorText());
  EXPECT_EQ(page_.boxes[0].title, "Outlook Error");
  EXPECT_EQ(state_.report.FilesFailed(), 1);
  EXPECT_TRUE(source.converted.empty());
  EXPECT_FALSE(page_.locked);
}

TEST_F(BatchDriverTest, FailedMessagesAreReportedAfterTheClosingMessage) {
  page_.each_pst = true;
  page_.folder_answer = "/out";
  ListSource source({"/a/Inbox.dbx", "/a/Sent Items.dbx"});
  source.fail_one = true;
  Driver(&source).Run(&state_);
  ASSERT_EQ(page_.boxes.size(), 2u);
  EXPECT_EQ(page_.boxes[0].text, ClosingText());
  EXPECT_EQ(page_.boxes[1].icon, MsgIcon::kExclamation);
  EXPECT_EQ(page_.boxes[1].text,
            "2 message(s) could not be converted.\r\nInbox.dbx: 1 of 2 message(s) failed\r\n"
            "Sent Items.dbx: 1 of 2 message(s) failed");
  EXPECT_EQ(state_.report.MessagesConverted(), 2);
}

TEST_F(BatchDriverTest, AFileThatFailsWholeIsCountedAsAFile) {
  page_.each_pst = true;
  page_.folder_answer = "/out";
  ListSource source({"/a/Inbox.dbx"});
  source.fail_file = true;
  Driver(&source).Run(&state_);
  ASSERT_EQ(page_.boxes.size(), 2u);
  EXPECT_EQ(page_.boxes[1].text.rfind(
                "1 file(s) could not be converted.\r\nInbox.dbx: not converted (not a readable Outlook "
                "Express folder file)",
                0),
            0u);
  EXPECT_EQ(page_.boxes[1].text.find("message(s) could not"), std::string::npos);
}

TEST_F(BatchDriverTest, InterruptEndsTheRunWithCompleteFiles) {
  page_.one_pst = true;
  page_.folder_answer = "/out";
  ListSource source({"/a/Inbox.dbx", "/a/Sent Items.dbx"});
  source.cancel_page = &page_;
  Driver(&source).Run(&state_);
  EXPECT_EQ(source.converted.size(), 1u);
  EXPECT_EQ(world_.logoffs, 1);
  EXPECT_TRUE(state_.report.interrupted);
  EXPECT_FALSE(state_.report.finished);
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text, InterruptedText(2, 1));
}

TEST_F(BatchDriverTest, PstErrorsAreShownAsTheyAre) {
  page_.one_pst = true;
  page_.folder_answer = "/out";
  world_.fail_add_store = true;
  ListSource source({"/a/Inbox.dbx"});
  Driver(&source).Run(&state_);
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text,
            PstCreateFailedText("I/O error: cannot create /out/OutlookExpressMessages7.12.26 3.5.09.pst: "
                                "Permission denied"));
  EXPECT_TRUE(state_.report.pst_files.empty());
}

TEST_F(BatchDriverTest, MessagesOfAPstThatCouldNotBeCompletedAreNotConverted) {
  page_.one_pst = true;
  page_.folder_answer = "/out";
  world_.fail_logoff = true;
  ListSource source({"/a/Inbox.dbx", "/a/Sent Items.dbx"});
  Driver(&source).Run(&state_);
  EXPECT_EQ(state_.report.MessagesConverted(), 0);
  EXPECT_EQ(state_.report.MessagesFailed(), 4);
  EXPECT_TRUE(state_.report.pst_files.empty());
  EXPECT_EQ(state_.report.files[0].state, FileOutcome::State::kFailed);
}

}  // namespace
}  // namespace tollan
