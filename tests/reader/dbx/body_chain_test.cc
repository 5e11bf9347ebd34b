// Body chains: segment texts and lengths, and chains that are damaged.
#include "reader/dbx/body_chain.h"

#include <gtest/gtest.h>

#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

using testing::DbxImage;

// Reads the chain both ways, and checks that the joined text and the state
// agree.
DbxBody Read(DbxImage& image, uint32_t position, DbxStatus* status = nullptr) {
  MemorySource source(image.bytes());
  DbxBody body;
  DbxStatus s = ReadBodyChain(source, position, &body);
  DbxBodyText text;
  DbxStatus t = ReadBodyText(source, position, &text);
  EXPECT_EQ(s.code(), t.code());
  EXPECT_EQ(body.JoinedText(), text.text);
  EXPECT_EQ(body.found, text.found);
  EXPECT_EQ(body.chain_cut, text.chain_cut);
  if (status) {
    *status = s;
  } else {
    EXPECT_TRUE(s.ok()) << s.ToString();
  }
  return body;
}

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

TEST(BodyChainTest, JoinsThreeBlocks) {
  DbxImage image(kFolderFileKind);
  const std::string text = Pattern(1300);
  image.Block(0x4000, 512, 0x5000, text.substr(0, 512));
  image.Block(0x5000, 512, 0x3000, text.substr(512, 512));  // chains may go backwards
  image.Block(0x3000, 276, 0, text.substr(1024) + std::string(236, 'Z'));
  DbxBody body = Read(image, 0x4000);
  ASSERT_TRUE(body.found);
  ASSERT_EQ(body.segments.size(), 3u);
  EXPECT_EQ(body.segments[0].used_length, 512u);
  EXPECT_EQ(body.segments[2].used_length, 276u);
  EXPECT_EQ(body.JoinedText(), text);
  EXPECT_EQ(body.JoinedSize(), 1300u);
  EXPECT_FALSE(body.chain_cut);
}

TEST(BodyChainTest, SegmentLengthsAndZeroBytes) {
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 0, 0x4000, "");
  image.Block(0x4000, 600, 0x5000, std::string(512, 'L'));
  image.Block(0x5000, 5, 0, std::string("a\0b\0c", 5));
  DbxBody body = Read(image, 0x3000);
  ASSERT_EQ(body.segments.size(), 3u);
  EXPECT_EQ(body.segments[0].text, "");  // empty block, chain goes on
  EXPECT_EQ(body.segments[1].text, std::string(512, 'L'));
  EXPECT_EQ(body.segments[1].used_length, 600u);
  EXPECT_EQ(body.segments[2].text, std::string("a\0b\0c", 5));
}

TEST(BodyChainTest, FirstBlockMustCarryItsOwnOffset) {
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 10, 0, "0123456789");
  for (uint32_t position : {0u, 8u, 12u, 0x3004u, 0x7FFFFFF0u}) {
    DbxBody body = Read(image, position);
    EXPECT_FALSE(body.found) << position;
    EXPECT_TRUE(body.segments.empty());
  }
  // Later blocks are taken as the chain names them.
  image.Block(0x4000, 3, 0x3000, "abc");
  image.Put32(0x3000, 0x9999);
  EXPECT_EQ(Read(image, 0x4000).JoinedText(), "abc0123456789");
}

TEST(BodyChainTest, LoopingChainsEnd) {
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 512, 0x4000, std::string(512, 'a'));
  image.Block(0x4000, 512, 0x3000, std::string(512, 'b'));
  DbxBody body = Read(image, 0x3000);
  EXPECT_TRUE(body.chain_cut);
  EXPECT_EQ(body.segments.size(), 2u);

  // A longer lead-in, then a loop back into its middle.
  const std::vector<uint32_t> chain = {0x6000, 0x6400, 0x6800, 0x6C00, 0x7000, 0x7400, 0x7800};
  for (size_t i = 0; i < chain.size(); ++i) {
    image.Block(chain[i], 1, i + 1 < chain.size() ? chain[i + 1] : 0x6800, std::string(1, char('0' + i)));
  }
  body = Read(image, 0x6000);
  EXPECT_TRUE(body.chain_cut);
  EXPECT_EQ(body.JoinedText(), "0123456");
  EXPECT_EQ(body.segments.back().offset, 0x7800u);

  image.Block(0x5000, 10, 0x5000, "self");
  body = Read(image, 0x5000);
  EXPECT_TRUE(body.chain_cut);
  EXPECT_EQ(body.segments.size(), 1u);
}

TEST(BodyChainTest, ChainLeavingTheFileIsCutShort) {
  // The next block lies past the end of the file (a file cut off): no
  // invented zero block, and the body says it is incomplete.
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 512, 0x7FFF0000, std::string(512, 'a'));
  DbxBody body = Read(image, 0x3000);
  ASSERT_EQ(body.segments.size(), 1u);
  EXPECT_TRUE(body.chain_cut);
}

TEST(BodyChainTest, LengthsThatDoNotFitFailKeepingEarlierSegments) {
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 512, 0x4000, std::string(512, 'a'));
  image.Block(0x4000, 40000, 0, std::string(512, 'b'));
  DbxStatus s;
  DbxBody body = Read(image, 0x3000, &s);
  EXPECT_EQ(s.code(), kErrorOverflow);
  EXPECT_EQ(body.segments.size(), 1u);

  image.Block(0x4000, 0x80000000, 0, "");
  body = Read(image, 0x3000, &s);
  EXPECT_EQ(s.code(), kErrorInvalidArgument);

  image.Block(0x4000, 32767, 0, "");
  body = Read(image, 0x3000, &s);
  EXPECT_TRUE(s.ok());
  EXPECT_EQ(body.segments[1].used_length, 32767u);
}

}  // namespace
}  // namespace dbx
