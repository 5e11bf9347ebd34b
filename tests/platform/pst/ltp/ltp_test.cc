// Tests of the LTP builders: byte-exact output against nodes of a store
// written by Outlook, and round trips through an independent reader for
// multi-page heaps, multi-level BTHs, every property type, large values in
// subnodes, and tables whose row matrix moves to a subnode.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/pst/ltp/bth_builder.h"
#include "platform/pst/ltp/heap_builder.h"
#include "platform/pst/ltp/pc_builder.h"
#include "platform/pst/ltp/tc_builder.h"
#include "tests/platform/pst/ltp/ltp_reader.h"

namespace pst::ltp {
namespace {

using testing::Get32;
using testing::HeapReader;

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Node 0x60D (hierarchy table template) and 0x8022 ("Top of Personal
// Folders") of /work/shared/fixtures/real-pst/new-store-small.pst.
const char kOutlookHierarchyTemplate[] =
    "9200ec7c4000000000000000b5040400000000007c0d34003400350037002000000000000000000000000201"
    "300e140004061400330e180008070201340e200004080300380e240004091f00013008000402030002360c00"
    "040303000336100004040b000a36340001051f0013362800040a030035662c00040b030036663000040c0300"
    "f267000004000300f36704000401020000000c0014009200";
const char kOutlookTopFolder[] =
    "8000ecbc2000000000000000b50206004000000001301f0060000000023603000100000003360300000000000a"
    "360b0001000000da360201800000003566030000000000366603000000000054006f00700020006f00660020"
    "0050006500720073006f006e0061006c00200046006f006c006400650072007300010400001000040000000c"
    "0014004c007a008000";

std::vector<TcColumn> HierarchyColumns() {
  return {{0x0E300102, 20, 4, 6},  {0x0E330014, 24, 8, 7},  {0x0E340102, 32, 4, 8},
          {0x0E380003, 36, 4, 9},  {0x3001001F, 8, 4, 2},   {0x36020003, 12, 4, 3},
          {0x36030003, 16, 4, 4},  {0x360A000B, 52, 1, 5},  {0x3613001F, 40, 4, 10},
          {0x66350003, 44, 4, 11}, {0x66360003, 48, 4, 12}, {0x67F20003, 0, 4, 0},
          {0x67F30003, 4, 4, 1}};
}

TEST(OutlookLayoutTest, EmptyTableTemplateIsByteExact) {
  std::unique_ptr<TcBuilder> tc;
  ASSERT_TRUE(TcBuilder::Create(HierarchyColumns(), &tc).ok());
  SubnodeIds ids;
  NodeData node;
  ASSERT_TRUE(tc->Finish(&ids, &node).ok());
  EXPECT_EQ(node.data, FromHex(kOutlookHierarchyTemplate));
  EXPECT_TRUE(node.subnodes.empty());
}

TEST(OutlookLayoutTest, FolderPropertyContextIsByteExact) {
  SubnodeIds ids;
  PcBuilder pc(&ids);
  ASSERT_TRUE(pc.Set(0x3001, MakeString(0x3001, u"Top of Personal Folders")).ok());
  ASSERT_TRUE(pc.Set(0x3602, MakeInt32(0x3602, 1)).ok());
  ASSERT_TRUE(pc.Set(0x3603, MakeInt32(0x3603, 0)).ok());
  ASSERT_TRUE(pc.Set(0x360A, MakeBool(0x360A, true)).ok());
  ASSERT_TRUE(pc.Set(0x36DA, MakeBinary(0x36DA, {1, 4, 0, 0, 0x10, 0})).ok());
  ASSERT_TRUE(pc.Set(0x6635, MakeInt32(0x6635, 0)).ok());
  ASSERT_TRUE(pc.Set(0x6636, MakeInt32(0x6636, 0)).ok());
  NodeData node;
  ASSERT_TRUE(pc.Finish(&node).ok());
  EXPECT_EQ(node.data, FromHex(kOutlookTopFolder));
}

TEST(HeapTest, ManyItemsSpanPagesWithValidMaps) {
  HeapBuilder heap;
  std::vector<Hid> hids;
  for (int i = 0; i < 4000; ++i) {
    std::vector<uint8_t> item(1 + i % 300, static_cast<uint8_t>(i));
    Hid hid;
    ASSERT_TRUE(heap.Allocate(item, &hid).ok());
    hids.push_back(hid);
  }
  ASSERT_GT(heap.page_count(), 9u);  // reaches the first HNBITMAPHDR page (8)
  NodeData node;
  node.data = heap.Finish(HeapClient::kBTree, hids[0]);
  // Every page but the last is a full block.
  EXPECT_EQ(node.data.size() / HeapBuilder::kBlockDataSize, heap.page_count() - 1);
  HeapReader reader(node);
  ASSERT_TRUE(reader.ok()) << reader.error();
  EXPECT_EQ(reader.client(), 0xB5);
  EXPECT_EQ(reader.user_root(), hids[0]);
  for (int i = 0; i < 4000; ++i) {
    std::vector<uint8_t> item = reader.Item(hids[i]);
    ASSERT_EQ(item, std::vector<uint8_t>(1 + i % 300, static_cast<uint8_t>(i))) << i;
  }
  EXPECT_TRUE(reader.ok()) << reader.error();
}

TEST(HeapTest, RejectsOversizedItemAndKeepsEmptyItems) {
  HeapBuilder heap;
  Hid hid;
  std::vector<uint8_t> big(HeapBuilder::kMaxItemSize + 1);
  EXPECT_EQ(heap.Allocate(big, &hid).code(), Status::Code::kInvalidArgument);
  big.pop_back();
  EXPECT_TRUE(heap.Allocate(big, &hid).ok());
  Hid empty;
  ASSERT_TRUE(heap.Allocate({}, &empty).ok());
  NodeData node;
  node.data = heap.Finish(HeapClient::kPropertyContext, 0);
  HeapReader reader(node);
  EXPECT_EQ(reader.Item(hid).size(), HeapBuilder::kMaxItemSize);
  EXPECT_TRUE(reader.Item(empty).empty());
  EXPECT_TRUE(reader.ok()) << reader.error();
}

TEST(BthTest, MultiLevelTreeKeepsAllRecordsInOrder) {
  HeapBuilder heap;
  const size_t n = 60000;  // 447 records per leaf: 135 leaves, two index levels
  std::vector<uint8_t> records;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t key = i * 3 + 7;
    for (int k = 0; k < 4; ++k) records.push_back((key >> (8 * k)) & 0xFF);
    for (int k = 0; k < 4; ++k) records.push_back((i >> (8 * k)) & 0xFF);
  }
  BthLayout layout;
  ASSERT_TRUE(BuildBth(&heap, 4, 4, records, &layout).ok());
  NodeData node;
  node.data = heap.Finish(HeapClient::kBTree, layout.header);
  HeapReader reader(node);
  auto out = reader.Bth(reader.user_root());
  ASSERT_TRUE(reader.ok()) << reader.error();
  ASSERT_EQ(out.size(), n);
  for (uint32_t i = 0; i < n; i += 997) {
    EXPECT_EQ(Get32(out[i].first.data()), i * 3 + 7);
    EXPECT_EQ(Get32(out[i].second.data()), i);
  }
}

TEST(BthTest, RejectsBadShapes) {
  HeapBuilder heap;
  BthLayout layout;
  EXPECT_FALSE(BuildBth(&heap, 3, 4, {}, &layout).ok());
  std::vector<uint8_t> partial(7);
  EXPECT_FALSE(BuildBth(&heap, 4, 4, partial, &layout).ok());
}

TEST(PcTest, EveryTypeRoundTrips) {
  SubnodeIds ids;
  PcBuilder pc(&ids);
  std::vector<Property> props = {
      {0x0001, PropType::kInt16, false, {}, int64_t{-2}},
      MakeInt32(0x0002, -5),
      {0x0003, PropType::kDouble, false, {}, 2.5},
      MakeBool(0x0004, true),
      MakeInt64(0x0005, 0x1122334455667788),
      MakeString(0x0006, u"h\u00e9llo"),
      MakeTime(0x0007, 0x01D0000000000001ull),
      {0x0008, PropType::kGuid, false, {}, std::vector<uint8_t>(16, 0xAB)},
      MakeBinary(0x0009, {1, 2, 3}),
      {0x000A, PropType::kMvInt32, false, {}, std::vector<int32_t>{1, -1, 7}},
      {0x000B, PropType::kMvString, false, {}, std::vector<std::u16string>{u"a", u"", u"bc"}},
      {0x000C, PropType::kMvBinary, false, {},
       std::vector<std::vector<uint8_t>>{{9}, {8, 7}}},
      MakeString(0x000D, u""),
  };
  for (const Property& p : props) ASSERT_TRUE(pc.Set(p.id, p).ok());
  NodeData node;
  ASSERT_TRUE(pc.Finish(&node).ok());
  std::string error;
  auto read = testing::ReadPc(node, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(read.size(), props.size());
  EXPECT_EQ(read[1].type, 0x0002);
  EXPECT_EQ(read[1].bytes[0], 0xFE);
  EXPECT_EQ(read[1].bytes[1], 0xFF);
  EXPECT_EQ(Get32(read[2].bytes.data()), static_cast<uint32_t>(-5));
  double d;
  ASSERT_EQ(read[3].bytes.size(), 8u);
  std::memcpy(&d, read[3].bytes.data(), 8);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(read[4].raw, 1u);
  EXPECT_EQ(read[5].bytes, FromHex("8877665544332211"));
  EXPECT_EQ(read[6].bytes, FromHex("6800e9006c006c006f00"));
  EXPECT_EQ(read[7].bytes, FromHex("010000000000d001"));
  EXPECT_EQ(read[8].bytes, std::vector<uint8_t>(16, 0xAB));
  EXPECT_EQ(read[9].bytes, FromHex("010203"));
  EXPECT_EQ(read[10].bytes, FromHex("01000000ffffffff07000000"));
  // Count, offsets from the start, then the strings without terminators.
  EXPECT_EQ(read[11].bytes, FromHex("03000000100000001200000012000000" "6100" "62006300"));
  EXPECT_EQ(read[12].bytes, FromHex("020000000c0000000d000000" "09" "0807"));
  EXPECT_EQ(read[13].raw, 0u);  // empty values have HNID 0
  EXPECT_TRUE(read[13].bytes.empty());
}

TEST(PcTest, LargeValuesGoToSubnodesAndInlineRewrite) {
  SubnodeIds ids;
  PcBuilder pc(&ids);
  std::vector<uint8_t> small(3580, 1), large(3581, 2), huge(300000, 3);
  ASSERT_TRUE(pc.Set(0x1000, MakeBinary(0x1000, small)).ok());
  ASSERT_TRUE(pc.Set(0x1001, MakeBinary(0x1001, large)).ok());
  ASSERT_TRUE(pc.Set(0x1002, MakeBinary(0x1002, huge)).ok());
  ASSERT_TRUE(pc.Set(0x0E08, MakeInt32(0x0E08, 0)).ok());
  NodeData node;
  ASSERT_TRUE(pc.Finish(&node).ok());
  ASSERT_EQ(node.subnodes.size(), 2u);
  ASSERT_TRUE(pc.RewriteInline(0x0E08, 12345, &node).ok());
  EXPECT_FALSE(pc.RewriteInline(0x1000, 1, &node).ok());
  std::string error;
  auto read = testing::ReadPc(node, &error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_EQ(read[0x1000].raw & 0x1F, 0u);
  EXPECT_EQ(read[0x1000].bytes, small);
  EXPECT_EQ(read[0x1001].raw & 0x1F, 0x1Fu);
  EXPECT_EQ(read[0x1001].bytes, large);
  EXPECT_EQ(read[0x1002].bytes, huge);
  EXPECT_EQ(read[0x0E08].raw, 12345u);
}

TEST(PcTest, OrderOfSettingReplacedValuesAndRewritesLeaveNoTrace) {
  // Values over three heap pages, one in a subnode.
  std::vector<Property> wanted = {MakeInt32(0x0E07, 17), MakeString(0x0037, u"subject"),
                                  MakeBinary(0x1000, std::vector<uint8_t>(5000, 7)),
                                  MakeBinary(0x1001, {1, 2})};
  for (uint16_t id = 0x2000; id < 0x2006; ++id) {
    wanted.push_back(MakeBinary(id, std::vector<uint8_t>(3000, 5)));
  }
  auto build = [](const std::vector<Property>& sets, int32_t rewrite, NodeData* node) {
    SubnodeIds ids;
    PcBuilder pc(&ids);
    for (const Property& p : sets) pc.Set(p.id, p).ok();  // a refused value changes nothing
    ASSERT_TRUE(pc.Finish(node).ok());
    if (rewrite != 0) {
      ASSERT_TRUE(pc.RewriteInline(0x0E07, static_cast<uint32_t>(rewrite), node).ok());
    }
  };
  NodeData in_order, shuffled;
  build(wanted, 0, &in_order);
  std::vector<Property> sets(wanted.rbegin(), wanted.rend());
  sets.insert(sets.begin(), {MakeString(0x1001, u"replaced"), MakeInt32(0x0E07, 1),
                             MakeBinary(0x0037, std::vector<uint8_t>(4000, 1))});
  sets.push_back({0x0037, PropType::kString, false, {}, int64_t{1}});
  build(sets, 17, &shuffled);
  EXPECT_EQ(shuffled.data, in_order.data);
  ASSERT_EQ(shuffled.subnodes.size(), 1u);
  EXPECT_EQ(shuffled.subnodes[0].second.data, std::vector<uint8_t>(5000, 7));
}

TEST(PcTest, RejectsValuesOfTheWrongKind) {
  SubnodeIds ids;
  PcBuilder pc(&ids);
  EXPECT_FALSE(pc.Set(0x0037, {0x0037, PropType::kString, false, {}, int64_t{1}}).ok());
  EXPECT_FALSE(pc.Set(0x0037, {0x0037, PropType::kGuid, false, {}, std::vector<uint8_t>(3)}).ok());
  EXPECT_FALSE(pc.Set(0x0037, {0x0037, static_cast<PropType>(0x0077), false, {}, int64_t{1}}).ok());
}

std::vector<Property> RowProps(uint32_t i) {
  return {MakeString(0x0037, u"subject " + std::u16string(i % 50, u'x')),
          MakeInt32(0x0E07, static_cast<int32_t>(i)),
          MakeTime(0x0039, 1000 + i),
          MakeBool(0x0057, i % 2 == 0)};
}

void CheckTableRoundTrip(uint32_t rows, bool expect_subnode) {
  std::vector<uint32_t> tags = {0x0037001F, 0x0E070003, 0x00390040, 0x0057000B, 0x0E080003};
  std::unique_ptr<TcBuilder> tc;
  ASSERT_TRUE(TcBuilder::Create(AutoLayout(tags), &tc).ok());
  for (uint32_t i = 0; i < rows; ++i) {
    std::vector<Property> props = RowProps(i);
    std::vector<const Property*> cells;
    for (const auto& c : tc->columns()) {
      const Property* cell = nullptr;
      for (const auto& p : props) if (p.tag() == c.tag) cell = &p;
      cells.push_back(cell);
    }
    // Row ids descend so the index must sort them.
    ASSERT_TRUE(tc->AddRow(0x200000 - 32 * i, i + 1, cells).ok());
  }
  SubnodeIds ids;
  NodeData node;
  ASSERT_TRUE(tc->Finish(&ids, &node).ok());
  EXPECT_EQ(!node.subnodes.empty(), expect_subnode);
  std::string error;
  testing::TcTable t = testing::ReadTc(node, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(t.rows.size(), rows);
  EXPECT_EQ(t.rgib[0], 8 + 8 + 4 + 4 + 4);
  for (uint32_t i = 0; i < rows; i += std::max<uint32_t>(1, rows / 50)) {
    auto& cells = t.rows.at(0x200000 - 32 * i);
    EXPECT_EQ(t.row_order[i], 0x200000 - 32 * i);
    EXPECT_EQ(Get32(cells.at(0x67F30003).data()), i + 1);
    EXPECT_EQ(Get32(cells.at(0x0E070003).data()), i);
    EXPECT_EQ(cells.at(0x0057000B), std::vector<uint8_t>{static_cast<uint8_t>(i % 2 == 0)});
    EXPECT_EQ(cells.at(0x0037001F).size(), 2 * (8 + i % 50));
    EXPECT_EQ(cells.count(0x0E080003), 0u);  // absent cell: its bit is clear
  }
}

TEST(TcTest, SmallTableKeepsRowsInTheHeap) { CheckTableRoundTrip(20, false); }
TEST(TcTest, LargeTableMovesRowMatrixToSubnode) { CheckTableRoundTrip(5000, true); }
TEST(TcTest, EmptyTableHasNoMatrix) { CheckTableRoundTrip(0, false); }

TEST(TcTest, RejectsBadColumnsAndRows) {
  std::unique_ptr<TcBuilder> tc;
  EXPECT_FALSE(TcBuilder::Create({{0x0037001F, 8, 4, 2}}, &tc).ok());  // no row id column
  std::vector<TcColumn> dup = {{0x67F20003, 0, 4, 0}, {0x67F30003, 4, 4, 1}, {0x0037001F, 8, 4, 1}};
  EXPECT_FALSE(TcBuilder::Create(dup, &tc).ok());
  std::vector<uint32_t> tags = {0x0037001F};
  ASSERT_TRUE(TcBuilder::Create(AutoLayout(tags), &tc).ok());
  Property wrong = MakeInt32(0x0037, 1);
  std::vector<const Property*> cells(tc->columns().size(), nullptr);
  cells[0] = &wrong;  // the subject column sorts first
  EXPECT_FALSE(tc->AddRow(1, 1, cells).ok());
  cells[0] = nullptr;
  ASSERT_TRUE(tc->AddRow(1, 1, cells).ok());
  ASSERT_TRUE(tc->AddRow(1, 2, cells).ok());
  SubnodeIds ids;
  NodeData node;
  EXPECT_FALSE(tc->Finish(&ids, &node).ok());  // duplicate row id
}

}  // namespace
}  // namespace pst::ltp
