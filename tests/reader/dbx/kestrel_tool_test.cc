// The kestrel tool end to end on the real store, and its text conversion.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/kestrel/ansi_text.h"
#include "tools/kestrel/json_line.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
const std::string kStore = TOLLAN_SHARED_DIR "/fixtures/real-store";

struct ToolRun {
  int status;
  std::string out;
};

// Runs kestrel with `args`; stderr is dropped.
ToolRun Kestrel(const std::string& args) {
  std::string command = std::string(KESTREL_BINARY) + " " + args + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  ToolRun run{-1, ""};
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
  int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(KestrelToolTest, FoldersOfTheRealStore) {
  ToolRun run = Kestrel("folders " + kStore);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            R"({"FolderIndex":0,"ChildOf":"","FolderName":"Outlook Express","FolderFile":"","IsActive":false,"HasSubfolders":true,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":1,"ChildOf":"Outlook Express","FolderName":"Local Folders","FolderFile":"","IsActive":true,"HasSubfolders":true,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":4,"ChildOf":"Local Folders","FolderName":"Inbox","FolderFile":"Inbox.dbx","IsActive":true,"HasSubfolders":false,"MessageCount":1,"MessageUnread":0}
{"FolderIndex":5,"ChildOf":"Local Folders","FolderName":"Outbox","FolderFile":"Outbox.dbx","IsActive":true,"HasSubfolders":false,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":6,"ChildOf":"Local Folders","FolderName":"Sent Items","FolderFile":"","IsActive":true,"HasSubfolders":false,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":7,"ChildOf":"Local Folders","FolderName":"Deleted Items","FolderFile":"","IsActive":true,"HasSubfolders":false,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":8,"ChildOf":"Local Folders","FolderName":"Drafts","FolderFile":"","IsActive":true,"HasSubfolders":false,"MessageCount":0,"MessageUnread":0}
{"FolderIndex":9,"ChildOf":"Outlook Express","FolderName":"Hotmail","FolderFile":"","IsActive":true,"HasSubfolders":false,"MessageCount":0,"MessageUnread":0}
)");
}

TEST(KestrelToolTest, MessagesOfTheRealInbox) {
  ToolRun run = Kestrel("messages " + kStore + "/Inbox.dbx");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "0\n"
            R"({"Subject":"Welcome to Outlook Express 6","OrigSubject":"Welcome to Outlook Express 6","SenderName":"Microsoft Outlook Express Team","SenderAddr":"msoe@microsoft.com","SenderAddrName":"","RecipientName":"New Outlook Express User","RecipientAddr":"","DateCreated":"2021-12-12T04:45:59Z","DateSaved":"2021-12-12T04:45:59Z","DateReceived":"2021-12-12T04:45:59Z","MessageID":"","AnswerMessageID":"","Newsgroup":"","Server":"","MailAccount":"","RegistryKey":"","MessageLines":0,"MessagePriority":3,"MessageRead":true,"MessageMarked":false,"AttachmentPresent":false,"DigitallySigned":false,"NewsPosting":false,"PendingChanges":false,"ThreadWatched":false,"ThreadIgnored":false,"BodySize":10139})"
            "\n");
  EXPECT_EQ(Kestrel("messages " + kStore + "/Outbox.dbx").out, "0\n");
}

TEST(KestrelToolTest, ExportWritesTheStoredTextByteForByte) {
  fs::path out = fs::path(TOLLAN_BINARY_DIR) / "tmp" / "kestrel_export";
  fs::remove_all(out);
  ToolRun run = Kestrel("export " + kStore + " " + out.string());
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "1 written, 0 skipped\n");
  const std::string file = FileBytes(kStore + "/Inbox.dbx");
  std::string expected;
  for (size_t i = 0; i < 20; ++i) expected += file.substr(0xEAD4 + 0x210 * i + 16, i < 19 ? 512 : 411);
  EXPECT_EQ(FileBytes(out / "Inbox" / "1.eml"), expected);
  EXPECT_TRUE(fs::is_directory(out / "Outbox"));

  fs::remove_all(out);
  run = Kestrel("export " + kStore + "/Inbox.dbx " + out.string());
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(FileBytes(out / "1.eml"), expected);
  fs::remove_all(out);
}

TEST(KestrelToolTest, BadInputsFailWithNonZeroStatus) {
  EXPECT_NE(Kestrel("").status, 0);
  EXPECT_NE(Kestrel("frobnicate").status, 0);
  EXPECT_NE(Kestrel("folders").status, 0);
  EXPECT_NE(Kestrel("folders /no/such/dir").status, 0);
  EXPECT_NE(Kestrel("folders " + kStore + " --codepage 99999").status, 0);
  ToolRun missing = Kestrel("messages " + kStore + "/Missing.dbx");
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(missing.out, "1001\n");
  ToolRun foreign = Kestrel("messages " + kStore + "/Offline.dbx");
  EXPECT_NE(foreign.status, 0);
  EXPECT_EQ(foreign.out, "1002\n");
  EXPECT_NE(Kestrel("export " + kStore + "/Folders.dbx /tmp/kestrel-never-written").status, 0);
  EXPECT_FALSE(fs::exists("/tmp/kestrel-never-written"));
}

