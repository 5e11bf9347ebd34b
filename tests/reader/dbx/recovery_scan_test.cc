// The recovery scan on the real store with a damaged index, on files that
// hold no messages at all, and on offsets above 2 GiB.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "reader/dbx/body_chain.h"
#include "reader/dbx/byte_source.h"
#include "reader/dbx/format.h"
#include "reader/dbx/recovery_scan.h"

namespace dbx {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RecoveryScanTest, RealInboxWithDamagedRootGivesItsMessageBack) {
  std::string bytes = ReadFile(TOLLAN_SHARED_DIR "/fixtures/real-store/Inbox.dbx");
  ASSERT_EQ(bytes.size(), 142036u);
  // Sound: the one message is reached through the root node at 0x1E254; the
  // three freed copies of its record (entry count 0) name no body.
  std::string sound_text;
  {
    MemorySource source(bytes);
    DbxRecoveryScan scan;
    ASSERT_TRUE(ScanFolderFile(source, &scan).ok());
    ASSERT_EQ(scan.messages.size(), 1u);
    EXPECT_EQ(scan.messages[0].origin, RecoveryOrigin::kIndex);
    EXPECT_EQ(scan.messages[0].body_position, 0xEAD4u);
    EXPECT_EQ(scan.messages[0].block_count, 20u);
    DbxBodyText body;
    ASSERT_TRUE(ReadBodyText(source, 0xEAD4, &body).ok());
    sound_text = body.text;
    ASSERT_EQ(sound_text.size(), 19u * 512 + 0x19B);
  }
  bytes[0x1E254] ^= 0x01;  // one changed byte in the root's own offset
  MemorySource source(bytes);
  DbxRecoveryScan scan;
  ASSERT_TRUE(ScanFolderFile(source, &scan).ok());
  EXPECT_TRUE(scan.index_walked);
  ASSERT_EQ(scan.messages.size(), 1u);
  const DbxRecoveredMessage& m = scan.messages[0];
  EXPECT_EQ(m.origin, RecoveryOrigin::kRecord);
  EXPECT_EQ(m.record.record_offset, 0x2E10u);
  EXPECT_EQ(m.record.flags, 0x1000081u);
  EXPECT_FALSE(m.incomplete);
  std::string text;
  ASSERT_TRUE(ReadRecoveredText(source, m, &text).ok());
  EXPECT_EQ(text, sound_text);
  EXPECT_EQ(text.compare(0, 6, "From: "), 0);
}

TEST(RecoveryScanTest, ADamagedLiveChainGivesWhatItHoldsAndItsTailAsAFragment) {
  const std::string sound = ReadFile(TOLLAN_SHARED_DIR "/fixtures/real-store/Inbox.dbx");
  std::string sound_text;
  {
    MemorySource source(sound);
    DbxBodyText body;
    ASSERT_TRUE(ReadBodyText(source, 0xEAD4, &body).ok());
    sound_text = body.text;
  }
  // The chain: 20 blocks from 0xEAD4, 0x210 apart.
  const uint32_t tenth = 0xEAD4 + 9 * 0x210;
  struct Case {
    const char* name;
    uint32_t at, value;    // the 4 bytes changed
    size_t live;           // bytes of the live message
    bool fragment;         // the rest comes back as a fragment
  } cases[] = {
      {"link into text", tenth + 0x0C, tenth + 0x40, 10 * 512, true},
      {"used length", tenth + 0x08, 1631071585, sound_text.size(), false},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    std::string bytes = sound;
    std::memcpy(&bytes[t.at], &t.value, 4);
    MemorySource source(bytes);
    DbxRecoveryScan scan;
    ASSERT_TRUE(ScanFolderFile(source, &scan).ok());
    ASSERT_EQ(scan.messages.size(), t.fragment ? 2u : 1u);
    // Left out, the live message still claims its blocks.
    DbxRecoveryScan beyond;
    beyond.keep_indexed = false;
    ASSERT_TRUE(ScanFolderFile(source, &beyond).ok());
    ASSERT_EQ(beyond.messages.size(), scan.messages.size() - 1);
    if (t.fragment) {
      EXPECT_EQ(beyond.messages[0].body_position, scan.messages[1].body_position);
    }
    std::string text, damage;
    ASSERT_TRUE(ReadRecoveredText(source, scan.messages[0], &text, &damage).ok());
    EXPECT_EQ(text, sound_text.substr(0, t.live));
    EXPECT_FALSE(damage.empty());
    if (!t.fragment) continue;
    const DbxRecoveredMessage& tail = scan.messages[1];
    EXPECT_EQ(tail.origin, RecoveryOrigin::kFragment);
    EXPECT_EQ(tail.body_position, tenth + 0x210);
    EXPECT_TRUE(tail.incomplete);
    ASSERT_TRUE(ReadRecoveredText(source, tail, &text).ok());
    EXPECT_EQ(text, sound_text.substr(t.live));
  }
}

