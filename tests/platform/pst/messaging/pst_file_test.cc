// End-to-end tests of PstFile: files written through the real node database
// are read back by libpff (pypff, pffexport), libpst (readpst, lspst) and the
// project's own checker, and every folder, message, property, recipient and
// attachment must come back as written.
#include "platform/pst/pst_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/pst/check/check.h"
#include "platform/pst/ltp/prop_codec.h"

namespace pst {
namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string Hex(const std::vector<uint8_t>& b) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (uint8_t x : b) {
    s += d[x >> 4];
    s += d[x & 15];
  }
  return s;
}

std::string Fnv(const std::vector<uint8_t>& data) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (uint8_t b : data) h = (h ^ b) * 0x100000001B3ull;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

// The oracle's form of a value: pypff gives the stored bytes.
std::string OracleValue(const Property& p) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ltp::EncodeValue(p, &bytes).ok());
  if (p.type == PropType::kBoolean) bytes.resize(1);  // libpff gives one byte
  if (bytes.size() > 256) return "#" + std::to_string(bytes.size()) + ":" + Fnv(bytes);
  return Hex(bytes);
}

std::string TagHex(uint32_t tag) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08x", tag);
  return buf;
}

// Per message (folder path + index): its "P" and "AP" lines as a set.
struct OracleDump {
  std::map<std::string, int> folder_counts;
  std::map<std::string, std::set<std::string>> messages;
};

OracleDump ReadWithPypff(const std::string& path) {
  OracleDump d;
  std::istringstream in(Shell("/usr/bin/python3 " TOLLAN_SOURCE_DIR
                            "/tests/platform/pst/messaging/pst_oracle.py '" + path + "'"));
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("F ", 0) == 0) {
      size_t sp = line.rfind(' ');
      d.folder_counts[line.substr(2, sp - 2)] = std::stoi(line.substr(sp + 1));
    } else if (line.rfind("M ", 0) == 0) {
      current = line.substr(2);
      d.messages[current];
    } else if (!current.empty()) {
      d.messages[current].insert(line);
    }
  }
  return d;
}

class PstFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(TOLLAN_BINARY_DIR) / "pst_file_test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "out.pst").string();
  }
  void ExpectCheckerHappy() {
    check::Report r = check::CheckFile(path_);
    EXPECT_TRUE(r.ok()) << [&] {
      std::string s;
      for (const auto& p : r.problems) s += p.ToString() + "\n";
      return s;
    }();
  }
  fs::path dir_;
  std::string path_;
};

PropertyName StringName(const std::u16string& name) {
  PropertyName n;
  n.property_set = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  n.kind = PropertyName::Kind::kString;
  n.name = name;
  return n;
}

PropertyName NumericName(uint32_t id) {
  PropertyName n;
  n.property_set = {0x03, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  n.id = id;
  return n;
}

MessageContent RichMessage(int i) {
  MessageContent m;
  m.props = {
      MakeString(0x001A, u"IPM.Note"),
      MakeString(0x0037, u"Subject \u00fc\u4e2d " + std::u16string(1, u'A' + i % 26)),
      MakeString(0x1000, u"Plain body of message " + std::u16string(i % 7, u'.')),
      MakeInt32(0x0E07, i % 2 ? 0x11 : 0x10),
      MakeTime(0x0039, 0x01D5000000000000ull + i),
      MakeTime(0x0E06, 0x01D5000000000000ull + i),
      MakeString(0x0042, u"Alice Sender"),
      MakeString(0x0C1A, u"Alice Sender"),
      MakeString(0x0E04, u"Bob Receiver"),
      MakeString(0x0E03, u"Carol Copy"),
      MakeInt32(0x0017, 1),
      MakeBool(0x0057, true),
      MakeInt64(0x0E4A, 1234567890123ll),
      {0x3FFA, PropType::kDouble, false, {}, 3.25},
      {0x3FFB, PropType::kInt16, false, {}, int64_t{7}},
      {0x3FFC, PropType::kGuid, false, {}, std::vector<uint8_t>(16, 0x5A)},
      MakeBinary(0x0071, {1, 2, 3, 4, 5}),
      {0x3FFD, PropType::kMvInt32, false, {}, std::vector<int32_t>{3, -4}},
      {0x3FFE, PropType::kMvString, false, {}, std::vector<std::u16string>{u"x", u"yz"}},
      {0x3FFF, PropType::kMvBinary, false, {}, std::vector<std::vector<uint8_t>>{{1}, {2, 3}}},
      MakeBinary(0x3FF5, std::vector<uint8_t>(5000, static_cast<uint8_t>(i))),  // subnode value
  };
  Property named_string{0, PropType::kString, true, StringName(u"X-Custom-Header"),
                        std::u16string(u"custom value")};
  Property named_id{0, PropType::kInt32, true, NumericName(0x8205), int64_t{2}};
  m.props.push_back(named_string);
  m.props.push_back(named_id);

  RecipientContent r;
  r.props = {MakeInt32(0x0C15, 1), MakeString(0x3001, u"Bob Receiver"),
             MakeString(0x3002, u"SMTP"), MakeString(0x3003, u"bob@example.com"),
             MakeInt32(0x0FFE, 6), MakeString(0x39FE, u"bob@example.com")};
  m.recipients.push_back(r);
  r.props[0] = MakeInt32(0x0C15, 2);
  r.props[1] = MakeString(0x3001, u"Carol Copy");
  r.props[3] = MakeString(0x3003, u"carol@example.com");
  r.props[5] = MakeString(0x39FE, u"carol@example.com");
  m.recipients.push_back(r);

  AttachmentContent a;
  std::vector<uint8_t> data(100000 + i);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 7 + i);
  a.props = {MakeInt32(0x3705, 1), MakeString(0x3707, u"report.bin"),
             MakeString(0x3704, u"report.bin"), MakeBinary(0x3701, data),
             MakeString(0x370E, u"application/octet-stream")};
  m.attachments.push_back(std::move(a));

  // An embedded message with an attachment of its own.
  AttachmentContent e;
  e.props = {MakeString(0x3001, u"Forwarded")};
  e.embedded = std::make_unique<MessageContent>();
  e.embedded->props = {MakeString(0x0037, u"Inner subject"), MakeString(0x1000, u"inner body")};
  AttachmentContent inner;
  inner.props = {MakeInt32(0x3705, 1), MakeString(0x3707, u"inner.txt"),
                 MakeBinary(0x3701, {'h', 'i'})};
  e.embedded->attachments.push_back(std::move(inner));
  m.attachments.push_back(std::move(e));
  return m;
}

