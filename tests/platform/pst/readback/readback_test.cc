// Reading a written PST back: every message of the import corpus verifies,
// and one changed byte of a subject, a body or an attachment — planted with
// the block checksums kept valid, so the structural check still passes — is
// found and named.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "platform/mail/import.h"
#include "platform/pst/check/check.h"
#include "platform/pst/check/format.h"
#include "platform/pst/pst_file.h"
#include "platform/pst/readback/read_back.h"
#include "tests/platform/pst/check/scratch_pst.h"

namespace pst::readback {
namespace {

namespace fs = std::filesystem;
using Written = std::map<uint32_t, std::vector<MessageDigest>>;

struct TempDir {
  TempDir() : path(fs::temp_directory_path() / ("readback-" + std::to_string(::getpid()))) {
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

// Writes `messages` into one folder of a new PST at `path`, keeping digests.
Written WriteStore(const std::string& path, const std::vector<MessageContent>& messages) {
  std::unique_ptr<PstFile> pst;
  EXPECT_TRUE(PstFile::Create(path, "Read back", &pst).ok());
  FolderId inbox = 0;
  EXPECT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Inbox", &inbox).ok());
  Written written;
  for (const MessageContent& m : messages) {
    written[inbox].push_back(DigestOf(m));
    EXPECT_TRUE(pst->AddMessage(inbox, m).ok());
  }
  EXPECT_TRUE(pst->Close().ok());
  return written;
}

TEST(ReadBackTest, EveryMessageOfTheImportCorpusVerifies) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(TOLLAN_SOURCE_DIR "/tests/platform/mail/corpus")) {
    if (e.path().extension() == ".eml") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 50u);
  std::vector<MessageContent> messages;
  for (const fs::path& f : files) {
    MessageContent m;
    mail::ImportReport report;
    if (mail::ImportMessage(f, mail::ImportOptions(), &m, &report).ok()) messages.push_back(std::move(m));
  }
  TempDir dir;
  const std::string path = (dir.path / "corpus.pst").string();
  Written written = WriteStore(path, messages);
  ASSERT_TRUE(check::CheckFile(path).ok());
  ReadBackReport r = ReadBack(path, written);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.total, messages.size());
  EXPECT_EQ(r.verified, messages.size());
  for (const Mismatch& m : r.mismatches) ADD_FAILURE() << "message " << m.position << ": " << m.what;
}

// Every (ib, cb) of the file's block B-tree.
void CollectBlocks(const check::testing::ScratchPst& f, uint64_t ib, std::vector<std::pair<uint64_t, uint16_t>>* out) {
  std::vector<uint8_t> p = f.Read(ib, 512);
  const uint8_t n = p[488], cb = p[490], level = p[491];
  for (int i = 0; i < n; ++i) {
    const uint8_t* e = &p[i * cb];
    if (level > 0) {
      CollectBlocks(f, check::Le64(e + 16), out);
    } else {
      out->push_back({check::Le64(e + 8), check::Le16(e + 16)});
    }
  }
}

std::vector<uint8_t> Utf16(const std::string& ascii) {
  std::vector<uint8_t> out;
  for (char c : ascii) out.insert(out.end(), {static_cast<uint8_t>(c), 0});
  return out;
}

TEST(ReadBackTest, OneChangedByteIsNamedWhileTheStructureStaysSound) {
  MessageContent m;
  m.props.push_back(MakeString(0x0037, u"Quarterly SUBJMARK report"));
  m.props.push_back(MakeString(0x1000, u"BODYMARK " + std::u16string(6000, u'x')));
  AttachmentContent a;
  a.props.push_back(MakeInt32(0x3705, 1));
  a.props.push_back(MakeString(0x3707, u"figures.bin"));
  std::vector<uint8_t> bytes(1200000, 0x42);  // past the 1 MB the checker loads: streamed
  std::string mark = "ATTMARK";
  std::copy(mark.begin(), mark.end(), bytes.begin() + 4000);
  a.props.push_back(MakeBinary(0x3701, bytes));
  m.attachments.push_back(std::move(a));
  // Enough recipients that their table's rows fill several blocks of a
  // subnode; the marker is in the last one's address.
  for (int i = 0; i < 400; ++i) {
    const std::u16string n = i == 399 ? u"RCPTMARK" : u"r" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
    RecipientContent r;
    r.props = {MakeInt32(0x0C15, 1), MakeString(0x3001, n), MakeString(0x3002, u"SMTP"),
               MakeString(0x3003, n + u"@example.com")};
    m.recipients.push_back(std::move(r));
  }

  const struct {
    std::vector<uint8_t> marker;
    std::string named;
  } cases[] = {
      {Utf16("SUBJMARK"), "subject"},
      {Utf16("BODYMARK"), "plain body"},
      {std::vector<uint8_t>(mark.begin(), mark.end()), "attachment 1 bytes"},
      {Utf16("RCPTMARK@"), "recipient addresses"},
  };
  TempDir dir;
  const std::string path = (dir.path / "one.pst").string();
  std::vector<MessageContent> one;
  one.push_back(std::move(m));
  Written written = WriteStore(path, one);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    check::testing::ScratchPst copy(path);
    std::vector<uint8_t> all = copy.Read(0, fs::file_size(copy.path()));
    std::vector<std::pair<uint64_t, uint16_t>> blocks;
    CollectBlocks(copy, check::Le64(&all[240]), &blocks);
    // Every copy of the value (a subject is in the contents table's row too)
    // changes alike, each block's CRC following.
    int changed = 0;
    for (auto it = all.begin(); (it = std::search(it, all.end(), c.marker.begin(), c.marker.end())) != all.end(); ++it) {
      const uint64_t at = static_cast<uint64_t>(it - all.begin()) + 2;
      copy.FlipByte(at);
      for (const auto& [ib, cb] : blocks) {
        if (ib <= at && at < ib + cb) copy.FixBlockCrc(ib, cb);
      }
      ++changed;
    }
    ASSERT_GT(changed, 0);
    check::Report structure = check::CheckFile(copy.path());
    EXPECT_TRUE(structure.ok()) << (structure.problems.empty() ? structure.fatal : structure.problems[0].ToString());
    ReadBackReport r = ReadBack(copy.path(), written);
    EXPECT_EQ(r.verified, 0u);
    ASSERT_EQ(r.mismatches.size(), 1u);
    EXPECT_EQ(r.mismatches[0].position, 0u);
    EXPECT_EQ(r.mismatches[0].what, c.named);
  }
}

