// Tests of the per-message pipeline: temporary files, flags, dates, failures.
#include "converter/engine/message_pipeline.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

class FixedDates : public MessageDateReader {
 public:
  std::optional<uint64_t> date;
  std::vector<std::string> paths;
  std::optional<uint64_t> MessageDate(const std::string& path, std::string_view) override {
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

// With imports on a helper thread, outcomes still arrive in message order on
// the calling thread, failures stay with their own message, and every
// temporary file is gone at the end.
TEST_F(MessagePipelineTest, ImportsAheadKeepOrderAndOutcomes) {
  world_.imports_off_thread = true;
  world_.fail_import_containing.insert("BAD");
  world_.exhaust_import_containing.insert("HUGE");
  FakeSession session(&world_);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<int> order;
  std::vector<bool> ok;
  {
    MessagePipeline pipeline(page_, &session, dates_);
    for (int i = 0; i < 100; ++i) {
      std::string text = "Subject: " + std::to_string(i) + (i % 7 == 3 ? " BAD" : "") + "\r\n\r\nx\r\n";
      MessageJob job = Job(text, std::to_string(i % 10) + ".eml");  // names repeat: free ones are taken
      if (i == 50) job.temp_path = (dir_ / "no-such-dir" / "50.eml").string();
      if (i == 60) job.folder_path = "\\\\Store\\Nowhere";
      if (i == 70) job.text += "HUGE";
      pipeline.Submit(std::move(job), [&, i](const Status& s, const std::string&) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
        ok.push_back(s.ok());
      });
      if (i == 80) {
        pipeline.Finish();
        EXPECT_EQ(order.size(), 81u);
      }
    }
  }
  ASSERT_EQ(order.size(), 100u);
  int saved = 0;
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(order[i], i);
    const bool should = i % 7 != 3 && i != 50 && i != 60 && i != 70;
    EXPECT_EQ(ok[i], should) << i;
    if (should) {
      ASSERT_LT(saved, static_cast<int>(world_.items.size()));
      EXPECT_EQ(world_.items[saved].text, "Subject: " + std::to_string(i) + "\r\n\r\nx\r\n");
      EXPECT_EQ(world_.items[saved].flags, kMsgFlagRead);
      ++saved;
    }
  }
  EXPECT_EQ(saved, static_cast<int>(world_.items.size()));
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(MessagePipelineTest, NoSessionFailsEveryMessage) {
  MessagePipeline pipeline(page_, nullptr, dates_);
  Status got;
  pipeline.Submit(Job("x", "1.eml"), [&](const Status& s, const std::string&) { got = s; });
  EXPECT_FALSE(got.ok());
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace tollan