// Expected "P" lines of a message: every written property at its id; named
// properties at the ids the map assigned (0x8000 and 0x8001 are taken by the
// names every new store maps).
std::set<std::string> ExpectedLines(const MessageContent& m) {
  std::set<std::string> lines;
  uint16_t next_named = 0x8002;
  for (const Property& p : m.props) {
    uint16_t id = p.named ? next_named++ : p.id;
    lines.insert("P " + TagHex((uint32_t{id} << 16) | static_cast<uint16_t>(p.type)) + " " +
                 OracleValue(p));
  }
  return lines;
}

TEST_F(PstFileTest, FoldersMessagesAndEveryValueReadBack) {
  std::unique_ptr<PstFile> pst;
  ASSERT_TRUE(PstFile::Create(path_, "Test Store", &pst).ok());
  FolderId inbox, sub, sent;
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Inbox", &inbox).ok());
  ASSERT_TRUE(pst->AddFolder(inbox, "Sub \u00e9", &sub).ok());
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Sent", &sent).ok());
  FolderId found;
  ASSERT_TRUE(pst->FindFolder("\\\\Test Store\\Inbox", &found).ok());
  EXPECT_EQ(found, inbox);
  ASSERT_TRUE(pst->FindFolder("\\\\test store\\INBOX\\Sub \u00e9", &found).ok());
  EXPECT_EQ(found, sub);
  ASSERT_TRUE(pst->FindFolder("\\\\Test Store", &found).ok());
  EXPECT_EQ(found, pst->IpmSubtree());
  ASSERT_TRUE(pst->FindFolder("\\\\Test Store\\Deleted Items", &found).ok());
  EXPECT_EQ(found, pst->DeletedItems());
  EXPECT_EQ(pst->FindFolder("\\\\Test Store\\Nope", &found).code(), Status::Code::kNotFound);
  EXPECT_EQ(pst->FindFolder("\\\\Other\\Inbox", &found).code(), Status::Code::kNotFound);

  std::vector<MessageContent> inbox_msgs;
  for (int i = 0; i < 3; ++i) {
    inbox_msgs.push_back(RichMessage(i));
    MessageRef ref;
    ASSERT_TRUE(pst->AddMessage(inbox, inbox_msgs.back(), &ref).ok());
    EXPECT_EQ(ref.entry_id.size(), 24u);
  }
  MessageContent plain;
  plain.props = {MakeString(0x0037, u"In the sub folder"), MakeInt32(0x0E07, 1)};
  ASSERT_TRUE(pst->AddMessage(sub, plain).ok());
  ASSERT_TRUE(pst->AddMessage(pst->DeletedItems(), plain).ok());
  ASSERT_TRUE(pst->Close().ok());

  ExpectCheckerHappy();

  OracleDump d = ReadWithPypff(path_);
  EXPECT_EQ(d.folder_counts["/Top of Personal Folders/Inbox"], 3);
  EXPECT_EQ(d.folder_counts["/Top of Personal Folders/Inbox/Sub \u00e9"], 1);
  EXPECT_EQ(d.folder_counts["/Top of Personal Folders/Sent"], 0);
  EXPECT_EQ(d.folder_counts["/Top of Personal Folders/Deleted Items"], 1);
  for (int i = 0; i < 3; ++i) {
    const auto& got = d.messages["/Top of Personal Folders/Inbox " + std::to_string(i)];
    for (const std::string& line : ExpectedLines(inbox_msgs[i])) {
      EXPECT_TRUE(got.count(line)) << "message " << i << " lacks " << line;
    }
    // Attachment 0: its bytes and properties; attachment 1: the embedded message.
    const auto& data = std::get<std::vector<uint8_t>>(inbox_msgs[i].attachments[0].props[3].value);
    EXPECT_TRUE(got.count("A 0 " + std::to_string(data.size()) + " " + Fnv(data))) << i;
    EXPECT_TRUE(got.count("AP 3707001f " + OracleValue(MakeString(0x3707, u"report.bin"))));
    EXPECT_TRUE(got.count("AP 370b0003 ffffffff"));
    EXPECT_TRUE(got.count("AP 37050003 05000000"));
  }

  // libpff's exporter: recipients and the embedded message.
  fs::path exp = dir_ / "export";
  Shell("pffexport -q -m all -t '" + exp.string() + "' '" + path_ + "' 2>&1");
  std::ifstream rcpt(exp.string() + ".export/Top of Personal Folders/Inbox/Message00001/Recipients.txt");
  std::stringstream rs;
  rs << rcpt.rdbuf();
  EXPECT_NE(rs.str().find("Bob Receiver"), std::string::npos) << rs.str();
  EXPECT_NE(rs.str().find("carol@example.com"), std::string::npos) << rs.str();
  std::ifstream inner(exp.string() + ".export/Top of Personal Folders/Inbox/Message00001/"
                      "Attachments/Attachment00002/Message00001/Message.txt");
  std::stringstream is;
  is << inner.rdbuf();
  EXPECT_NE(is.str().find("inner body"), std::string::npos) << is.str();
  EXPECT_TRUE(fs::exists(exp.string() + ".export/Top of Personal Folders/Inbox/Message00001/"
                         "Attachments/Attachment00002/Message00001/Attachments/1_inner.txt"));

  // libpst: the same folders and messages, bodies, recipients, attachments.
  std::string listing = Shell("lspst '" + path_ + "' 2>&1");
  EXPECT_NE(listing.find("Folder \"Inbox\""), std::string::npos) << listing;
  EXPECT_NE(listing.find("Folder \"Sub \u00e9\""), std::string::npos) << listing;
  fs::path rp = dir_ / "readpst";
  fs::create_directories(rp);
  Shell("readpst -q -j 0 -D -M -o '" + rp.string() + "' '" + path_ + "' 2>&1");
  // readpst numbers the items of a folder, subfolders included.
  std::string mail;
  int mails = 0;
  for (const auto& entry : fs::directory_iterator(rp / "Test Store" / "Inbox")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    std::stringstream ms;
    ms << in.rdbuf();
    mail += ms.str();
    ++mails;
  }
  EXPECT_EQ(mails, 3);
  EXPECT_NE(mail.find("Plain body of message"), std::string::npos) << mail;
  EXPECT_NE(mail.find("Bob Receiver"), std::string::npos);
  EXPECT_NE(mail.find("Carol Copy"), std::string::npos);
  EXPECT_NE(mail.find("filename=\"report.bin\""), std::string::npos);
  EXPECT_TRUE(fs::exists(rp / "Test Store" / "Inbox" / "Sub \u00e9" / "1"));
  EXPECT_TRUE(fs::exists(rp / "Test Store" / "Deleted Items" / "1"));

  // pst-extractor (npm; scripts/install-deps.sh installs it in tests/oracles).
  const fs::path oracles = fs::path(TOLLAN_SOURCE_DIR) / "tests" / "oracles";
  ASSERT_TRUE(fs::exists(oracles / "node_modules" / "pst-extractor"))
      << "run npm install in " << oracles;
  std::string js = Shell("node '" + (oracles / "pst_list.js").string() + "' '" + path_ + "' 2>&1");
  EXPECT_NE(js.find("S Test Store\n"), std::string::npos) << js;
  EXPECT_NE(js.find("F /Top of Personal Folders/Inbox 3\n"), std::string::npos) << js;
  EXPECT_NE(js.find("M /Top of Personal Folders/Inbox Subject \u00fc\u4e2d B\n"), std::string::npos);
  EXPECT_NE(js.find("F /Top of Personal Folders/Inbox/Sub \u00e9 1\n"), std::string::npos);
  EXPECT_NE(js.find("M /Top of Personal Folders/Deleted Items In the sub folder\n"), std::string::npos);
}

