// End to end: every corpus message is imported, written to a real PST with
// the PST writer, checked with pst-check, and read back with libpff (pypff)
// and with libpst (readpst -e, whose .eml output is imported again): the
// properties, recipients, bodies and every attachment's bytes must survive.
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include <unistd.h>

#include "platform/mail/import.h"
#include "platform/mail/prop_ids.h"
#include "platform/pst/check/check.h"
#include "platform/pst/pst_file.h"
#include "tests/platform/mail/dbx_messages.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

namespace fs = std::filesystem;
using mail_test::Bin;
using mail_test::Int;
using mail_test::Str;

std::string Fnv(const std::string& data) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (unsigned char c : data) h = (h ^ c) * 0x100000001B3ULL;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string Hex(const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// A property value as the oracle prints it.
std::string OracleValue(const pst::Property& p) {
  std::string raw;
  auto le = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) raw.push_back(static_cast<char>(v >> (8 * i)));
  };
  switch (p.type) {
    case pst::PropType::kInt32: le(static_cast<uint64_t>(std::get<int64_t>(p.value)), 4); break;
    case pst::PropType::kBoolean: le(static_cast<uint64_t>(std::get<int64_t>(p.value)), 1); break;
    case pst::PropType::kInt64: le(static_cast<uint64_t>(std::get<int64_t>(p.value)), 8); break;
    case pst::PropType::kSysTime: le(std::get<uint64_t>(p.value), 8); break;
    case pst::PropType::kString:
      for (char16_t c : std::get<std::u16string>(p.value)) le(c, 2);
      break;
    case pst::PropType::kBinary: {
      const auto& v = std::get<std::vector<uint8_t>>(p.value);
      raw.assign(v.begin(), v.end());
      break;
    }
    default: return "?";
  }
  if (raw.size() > 256) return "#" + std::to_string(raw.size()) + ":" + Fnv(raw);
  return Hex(raw);
}

std::string TagHex(const pst::Property& p) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", p.tag());
  return buf;
}

struct OracleAttachment {
  uint64_t size = 0;
  std::string fnv;
  std::map<std::string, std::string> props;
};
struct OracleMessage {
  std::map<std::string, std::string> props;
  std::vector<OracleAttachment> attachments;
};

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::map<std::string, OracleMessage> ReadWithLibpff(const std::string& pst_path) {
  std::map<std::string, OracleMessage> messages;
  std::istringstream lines(RunCommand("/usr/bin/python3 " TOLLAN_SOURCE_DIR
                               "/tests/platform/mail/mail_pst_oracle.py '" + pst_path + "'"));
  std::string line;
  OracleMessage* m = nullptr;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string kind, a, b, c;
    in >> kind >> a;
    std::getline(in >> std::ws, b);
    if (kind == "M") {
      m = &messages[a];
    } else if (kind == "P" && m) {
      m->props[a] = b;
    } else if (kind == "A" && m) {
      std::istringstream rest(b);
      OracleAttachment att;
      rest >> att.size >> att.fnv;
      m->attachments.push_back(att);
    } else if (kind == "AP" && m && !m->attachments.empty()) {
      m->attachments.back().props[a] = b;
    }
  }
  return messages;
}

