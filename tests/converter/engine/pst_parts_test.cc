// A .pst split at a size limit: a part that cannot be completed names the
// messages it held, and the run's report takes every part, where each
// begins, and those messages as failed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "converter/engine/engine.h"
#include "converter/engine/pst_writer_session.h"
#include "tests/converter/wizard/fake_session.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

std::string MessageText(int n) {
  return "From: a@example.com\r\nSubject: message " + std::to_string(n) +
         "\r\nMessage-ID: <" + std::to_string(n) + "@example.com>\r\n\r\n" + std::string(30000, 'x') + "\r\n";
}

TEST(PstPartsTest, APartThatCannotBeCompletedNamesItsMessages) {
  const fs::path dir = fs::temp_directory_path() / ("parts-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "out.pst").string();
  auto session = NewPstWriterSession(mail::ImportOptions(), nullptr, nullptr, false, 400 << 10);
  PstStoreHandle* store = nullptr;
  ASSERT_TRUE(session->AddPSTStore(path, "Mail", &store).ok());
  ASSERT_TRUE(session->AddFolder(store, "Inbox").ok());
  // Once the first part is complete, the file system takes no more bytes
  // (as on a full disk): what was saved into the second part is lost.
  struct rlimit was;
  ::getrlimit(RLIMIT_FSIZE, &was);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  std::vector<int64_t> in_second_part;
  for (int n = 1; n <= 40 && in_second_part.size() < 3; ++n) {
    // Once a part could not be completed, the store takes nothing more.
    PstFolderHandle* folder = nullptr;
    std::unique_ptr<PstMailItem> item;
    bool saved = session->GetFolderFromPath("\\\\Mail\\Inbox", &folder).ok() &&
                 session->AddItem(folder, &item).ok() && item->ImportWritten("", MessageText(n)).ok();
    if (saved) item->SetSource("Inbox.dbx", n);
    saved = saved && item->Save().ok();
    if (fs::exists(path)) {
      const struct rlimit none = {0, was.rlim_max};
      ::setrlimit(RLIMIT_FSIZE, &none);
      if (saved) in_second_part.push_back(n);
    }
  }
  const bool logoff_ok = session->Logoff().ok();
  ::setrlimit(RLIMIT_FSIZE, &was);
  ::signal(SIGXFSZ, old_handler);

  ASSERT_FALSE(in_second_part.empty());
  EXPECT_FALSE(logoff_ok);
  EXPECT_EQ(session->CompletedParts(path), std::vector<std::string>{path});
  std::string why;
  std::vector<int64_t> lost;
  for (const PstMessageSource& m : session->LostInParts(path, &why)) lost.push_back(m.number);
  EXPECT_EQ(lost, in_second_part);
  EXPECT_NE(why.find("out (part 2).pst"), std::string::npos) << why;
  // Nothing else is left: no second part, no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

// A session whose store became two parts, the second lost.
class SplitSession : public FakeSession {
 public:
  using FakeSession::FakeSession;
  std::vector<std::string> CompletedParts(const std::string& path) const override {
    return {path, "/o/a (part 2).pst", "/o/a (part 3).pst"};
  }
  std::vector<PstMessageSource> PartStarts(const std::string&) const override {
    return {{"Inbox.dbx", 4}, {"Sent.dbx", 2}};
  }
  std::vector<PstMessageSource> LostInParts(const std::string&, std::string* why) const override {
    *why = "/o/a (part 4).pst: No space left on device";
    return {{"Sent.dbx", 5}, {"Sent.dbx", 6}};
  }
};

TEST(PstPartsTest, TheReportTakesEveryPartAndTheLostMessages) {
  FakeWorld world;
  PageState state;
  state.PSTSession = std::make_unique<SplitSession>(&world);
  state.PstPath = "/o/a.pst";
  state.report.pst_files = {"/o/earlier.pst", "/o/a.pst"};
  for (const char* file : {"Inbox.dbx", "Sent.dbx"}) {
    FileOutcome f;
    f.dbx_path = file;
    f.messages_converted = 6;
    state.report.files.push_back(f);
  }
  SettleOutput(state, 0, Status::IoError("No space left on device"));

  EXPECT_EQ(state.report.pst_files, (std::vector<std::string>{"/o/earlier.pst", "/o/a.pst", "/o/a (part 2).pst",
                                                              "/o/a (part 3).pst"}));
  EXPECT_EQ(state.report.files[0].messages_converted, 6);
  EXPECT_EQ(state.report.files[1].messages_converted, 4);
  EXPECT_EQ(state.report.files[1].messages_failed, 2);
  std::vector<std::string> notes;
  for (const MessageNote& m : state.report.messages) {
    const bool begins = m.what == MessageNote::What::kNewPart;
    notes.push_back(m.folder_file + " " + std::to_string(m.number) + (begins ? " begins " : " failed: ") +
                    (begins ? m.why.substr(m.why.rfind('/')) : m.why.substr(m.why.find("(part 4)"), 8)));
  }
  EXPECT_EQ(notes, (std::vector<std::string>{"Inbox.dbx 4 begins /a (part 2).pst", "Sent.dbx 2 begins /a (part 3).pst",
                                             "Sent.dbx 5 failed: (part 4)", "Sent.dbx 6 failed: (part 4)"}));
}

}  // namespace
}  // namespace tollan
