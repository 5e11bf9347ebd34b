// Tests of the per-message pipeline: temporary files, flags, dates, failures.
#include "converter/engine/message_pipeline.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

class FixedDates : public MessageDateReader {
 public:
  std::optional<uint64_t> date;
  std::vector<std::string> paths;
  std::optional<uint64_t> MessageDate(const std::string& path) override {
    paths.push_back(path);
    return date;
  }
};

class MessagePipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("pipeline-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    FakeSession(&world_).AddPSTStore("x.pst", "Store", &store_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  MessageJob Job(std::string_view text, const std::string& name) {
    MessageJob job;
    job.text = text;
    job.temp_path = (dir_ / name).string();
    job.folder_path = "\\\\Store\\Deleted Items";
    return job;
  }
  fs::path dir_;
  FakeWorld world_;
  PstStoreHandle* store_ = nullptr;
  FakePage page_;
  FixedDates dates_;
};

TEST_F(MessagePipelineTest, SavesTheImportedTextWithFlagsAndDatesAndRemovesTheFile) {
  FakeSession session(&world_);
  dates_.date = 133000000000000000ull;
  std::string text = "Subject: hi\r\n\r\nbody\r\n";
  ASSERT_TRUE(ConvertMessage(page_, session, dates_, Job(text, "3.eml")).ok());
  ASSERT_EQ(world_.items.size(), 1u);
  EXPECT_EQ(world_.items[0].text, text);
  EXPECT_EQ(world_.items[0].flags, kMsgFlagRead);
  EXPECT_EQ(world_.items[0].submit, 133000000000000000ull);
  EXPECT_EQ(world_.items[0].delivery, 133000000000000000ull);
  EXPECT_EQ(dates_.paths, std::vector<std::string>{(dir_ / "3.eml").string()});
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_GE(page_.yields, 4);
}

TEST_F(MessagePipelineTest, NeverTouchesAnExistingFileOfTheUser) {
  FakeSession session(&world_);
  std::ofstream(dir_ / "3.eml") << "the user's own";
  std::ofstream(dir_ / "3 (2).eml") << "another";
  ASSERT_TRUE(ConvertMessage(page_, session, dates_, Job("x", "3.eml")).ok());
  EXPECT_EQ(dates_.paths, std::vector<std::string>{(dir_ / "3 (3).eml").string()});
  std::ifstream in(dir_ / "3.eml");
  std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "the user's own");
  EXPECT_FALSE(fs::exists(dir_ / "3 (3).eml"));
}

TEST_F(MessagePipelineTest, AttachmentFlagFollowsTheMessageAndDatesFallBack) {
  FakeSession session(&world_);
  MessageJob job = Job("Content-Disposition: attachment\r\n", "1.eml");
  job.read = false;
  job.fallback_date = 42;
  ASSERT_TRUE(ConvertMessage(page_, session, dates_, job).ok());
  EXPECT_EQ(world_.items[0].flags, kMsgFlagHasAttach);
  EXPECT_EQ(world_.items[0].submit, 42u);

  // No date anywhere: no date is set rather than a made-up one.
  MessageJob none = Job("plain", "2.eml");
  ASSERT_TRUE(ConvertMessage(page_, session, dates_, none).ok());
  EXPECT_EQ(world_.items[1].submit, 0u);
}

TEST_F(MessagePipelineTest, FailedImportSavesNothingAndCleansUp) {
  FakeSession session(&world_);
  world_.fail_import_containing.insert("BAD");
  EXPECT_FALSE(ConvertMessage(page_, session, dates_, Job("BAD", "5.eml")).ok());
  EXPECT_TRUE(world_.items.empty());
  EXPECT_TRUE(fs::is_empty(dir_));

  MessageJob lost = Job("x", "6.eml");
  lost.folder_path = "\\\\Store\\Nowhere";
  EXPECT_FALSE(ConvertMessage(page_, session, dates_, lost).ok());
  EXPECT_TRUE(fs::is_empty(dir_));

  MessageJob unwritable = Job("x", "no-such-dir/7.eml");
  EXPECT_FALSE(ConvertMessage(page_, session, dates_, unwritable).ok());
}

}  // namespace
}  // namespace tollan
