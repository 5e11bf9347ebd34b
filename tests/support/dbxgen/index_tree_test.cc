// Index tree plans: shapes, node bytes and both walk orders.
#include "tests/support/dbxgen/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/support/dbxgen/test_bytes.h"

namespace dbxgen {
namespace {

std::vector<std::size_t> Iota(std::size_t n) {
  std::vector<std::size_t> v(n);
  std::iota(v.begin(), v.end(), 0);
  return v;
}

IndexTree Plan(std::size_t n, std::size_t fan_out,
               TreeOptions::Shape shape = TreeOptions::Shape::kBalanced) {
  TreeOptions options;
  options.fan_out = fan_out;
  options.shape = shape;
  auto tree = IndexTree::Plan(n, options);
  EXPECT_TRUE(tree.ok()) << tree.status().message();
  return tree.value();
}

TEST(IndexTreeTest, FolderListOrderIsTheRecordOrderAndBothWalksSeeEveryRecordOnce) {
  for (std::size_t fan_out : {1, 2, 3, 7, 51, 52}) {
    for (std::size_t n : {1, 2, 5, 52, 53, 200, 2705}) {
      IndexTree tree = Plan(n, fan_out);
      EXPECT_EQ(tree.WalkOrder(WalkKind::kFolderList), Iota(n)) << n << "/" << fan_out;
      auto files = tree.WalkOrder(WalkKind::kFolderFile);
      std::sort(files.begin(), files.end());
      EXPECT_EQ(files, Iota(n)) << n << "/" << fan_out;
      for (const auto& node : tree.nodes()) {
        EXPECT_GE(node.entries.size(), 1u);
        EXPECT_LE(node.entries.size(), fan_out);
      }
    }
  }
}

TEST(IndexTreeTest, SmallFanOutGivesSeveralLevels) {
  EXPECT_EQ(Plan(10, 51).depth(), 1u);
  EXPECT_EQ(Plan(52, 51).depth(), 2u);
  EXPECT_GE(Plan(10, 2).depth(), 3u);
  EXPECT_EQ(Plan(7, 1).depth(), 3u);  // a full binary tree
  EXPECT_EQ(Plan(100000, 51).depth(), 3u);
}

TEST(IndexTreeTest, FolderFilesDeliverAnEntryAfterTheSubtreeThatFollowsIt) {
  // Root: first child {0, 1}, entry 2 with child {3, 4}.
  IndexTree tree = Plan(5, 2);
  ASSERT_EQ(tree.nodes().size(), 3u);
  EXPECT_EQ(tree.WalkOrder(WalkKind::kFolderFile), (std::vector<std::size_t>{0, 1, 3, 4, 2}));
  EXPECT_EQ(tree.WalkOrder(WalkKind::kFolderList), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
}

TEST(IndexTreeTest, ChainHasOneNodePerRecordAndEndsAtRecordZero) {
  IndexTree tree = Plan(100000, 51, TreeOptions::Shape::kChain);
  EXPECT_EQ(tree.depth(), 100000u);
  EXPECT_EQ(tree.nodes().size(), 100000u);
  EXPECT_EQ(tree.WalkOrder(WalkKind::kFolderFile), Iota(100000));
  EXPECT_EQ(tree.WalkOrder(WalkKind::kFolderList), Iota(100000));
}

TEST(IndexTreeTest, NodeBytesLinkChildrenParentsAndCounts) {
  IndexTree tree = Plan(5, 2);
  uint64_t end = tree.AssignOffsets(0x10000);
  EXPECT_EQ(end, 0x10000u + 3 * 636);
  std::vector<uint32_t> records = {0x100, 0x200, 0x300, 0x400, 0x500};
  std::string root = tree.NodeBytes(0, records);
  ASSERT_EQ(root.size(), 636u);
  using testing::U32;
  using testing::U8;
  EXPECT_EQ(U32(root, 0x00), 0x10000u);
  EXPECT_EQ(U32(root, 0x08), 0x10000u + 636);  // first child
  EXPECT_EQ(U32(root, 0x0C), 0u);              // no parent
  EXPECT_EQ(U8(root, 0x11), 1);
  EXPECT_EQ(U32(root, 0x14), 2u);              // records in the first child
  EXPECT_EQ(U32(root, 0x18), 0x300u);
  EXPECT_EQ(U32(root, 0x1C), 0x10000u + 2 * 636);
  EXPECT_EQ(U32(root, 0x20), 2u);
  std::string leaf = tree.NodeBytes(2, records);
  EXPECT_EQ(U32(leaf, 0x0C), 0x10000u);
  EXPECT_EQ(U32(leaf, 0x08), 0u);
  EXPECT_EQ(U32(leaf, 0x18), 0x400u);
  EXPECT_EQ(U32(leaf, 0x24), 0x500u);
}

TEST(IndexTreeTest, AFullNodeTakesAll52Slots) {
  IndexTree tree = Plan(52, 52);
  ASSERT_EQ(tree.nodes().size(), 1u);
  tree.AssignOffsets(0x3000);
  EXPECT_EQ(tree.NodeBytes(0, std::vector<uint32_t>(52, 1)).size(), 648u);
}

TEST(IndexTreeTest, RejectsFanOutOutsideOneTo52) {
  TreeOptions options;
  options.fan_out = 0;
  EXPECT_FALSE(IndexTree::Plan(3, options).ok());
  options.fan_out = 53;
  EXPECT_FALSE(IndexTree::Plan(3, options).ok());
  options.fan_out = 52;
  auto empty = IndexTree::Plan(0, options);
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(empty->root_offset(), 0u);
  EXPECT_TRUE(empty->WalkOrder(WalkKind::kFolderFile).empty());
}

}  // namespace
}  // namespace dbxgen