// Normalized text for comparing bodies across writers: LF line ends, no
// trailing blanks.
std::string Normalize(std::string s) {
  std::erase(s, '\r');
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

class MailPstRoundTripTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One directory per process: CTest may run the cases side by side.
    dir_ = new fs::path(fs::path(TOLLAN_BINARY_DIR) / ("mail_pst_roundtrip." + std::to_string(getpid())));
    fs::remove_all(*dir_);
    fs::create_directories(*dir_);
    pst_path_ = new std::string((*dir_ / "corpus.pst").string());

    files_ = new std::vector<std::string>();
    for (const auto& e : fs::recursive_directory_iterator(mail_test::CorpusPath(""))) {
      if (e.path().extension() == ".eml") files_->push_back(e.path().string());
    }
    std::sort(files_->begin(), files_->end());
    imported_ = new std::vector<mail_test::Imported>();
    for (const auto& f : *files_) imported_->push_back(mail_test::ImportText(mail_test::ReadFile(f)));
    // The real store's message, read through the DBX reader.
    for (const auto& m : mail_test::ReadDbxMessages(TOLLAN_SHARED_DIR "/fixtures/real-store/Inbox.dbx")) {
      files_->push_back("real-store/Inbox.dbx");
      imported_->push_back(mail_test::ImportText(m.text));
    }

    std::unique_ptr<pst::PstFile> file;
    status_ = new pst::Status(pst::PstFile::Create(*pst_path_, "Mail test", &file));
    if (!status_->ok()) return;
    pst::FolderId inbox;
    *status_ = file->AddFolder(file->IpmSubtree(), "Inbox", &inbox);
    for (size_t i = 0; i < imported_->size() && status_->ok(); ++i) {
      pst::FolderId folder;
      *status_ = file->AddFolder(inbox, std::to_string(i), &folder);
      if (status_->ok()) *status_ = file->AddMessage(folder, (*imported_)[i].msg);
    }
    pst::Status closed = file->Close();
    if (status_->ok()) *status_ = closed;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*dir_, ignored);
    delete dir_;
    delete pst_path_;
    delete files_;
    delete imported_;
    delete status_;
  }
  void SetUp() override { ASSERT_TRUE(status_->ok()) << status_->ToString(); }

  static fs::path* dir_;
  static std::string* pst_path_;
  static std::vector<std::string>* files_;
  static std::vector<mail_test::Imported>* imported_;
  static pst::Status* status_;
};

fs::path* MailPstRoundTripTest::dir_;
std::string* MailPstRoundTripTest::pst_path_;
std::vector<std::string>* MailPstRoundTripTest::files_;
std::vector<mail_test::Imported>* MailPstRoundTripTest::imported_;
pst::Status* MailPstRoundTripTest::status_;

TEST_F(MailPstRoundTripTest, PstCheckPasses) {
  EXPECT_EQ(files_->back(), "real-store/Inbox.dbx");
  pst::check::Report report = pst::check::CheckFile(*pst_path_);
  EXPECT_TRUE(report.ok()) << report.Summary();
}

TEST_F(MailPstRoundTripTest, LibpffReadsBackEveryPropertyAndAttachment) {
  auto messages = ReadWithLibpff(*pst_path_);
  ASSERT_EQ(messages.size(), imported_->size());
  for (size_t i = 0; i < imported_->size(); ++i) {
    SCOPED_TRACE((*files_)[i]);
    const pst::MessageContent& want = (*imported_)[i].msg;
    const OracleMessage& got = messages[std::to_string(i)];
    for (const auto& p : want.props) {
      if (p.named || p.id == prop::kMessageSize) continue;  // the store computes the size
      auto it = got.props.find(TagHex(p));
      ASSERT_NE(it, got.props.end()) << "missing " << TagHex(p);
      EXPECT_EQ(it->second, OracleValue(p)) << TagHex(p);
    }
    ASSERT_EQ(got.attachments.size(), want.attachments.size());
    for (size_t k = 0; k < want.attachments.size(); ++k) {
      const auto& wa = want.attachments[k];
      const auto& ga = got.attachments[k];
      for (const auto& p : wa.props) {
        if (p.id == prop::kAttachSize) continue;
        if (p.id == prop::kAttachDataBinary) {
          std::string data = *Bin(wa.props, prop::kAttachDataBinary);
          EXPECT_EQ(ga.size, data.size());
          EXPECT_EQ(ga.fnv, Fnv(data)) << "attachment " << k;
          continue;
        }
        auto it = ga.props.find(TagHex(p));
        ASSERT_NE(it, ga.props.end()) << "attachment " << k << " missing " << TagHex(p);
        EXPECT_EQ(it->second, OracleValue(p)) << "attachment " << k << " " << TagHex(p);
      }
    }
  }
}

