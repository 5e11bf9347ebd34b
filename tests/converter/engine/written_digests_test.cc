// A verified .pst names every message that does not read back as it was
// handed over by its source folder file and number, with the value.
#include <filesystem>

#include <gtest/gtest.h>

#include "converter/engine/written_digests.h"
#include "platform/pst/pst_file.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

pst::MessageContent Message(const std::u16string& subject, const std::u16string& body) {
  pst::MessageContent m;
  m.props.push_back(pst::MakeString(0x0037, subject));
  m.props.push_back(pst::MakeString(0x1000, body));
  return m;
}

TEST(WrittenDigestsTest, NamesTheSourceAndValueOfEachMessageThatDiffers) {
  const fs::path dir = fs::temp_directory_path() / ("digests-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "out.pst").string();
  std::unique_ptr<pst::PstFile> pst;
  ASSERT_TRUE(pst::PstFile::Create(path, "Digests", &pst).ok());
  pst::FolderId inbox = 0, sent = 0;
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Inbox", &inbox).ok());
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Sent", &sent).ok());
  // What is recorded against what the file gets: equal, or one value apart.
  const struct {
    pst::FolderId* folder;
    const char* file;
    int64_t number;
    pst::MessageContent recorded, written;
  } messages[] = {
      {&inbox, "Inbox.dbx", 1, Message(u"a", u"one"), Message(u"a", u"one")},
      {&inbox, "Inbox.dbx", 2, Message(u"b", u"two"), Message(u"b", u"tw0")},
      {&sent, "Sent.dbx", 1, Message(u"c", u"three"), Message(u"C", u"three")},
      {&sent, "Sent.dbx", 3, Message(u"d", u"four"), Message(u"d", u"four")},
  };
  WrittenDigests digests;
  for (const auto& m : messages) {
    digests.Add(*m.folder, m.recorded, m.file, m.number);
    ASSERT_TRUE(pst->AddMessage(*m.folder, m.written).ok());
  }
  ASSERT_TRUE(pst->Close().ok());

  PstVerification v = digests.Verify(path);
  EXPECT_TRUE(v.structure.empty());
  EXPECT_EQ(v.total, 4);
  EXPECT_EQ(v.verified, 2);
  ASSERT_EQ(v.mismatches.size(), 2u);
  EXPECT_EQ(v.mismatches[0].folder_file, "Inbox.dbx");
  EXPECT_EQ(v.mismatches[0].number, 2);
  EXPECT_EQ(v.mismatches[0].what, "plain body");
  EXPECT_EQ(v.mismatches[1].folder_file, "Sent.dbx");
  EXPECT_EQ(v.mismatches[1].number, 1);
  EXPECT_EQ(v.mismatches[1].what, "subject");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tollan