TEST(KestrelToolTest, ExportOfAMessageSkippedOrWrittenInPartExitsNonZero) {
  const fs::path tmp = fs::temp_directory_path() / ("kestrel-partial-" + std::to_string(::getpid()));
  struct Case {
    long offset;  // of the two bytes changed in a copy of the real Inbox
    const char* out;
  } cases[] = {
      {0xEAD4, "0 written, 1 skipped\n"},                          // the first body block's own offset
      {0xEAD4 + 0x210 * 3 + 8, "1 written (1 in part), 0 skipped\n"},  // a block's used length
  };
  for (const Case& c : cases) {
    fs::remove_all(tmp);
    ASSERT_TRUE(fs::create_directories(tmp));
    fs::copy_file(kStore + "/Inbox.dbx", tmp / "Inbox.dbx");
    fs::permissions(tmp / "Inbox.dbx", fs::perms::owner_write, fs::perm_options::add);
    {
      std::fstream inbox(tmp / "Inbox.dbx", std::ios::in | std::ios::out | std::ios::binary);
      inbox.seekp(c.offset);
      inbox.write("\x55\x55", 2);
    }
    ToolRun run = Kestrel("export " + (tmp / "Inbox.dbx").string() + " " + (tmp / "out").string());
    EXPECT_EQ(run.status, 1) << c.out;
    EXPECT_EQ(run.out, c.out);
  }
  fs::remove_all(tmp);
}

TEST(KestrelToolTest, RecoverGivesBackTheRealInboxMessageAfterItsRootIsDamaged) {
  const fs::path tmp = fs::temp_directory_path() / ("kestrel-recover-" + std::to_string(::getpid()));
  fs::remove_all(tmp);
  ASSERT_TRUE(fs::create_directories(tmp / "store"));
  for (const char* name : {"Folders.dbx", "Inbox.dbx", "Outbox.dbx", "Offline.dbx"}) {
    fs::copy_file(fs::path(kStore) / name, tmp / "store" / name);
    fs::permissions(tmp / "store" / name, fs::perms::owner_write, fs::perm_options::add);
  }
  {
    std::fstream inbox(tmp / "store" / "Inbox.dbx", std::ios::in | std::ios::out | std::ios::binary);
    inbox.seekp(0x1E254);  // the root node's own offset
    inbox.put('\x55');
  }
  ASSERT_EQ(Kestrel("export " + kStore + "/Inbox.dbx " + (tmp / "sound").string()).status, 0);
  // Through the index the damaged Inbox lists nothing, and export says the
  // folder failed; the scan finds the message through its surviving record.
  ToolRun listed = Kestrel("export " + (tmp / "store" / "Inbox.dbx").string() + " " +
                           (tmp / "listed").string());
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.out, "");
  ToolRun run = Kestrel("recover " + (tmp / "store").string() + " " + (tmp / "out").string());
  ASSERT_EQ(run.status, 0);
  const fs::path eml = tmp / "out" / "Inbox" / "recovered" / "1.eml";
  EXPECT_EQ(run.out, eml.string() + "\trecord\t60116\t10139\n"
                     "0 through the index, 1 through surviving records, 0 from orphaned chains, "
                     "0 fragments, 0 incomplete\n");
  EXPECT_EQ(FileBytes(eml), FileBytes(tmp / "sound" / "1.eml"));
  // A second run finds its output there and writes over nothing.
  std::ofstream(eml, std::ios::trunc) << "kept";
  EXPECT_EQ(Kestrel("recover " + (tmp / "store" / "Inbox.dbx").string() + " " +
                    (tmp / "out" / "Inbox").string()).status, 1);
  EXPECT_EQ(FileBytes(eml), "kept");
  EXPECT_FALSE(fs::exists(eml.string() + ".part"));
  fs::remove_all(tmp);
}

TEST(AnsiTextTest, ConvertsCodePagesToUtf8) {
  std::string error;
  auto cp1252 = AnsiText::Create(1252, &error);
  ASSERT_TRUE(cp1252);
  EXPECT_EQ(cp1252->ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(cp1252->ToUtf8("a\x81" "b"), "a\xC2\x81" "b");  // passed through as U+0081
  auto cp1251 = AnsiText::Create(1251, &error);
  ASSERT_TRUE(cp1251);
  EXPECT_EQ(cp1251->ToUtf8("\xC0\xE1"), "\xD0\x90\xD0\xB1");  // А б
  auto cp932 = AnsiText::Create(932, &error);
  ASSERT_TRUE(cp932);
  EXPECT_EQ(cp932->ToUtf8("\x82\xA0x"), "\xE3\x81\x82x");     // あ
  EXPECT_EQ(cp932->ToUtf8("x\x82"), "x\xEF\xBF\xBD");          // cut-off pair
  EXPECT_FALSE(AnsiText::Create(99999, &error));
  EXPECT_NE(error, "");
}

TEST(JsonLineTest, EscapesAndOrder) {
  JsonLine line;
  line.String("a", "q\"b\\s\n\x01").Int("n", -5).Bool("t", true).Null("z");
  EXPECT_EQ(line.Finish(), R"({"a":"q\"b\\s\n\u0001","n":-5,"t":true,"z":null})");
}

}  // namespace
}  // namespace kestrel
