// Index tree walks: both delivery orders, and trees that are damaged
// (cycles, shared subtrees, overfull nodes, very deep chains).
#include "reader/dbx/index_walk.h"

#include <gtest/gtest.h>

#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

using testing::DbxImage;

std::vector<uint32_t> Walk(DbxImage& image, IndexOrder order) {
  MemorySource source(image.bytes());
  std::vector<uint32_t> seen;
  DbxStatus s = WalkIndex(source, LoadLe32(reinterpret_cast<const uint8_t*>(image.bytes().data()) + 0xE4),
                          order, [&](uint32_t r) {
                            seen.push_back(r);
                            return DbxStatus::Ok();
                          });
  EXPECT_TRUE(s.ok()) << s.ToString();
  return seen;
}

// Root: entries A (child X) and B, first child F. X holds X1 and X2.
constexpr uint32_t kRoot = 0x3000, kF = 0x3400, kX = 0x3800;
constexpr uint32_t A = 0xA, B = 0xB, F = 0xF, X1 = 0x11, X2 = 0x12;

DbxImage SmallTree() {
  DbxImage image(kFolderFileKind);
  image.SetRoot(kRoot);
  image.Node(kRoot, kF, {{A, kX}, {B, 0}});
  image.Node(kF, 0, {{F, 0}});
  image.Node(kX, 0, {{X1, 0}, {X2, 0}});
  return image;
}

TEST(IndexWalkTest, MessageOrderPutsEachRecordAfterItsSubtree) {
  DbxImage image = SmallTree();
  EXPECT_EQ(Walk(image, IndexOrder::kMessages), (std::vector<uint32_t>{F, X1, X2, A, B}));
}

TEST(IndexWalkTest, FolderOrderPutsEachRecordBeforeItsSubtree) {
  DbxImage image = SmallTree();
  EXPECT_EQ(Walk(image, IndexOrder::kFolders), (std::vector<uint32_t>{F, A, X1, X2, B}));
}

TEST(IndexWalkTest, NestedSubtreesKeepTheirOrder) {
  // Root [first child L] (R1 -> M) ; M [first child N] (M1) ; N (N1 -> P) ; P (P1)
  DbxImage image(kFolderListKind);
  image.SetRoot(0x3000);
  image.Node(0x3000, 0x3300, {{1, 0x3600}});
  image.Node(0x3300, 0, {{2, 0}});
  image.Node(0x3600, 0x3900, {{3, 0}});
  image.Node(0x3900, 0, {{4, 0x3C00}});
  image.Node(0x3C00, 0, {{5, 0}});
  EXPECT_EQ(Walk(image, IndexOrder::kMessages), (std::vector<uint32_t>{2, 5, 4, 3, 1}));
  EXPECT_EQ(Walk(image, IndexOrder::kFolders), (std::vector<uint32_t>{2, 1, 4, 5, 3}));
}

TEST(IndexWalkTest, InvalidRootsGiveAnEmptyTree) {
  DbxImage image = SmallTree();
  image.SetRoot(0);
  EXPECT_TRUE(Walk(image, IndexOrder::kMessages).empty());
  image.SetRoot(kRoot + 12);  // into the middle of a node
  EXPECT_TRUE(Walk(image, IndexOrder::kMessages).empty());
  image.SetRoot(0x7FFFFFF0);  // far past the end: reads as zeros
  EXPECT_TRUE(Walk(image, IndexOrder::kMessages).empty());
}

TEST(IndexWalkTest, BadChildEndsOnlyItsOwnSubtree) {
  DbxImage image = SmallTree();
  image.Put32(kX, 0x1234);  // X no longer carries its own offset
  EXPECT_EQ(Walk(image, IndexOrder::kMessages), (std::vector<uint32_t>{F, A, B}));
}

TEST(IndexWalkTest, CyclesEndAndEveryRecordIsDeliveredOnce) {
  DbxImage image = SmallTree();
  image.Node(kX, kRoot, {{X1, kX}, {X2, kF}});  // back to the root, itself, and F
  EXPECT_EQ(Walk(image, IndexOrder::kMessages), (std::vector<uint32_t>{F, X1, X2, A, B}));
  EXPECT_EQ(Walk(image, IndexOrder::kFolders), (std::vector<uint32_t>{F, A, X1, X2, B}));

  DbxImage self(kFolderFileKind);
  self.SetRoot(kRoot);
  self.Node(kRoot, kRoot, {{A, kRoot}});
  EXPECT_EQ(Walk(self, IndexOrder::kMessages), (std::vector<uint32_t>{A}));
}

TEST(IndexWalkTest, OverfullNodeIsReadAsFiftyTwoEntries) {
  DbxImage image(kFolderFileKind);
  image.SetRoot(kRoot);
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  for (uint32_t i = 0; i < 52; ++i) entries.push_back({100 + i, 0});
  entries[51].second = kX;  // the last usable entry still has its subtree walked
  image.Node(kRoot, 0, entries, /*count=*/200);
  image.Node(kX, 0, {{X1, 0}});
  std::vector<uint32_t> got = Walk(image, IndexOrder::kMessages);
  ASSERT_EQ(got.size(), 53u);
  EXPECT_EQ(got[50], 150u);
  EXPECT_EQ(got[51], X1);
  EXPECT_EQ(got[52], 151u);
}

TEST(IndexWalkTest, VeryDeepChainDoesNotExhaustTheStack) {
  // 20000 nodes, each the first child of the one before: a recursive walk
  // would need megabytes of stack.
  constexpr uint32_t kNodes = 20000;
  DbxImage image(kFolderFileKind);
  const uint32_t base = 0x3000;
  image.Grow(base + kNodes * kIndexNodeSize);
  image.SetRoot(base);
  for (uint32_t i = 0; i < kNodes; ++i) {
    uint32_t at = base + i * uint32_t(kIndexNodeSize);
    image.Node(at, i + 1 < kNodes ? at + uint32_t(kIndexNodeSize) : 0, {{i + 1, 0}});
  }
  std::vector<uint32_t> got = Walk(image, IndexOrder::kMessages);
  ASSERT_EQ(got.size(), kNodes);
  EXPECT_EQ(got.front(), kNodes);  // the deepest node comes first
  EXPECT_EQ(got.back(), 1u);
}

TEST(IndexWalkTest, VisitorFailureStopsTheWalk) {
  DbxImage image = SmallTree();
  MemorySource source(image.bytes());
  int calls = 0;
  DbxStatus s = WalkIndex(source, kRoot, IndexOrder::kMessages, [&](uint32_t) {
    return ++calls == 2 ? DbxStatus(kErrorDeviceIo, "stop") : DbxStatus::Ok();
  });
  EXPECT_EQ(s.code(), kErrorDeviceIo);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace dbx