// The file offset of heap item `hid` of the one-page heap whose block is at `ib`.
uint64_t ItemAt(const check::testing::ScratchPst& f, uint64_t ib, uint32_t hid) {
  const uint64_t map = ib + f.U16(ib);
  return ib + f.U16(map + 4 + 2 * (((hid >> 5) & 0x7FF) - 1));
}
// The leaf records of the one-level BTH whose header is heap item `hid`.
uint64_t LeafAt(const check::testing::ScratchPst& f, uint64_t ib, uint32_t hid) {
  return ItemAt(f, ib, f.U32(ItemAt(f, ib, hid) + 4));
}

TEST(ReadBackTest, ADamagedHeapOrTableIsNamedAsUnreadable) {
  MessageContent m;
  m.props.push_back(MakeString(0x0037, u"SUBJMARK"));
  RecipientContent r;
  r.props = {MakeInt32(0x0C15, 1), MakeString(0x3001, u"Ann"), MakeString(0x3003, u"RCPTMARK@example.com")};
  m.recipients.push_back(std::move(r));
  using Damage = std::function<void(check::testing::ScratchPst&, uint64_t)>;
  const struct {
    uint8_t client_sig;             // of the heap to damage: 0xBC message, 0x7C recipient table
    std::vector<uint8_t> marker;    // a value the heap holds
    Damage damage;
    std::string named;
  } cases[] = {
      {0xBC, Utf16("SUBJMARK"), [](auto& f, uint64_t ib) { f.PutU16(ib, 0x0FFF); },
       "cannot be read: message: heap page 0: ibHnpm 4095 is outside the page"},
      {0xBC, Utf16("SUBJMARK"), [](auto& f, uint64_t ib) { f.PutU8(ItemAt(f, ib, f.U32(ib + 4)) + 1, 4); },
       "cannot be read: message: property context: BTH key/data sizes 4/6, expected 2/6"},
      {0xBC, Utf16("SUBJMARK"), [](auto& f, uint64_t ib) { f.PutU16(LeafAt(f, ib, f.U32(ib + 4)) + 8, 0); },
       "cannot be read: message: property context: BTH keys out of order"},
      {0x7C, Utf16("RCPTMARK@"), [](auto& f, uint64_t ib) { f.PutU8(ItemAt(f, ib, f.U32(ib + 4)) + 1, 99); },
       "cannot be read: recipient table: TCINFO size"},
      {0x7C, Utf16("RCPTMARK@"),
       [](auto& f, uint64_t ib) { f.PutU32(LeafAt(f, ib, f.U32(ItemAt(f, ib, f.U32(ib + 4)) + 10)) + 4, 7); },
       "cannot be read: recipient table: row index entry for row"},
  };
  TempDir dir;
  const std::string path = (dir.path / "damaged.pst").string();
  std::vector<MessageContent> one;
  one.push_back(std::move(m));
  Written written = WriteStore(path, one);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    check::testing::ScratchPst copy(path);
    std::vector<uint8_t> all = copy.Read(0, fs::file_size(copy.path()));
    std::vector<std::pair<uint64_t, uint16_t>> blocks;
    CollectBlocks(copy, check::Le64(&all[240]), &blocks);
    int damaged = 0;
    for (const auto& [ib, cb] : blocks) {
      const auto begin = all.begin() + static_cast<ptrdiff_t>(ib), end = begin + cb;
      if (cb < 12 || begin[2] != 0xEC || begin[3] != c.client_sig ||
          std::search(begin, end, c.marker.begin(), c.marker.end()) == end) {
        continue;
      }
      c.damage(copy, ib);
      copy.FixBlockCrc(ib, cb);
      ++damaged;
    }
    ASSERT_EQ(damaged, 1);
    ReadBackReport r = ReadBack(copy.path(), written);
    EXPECT_EQ(r.verified, 0u);
    ASSERT_EQ(r.mismatches.size(), 1u);
    EXPECT_EQ(r.mismatches[0].what.rfind(c.named, 0), 0u) << r.mismatches[0].what;
  }
}

}  // namespace
}  // namespace pst::readback