TEST(RecoveryScanTest, ZerosAndRandomBytesYieldNothing) {
  std::string zeros(3 << 20, '\0');
  std::mt19937 random(7);
  std::string noise(3 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  // Noise behind a sound folder-file header whose root names itself.
  std::string headed = noise;
  const uint32_t words[] = {kDbxSignature, kFolderFileKind};
  std::memcpy(headed.data(), words, sizeof(words));
  const uint32_t root = 0x3000;
  std::memcpy(headed.data() + 0xE4, &root, 4);
  std::memcpy(headed.data() + root, &root, 4);
  for (const std::string* bytes : {&zeros, &noise, &headed}) {
    MemorySource source(*bytes);
    DbxRecoveryScan scan;
    ASSERT_TRUE(ScanFolderFile(source, &scan).ok());
    EXPECT_TRUE(scan.messages.empty());
  }
}

// A file of `size` bytes that holds zeros except for the pieces put in it,
// without the memory of its size.
class SparseSource : public ByteSource {
 public:
  explicit SparseSource(uint64_t size) : size_(size) {}
  void Put(uint64_t at, const std::string& bytes) { pieces_[at] = bytes; }

  uint64_t size() const override { return size_; }
  DbxStatus Read(uint64_t offset, size_t n, uint8_t* dst) override {
    std::memset(dst, 0, n);
    for (const auto& [at, bytes] : pieces_) {
      const uint64_t from = std::max(at, offset);
      const uint64_t to = std::min({at + bytes.size(), offset + n, size_});
      if (from < to) std::memcpy(dst + (from - offset), bytes.data() + (from - at), to - from);
    }
    return DbxStatus::Ok();
  }

 private:
  uint64_t size_;
  std::map<uint64_t, std::string> pieces_;
};

std::string Block(uint32_t at, uint32_t used, uint32_t next, const std::string& text) {
  std::string b(kBodyBlockSize, '\0');
  const uint32_t head[] = {at, 512, used, next};
  std::memcpy(b.data(), head, sizeof(head));
  std::memcpy(b.data() + 16, text.data(), std::min(text.size(), kBodyTextSize));
  return b;
}

TEST(RecoveryScanTest, ChainsAbove2GiBAreFound) {
  const uint32_t first = 0x80000000u + 0x1000, second = 0x90000000u;
  const std::string head = "Subject: far away\r\n\r\n" + std::string(491, 'x');
  SparseSource source(0x90001000ull);
  source.Put(first, Block(first, 512, second, head));
  source.Put(second, Block(second, 5, 0, "tail."));
  DbxRecoveryScan scan;
  ASSERT_TRUE(ScanFolderFile(source, &scan).ok());
  ASSERT_EQ(scan.messages.size(), 1u);
  EXPECT_EQ(scan.messages[0].origin, RecoveryOrigin::kOrphan);
  EXPECT_EQ(scan.messages[0].body_position, first);
  EXPECT_FALSE(scan.messages[0].incomplete);
  std::string text;
  ASSERT_TRUE(ReadRecoveredText(source, scan.messages[0], &text).ok());
  EXPECT_EQ(text, head + "tail.");
}

TEST(RecoveryScanTest, MessageStartNeedsAFieldName) {
  auto looks = [](const std::string& s) {
    return LooksLikeMessageStart(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  EXPECT_TRUE(looks("Return-Path: <a@b>\r\n"));
  EXPECT_TRUE(looks("X:"));
  EXPECT_FALSE(looks(": no name"));
  EXPECT_FALSE(looks("no colon at all"));
  EXPECT_FALSE(looks("Subject"));
  EXPECT_FALSE(looks(std::string("\0Subject:", 9)));
}

}  // namespace
}  // namespace dbx