// The by-value attachments of a message and of its embedded messages:
// (path of subjects / file name) -> bytes.
void CollectAttachments(const pst::MessageContent& m, const std::string& path,
                        std::map<std::string, std::string>* out) {
  for (const auto& a : m.attachments) {
    if (a.embedded) {
      CollectAttachments(*a.embedded, path + "/" + Str(a.embedded->props, prop::kSubject).value_or(""), out);
    } else {
      // The first of a name counts: a message imported again from readpst's
      // output may add a copy of that output as an original of its own.
      out->emplace(path + "/" + Str(a.props, prop::kAttachLongFilename).value_or(""),
                   Bin(a.props, prop::kAttachDataBinary).value_or(""));
    }
  }
}

TEST_F(MailPstRoundTripTest, ReadpstEmlOutputImportsToTheSameMessage) {
  fs::path out = *dir_ / "readpst";
  fs::create_directories(out);
  std::string log = RunCommand("readpst -q -j 0 -8 -e -o '" + out.string() + "' '" + *pst_path_ + "' 2>&1; echo exit=$?");
  ASSERT_NE(log.find("exit=0"), std::string::npos) << log;
  for (size_t i = 0; i < imported_->size(); ++i) {
    SCOPED_TRACE((*files_)[i]);
    const pst::MessageContent& want = (*imported_)[i].msg;
    fs::path eml = out / "Mail test" / "Inbox" / std::to_string(i) / "1.eml";
    ASSERT_TRUE(fs::exists(eml)) << log;
    std::string text = mail_test::ReadFile(eml.string());
    auto again = mail_test::ImportText(text);
    const auto& got = again.msg;
    EXPECT_EQ(Str(got.props, prop::kSubject), Str(want.props, prop::kSubject));
    if (Str(want.props, prop::kSentRepresentingEmailAddress)) {  // libpst invents a sender otherwise
      EXPECT_EQ(Str(got.props, prop::kSentRepresentingEmailAddress),
                Str(want.props, prop::kSentRepresentingEmailAddress));
      EXPECT_EQ(Str(got.props, prop::kSentRepresentingName), Str(want.props, prop::kSentRepresentingName));
    }
    EXPECT_EQ(Str(got.props, prop::kDisplayTo), Str(want.props, prop::kDisplayTo));
    ASSERT_EQ(got.recipients.size(), want.recipients.size());
    for (size_t r = 0; r < want.recipients.size(); ++r) {
      EXPECT_EQ(Str(got.recipients[r].props, prop::kEmailAddress), Str(want.recipients[r].props, prop::kEmailAddress));
      EXPECT_EQ(Int(got.recipients[r].props, prop::kRecipientType), Int(want.recipients[r].props, prop::kRecipientType));
    }
    if (auto body = Str(want.props, prop::kBody)) {
      EXPECT_EQ(Normalize(Str(got.props, prop::kBody).value_or("")), Normalize(*body));
    }

    if (Str(want.props, prop::kMessageClass) == "IPM.Note.SMIME.MultipartSigned") {
      // libpst writes the signed entity as a base64 part of its own.
      std::string entity = *Bin(want.attachments[0].props, prop::kAttachDataBinary);
      size_t start = text.find("filename=\"smime.p7m\"");
      ASSERT_NE(start, std::string::npos);
      start = text.find("\n\n", start) + 2;
      size_t end = text.find("\n--", start);
      gsize n = 0;
      guchar* d = g_base64_decode(text.substr(start, end - start).c_str(), &n);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(d), n), entity);
      g_free(d);
      continue;
    }
    std::map<std::string, std::string> want_atts, got_atts;
    CollectAttachments(want, "", &want_atts);
    CollectAttachments(got, "", &got_atts);
    for (const auto& [name, bytes] : want_atts) {
      if (bytes.empty()) continue;  // libpst leaves empty attachments out; libpff sees them above
      auto it = got_atts.find(name);
      ASSERT_NE(it, got_atts.end()) << "attachment " << name;
      EXPECT_EQ(it->second.size(), bytes.size()) << name;
      EXPECT_TRUE(it->second == bytes) << name;
    }
  }
}

}  // namespace
}  // namespace mail