TEST_F(PstFileTest, FailedCallsLeaveAFileThatClosesValid) {
  std::unique_ptr<PstFile> pst;
  ASSERT_TRUE(PstFile::Create(path_, "Store", &pst).ok());
  FolderId inbox, dup;
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Inbox", &inbox).ok());
  EXPECT_FALSE(pst->AddFolder(pst->IpmSubtree(), "INBOX", &dup).ok());
  EXPECT_FALSE(pst->AddFolder(pst->IpmSubtree(), "", &dup).ok());
  EXPECT_FALSE(pst->AddFolder(pst->IpmSubtree(), "a\\b", &dup).ok());
  EXPECT_FALSE(pst->AddFolder(0x12345, "x", &dup).ok());

  MessageContent good;
  good.props = {MakeString(0x0037, u"good")};
  MessageContent bad;
  bad.props = good.props;
  bad.props.push_back({0x0E07, PropType::kInt32, false, {}, std::u16string(u"not a number")});
  MessageContent bad_range;
  bad_range.props = good.props;
  bad_range.props.push_back(MakeInt32(0x8100, 1));  // tagged id in the named range
  ASSERT_TRUE(pst->AddMessage(inbox, good).ok());
  EXPECT_EQ(pst->AddMessage(inbox, bad).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(pst->AddMessage(inbox, bad_range).code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(pst->AddMessage(0x12345, good).ok());
  ASSERT_TRUE(pst->AddMessage(inbox, good).ok());
  uint32_t count = 0;
  ASSERT_TRUE(pst->MessageCount(inbox, &count).ok());
  EXPECT_EQ(count, 2u);
  ASSERT_TRUE(pst->Close().ok());
  EXPECT_FALSE(pst->AddMessage(inbox, good).ok());
  EXPECT_FALSE(pst->Close().ok());

  ExpectCheckerHappy();
  OracleDump d = ReadWithPypff(path_);
  EXPECT_EQ(d.folder_counts["/Top of Personal Folders/Inbox"], 2);
}

TEST_F(PstFileTest, TwentyMegabyteAttachment) {
  std::unique_ptr<PstFile> pst;
  ASSERT_TRUE(PstFile::Create(path_, "Big", &pst).ok());
  MessageContent m;
  m.props = {MakeString(0x0037, u"big one")};
  std::vector<uint8_t> data(20 * 1024 * 1024);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>((k * 2654435761u) >> 13);
  AttachmentContent a;
  a.props = {MakeInt32(0x3705, 1), MakeString(0x3707, u"big.dat"), MakeBinary(0x3701, data)};
  m.attachments.push_back(std::move(a));
  ASSERT_TRUE(pst->AddMessage(pst->IpmSubtree(), m).ok());
  ASSERT_TRUE(pst->Close().ok());
  ExpectCheckerHappy();
  OracleDump d = ReadWithPypff(path_);
  const auto& got = d.messages["/Top of Personal Folders 0"];
  EXPECT_TRUE(got.count("A 0 " + std::to_string(data.size()) + " " + Fnv(data)));
}

TEST_F(PstFileTest, HundredThousandMessagesInOneFolder) {
  std::unique_ptr<PstFile> pst;
  ASSERT_TRUE(PstFile::Create(path_, "Many", &pst).ok());
  FolderId f;
  ASSERT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Bulk", &f).ok());
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    MessageContent m;
    m.props = {MakeString(0x0037, u"Message " + std::u16string(1, u'a' + i % 26)),
               MakeInt32(0x0E07, i % 3 == 0 ? 0 : 1),
               MakeString(0x1000, u"body " + std::u16string(i % 100, u'b'))};
    ASSERT_TRUE(pst->AddMessage(f, m).ok()) << i;
  }
  ASSERT_TRUE(pst->Close().ok());
  // The row matrix of this contents table spans many blocks, each holding
  // whole rows and padded to the full block.
  ExpectCheckerHappy();
  // libpst lists every message of the folder (libpff reads it too, but
  // takes minutes over 100,000 items; the smaller tests cover it).
  std::string listing = Shell("lspst '" + path_ + "' 2>&1");
  EXPECT_NE(listing.find("Folder \"Bulk\""), std::string::npos);
  size_t emails = 0;
  for (size_t at = listing.find("Email\t"); at != std::string::npos;
       at = listing.find("Email\t", at + 1)) {
    ++emails;
  }
  EXPECT_EQ(emails, 100000u);
  EXPECT_NE(listing.find("Subject: Message " + std::string(1, 'a' + 99999 % 26)), std::string::npos);
}

}  // namespace
}  // namespace pst
