// The heap, BTH, PC and TC readers on hand-built heaps: index levels, value
// kinds and row matrices that the small fixtures do not contain, and the
// faults each reader must name.
#include <gtest/gtest.h>

#include "platform/pst/check/ltp.h"

namespace pst::check {
namespace {

// Builds one heap page: the HNHDR, the items in order, then the HNPAGEMAP.
class PageBuilder {
 public:
  explicit PageBuilder(uint8_t client) : client_(client) {}
  uint32_t Add(Bytes item) {
    items_.push_back(std::move(item));
    return static_cast<uint32_t>(items_.size()) << 5;
  }
  void SetRoot(uint32_t hid) { root_ = hid; }
  Bytes Finish() const {
    Bytes page(12, 0);
    std::vector<uint16_t> offs{12};
    for (const Bytes& item : items_) {
      page.insert(page.end(), item.begin(), item.end());
      offs.push_back(static_cast<uint16_t>(page.size()));
    }
    if (page.size() % 2) page.push_back(0);
    uint16_t map = static_cast<uint16_t>(page.size());
    Put16(&page, static_cast<uint16_t>(items_.size()));
    Put16(&page, 0);
    for (uint16_t o : offs) Put16(&page, o);
    page[0] = static_cast<uint8_t>(map);
    page[1] = static_cast<uint8_t>(map >> 8);
    page[2] = 0xEC;
    page[3] = client_;
    for (int i = 0; i < 4; ++i) page[4 + i] = static_cast<uint8_t>(root_ >> (8 * i));
    return page;
  }

 private:
  static void Put16(Bytes* b, uint16_t v) {
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
  }
  uint8_t client_;
  uint32_t root_ = 0;
  std::vector<Bytes> items_;
};

Bytes Le(uint64_t v, int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A two-level BTH of 4-byte keys and data: an index node over two leaves.
Heap TwoLevelBth(uint32_t second_leaf_first_key, uint32_t* header) {
  PageBuilder b(0xB5);
  uint32_t leaf1 = b.Add(Cat({Le(1, 4), Le(100, 4), Le(2, 4), Le(200, 4)}));
  uint32_t leaf2 = b.Add(Cat({Le(second_leaf_first_key, 4), Le(1000, 4), Le(11, 4), Le(1100, 4)}));
  uint32_t index = b.Add(Cat({Le(1, 4), Le(leaf1, 4), Le(10, 4), Le(leaf2, 4)}));
  *header = b.Add(Cat({{0xB5, 4, 4, 1}, Le(index, 4)}));
  b.SetRoot(*header);
  Heap heap;
  std::string error;
  EXPECT_TRUE(heap.LoadPages({b.Finish()}, &error)) << error;
  return heap;
}

TEST(BthTest, ReadsRecordsThroughIndexLevels) {
  uint32_t header;
  Heap heap = TwoLevelBth(10, &header);
  std::vector<BthRecord> records;
  std::string error;
  ASSERT_TRUE(ReadBth(heap, header, 4, 4, &records, &error)) << error;
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[2].key, Le(10, 4));
  EXPECT_EQ(records[3].data, Le(1100, 4));
  EXPECT_FALSE(ReadBth(heap, header, 2, 6, &records, &error));
  EXPECT_NE(error.find("key/data sizes"), std::string::npos) << error;
}

TEST(BthTest, KeyBelowItsIndexEntryIsAFault) {
  uint32_t header;
  Heap heap = TwoLevelBth(5, &header);
  std::vector<BthRecord> records;
  std::string error;
  EXPECT_FALSE(ReadBth(heap, header, 4, 4, &records, &error));
  EXPECT_NE(error.find("below its index entry"), std::string::npos) << error;
}

TEST(HeapTest, BrokenPageMapsAreFaults) {
  PageBuilder b(0xBC);
  b.Add(Bytes(6, 0));
  Bytes page = b.Finish();
  std::string error;
  Heap heap;
  Bytes bad_sig = page;
  bad_sig[2] = 0xED;
  EXPECT_FALSE(heap.LoadPages({bad_sig}, &error));
  EXPECT_NE(error.find("bSig"), std::string::npos);
  Bytes bad_map = page;
  bad_map[0] = 0xFF;
  EXPECT_FALSE(heap.LoadPages({bad_map}, &error));
  EXPECT_NE(error.find("ibHnpm"), std::string::npos);
  ASSERT_TRUE(heap.LoadPages({page}, &error)) << error;
  Bytes item;
  EXPECT_TRUE(heap.Get(1 << 5, &item, &error));
  EXPECT_EQ(item.size(), 6u);
  EXPECT_FALSE(heap.Get(2 << 5, &item, &error));
  EXPECT_FALSE(heap.Get((1 << 16) | (1 << 5), &item, &error));
}

TEST(PcTest, ReadsInlineHeapAndStringValuesAndNamesBadOnes) {
  PageBuilder b(0xBC);
  uint32_t time = b.Add(Le(0x01D0000000000000ull, 8));
  uint32_t name = b.Add({'I', 0, 'n', 0});
  uint32_t odd = b.Add({'x', 0, 'y'});
  // Records sorted by property id: 0x0037 subject (odd length), 0x0E07
  // flags, 0x3001 name, 0x3007 creation time.
  uint32_t leaf = b.Add(Cat({Le(0x0037, 2), Le(0x001F, 2), Le(odd, 4),
                             Le(0x0E07, 2), Le(0x0003, 2), Le(0x11, 4),
                             Le(0x3001, 2), Le(0x001F, 2), Le(name, 4),
                             Le(0x3007, 2), Le(0x0040, 2), Le(time, 4)}));
  uint32_t header = b.Add(Cat({{0xB5, 2, 6, 0}, Le(leaf, 4)}));
  b.SetRoot(header);
  Heap heap;
  std::string error;
  ASSERT_TRUE(heap.LoadPages({b.Finish()}, &error)) << error;
  PropMap props;
  std::vector<std::string> problems;
  ASSERT_TRUE(ReadPc(heap, &props, &error, &problems)) << error;
  EXPECT_EQ(props[0x0E070003].data, Le(0x11, 4));
  EXPECT_EQ(props[0x3001001F].data, (Bytes{'I', 0, 'n', 0}));
  EXPECT_EQ(props[0x30070040].data, Le(0x01D0000000000000ull, 8));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("0x0037001F: UTF-16 string of odd byte length"), std::string::npos) << problems[0];
}

// A table of two rows with columns row id, row version, flags (4 bytes),
// importance... kept to the two mandatory columns and a string column.
Heap TwoRowTable(uint32_t second_row_id_in_matrix) {
  PageBuilder b(0x7C);
  uint32_t str = b.Add({'h', 0, 'i', 0});
  // Row layout: rowid(4) rowver(4) subject hnid(4) | CEB(1) -> 13 bytes.
  Bytes rows = Cat({Le(0x10, 4), Le(1, 4), Le(str, 4), {0xE0},
                    Le(second_row_id_in_matrix, 4), Le(2, 4), Le(0, 4), {0xC0}});
  uint32_t matrix = b.Add(rows);
  uint32_t leaf = b.Add(Cat({Le(0x10, 4), Le(0, 4), Le(0x20, 4), Le(1, 4)}));
  uint32_t index = b.Add(Cat({{0xB5, 4, 4, 0}, Le(leaf, 4)}));
  Bytes info = Cat({{0x7C, 3}, Le(12, 2), Le(12, 2), Le(12, 2), Le(13, 2), Le(index, 4), Le(matrix, 4), Le(0, 4),
                    Le(0x0037001F, 4), Le(8, 2), {4, 2},
                    Le(0x67F20003, 4), Le(0, 2), {4, 0},
                    Le(0x67F30003, 4), Le(4, 2), {4, 1}});
  b.SetRoot(b.Add(info));
  Heap heap;
  std::string error;
  EXPECT_TRUE(heap.LoadPages({b.Finish()}, &error)) << error;
  return heap;
}

TEST(TcTest, ReadsRowsAndCellsByExistenceBit) {
  Heap heap = TwoRowTable(0x20);
  Table table;
  std::string error;
  std::vector<std::string> problems;
  ASSERT_TRUE(ReadTc(heap, &table, &error, &problems)) << error;
  EXPECT_TRUE(problems.empty()) << problems[0];
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].id, 0x10u);
  EXPECT_EQ(table.rows[0].cells[0x0037001F].data, (Bytes{'h', 0, 'i', 0}));
  EXPECT_EQ(table.rows[1].cells.count(0x0037001F), 0u);   // bit not set
  EXPECT_EQ(table.rows[1].cells[0x67F30003].data, Le(2, 4));
}

TEST(TcTest, RowIdDifferingFromTheIndexIsNamed) {
  Heap heap = TwoRowTable(0x21);
  Table table;
  std::string error;
  std::vector<std::string> problems;
  ASSERT_TRUE(ReadTc(heap, &table, &error, &problems)) << error;
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("holds row id 0x21 but the row index says 0x20"), std::string::npos) << problems[0];
}

// Tables whose rows are narrower than what their columns would read: each
// must be named, never read past the row (the row matrix is its own buffer).
TEST(TcTest, ColumnsThatDoNotFitTheirRowAreFaultsNotReads) {
  struct Case {
    const char* what;
    Bytes rgib;      // ib4, ib2, ib1, ibm
    Bytes columns;   // TCOLDESCs
    Bytes row;
    const char* finding;
    bool readable;
  };
  const Bytes row_id = Cat({Le(0x67F20003, 4), Le(0, 2), {4, 0}, Le(0x67F30003, 4), Le(4, 2), {4, 1}});
  const Case cases[] = {
      // A string column given one byte, right before the existence bitmap.
      {"one-byte string column", Cat({Le(8, 2), Le(8, 2), Le(9, 2), Le(10, 2)}),
       Cat({Le(0x0037001F, 4), Le(8, 2), {1, 2}, row_id}), Cat({Le(0x10, 4), Le(1, 4), {0x41, 0xE0}}),
       "cbData 1, expected 4", true},
      // Rows of three bytes cannot hold their 4-byte row id.
      {"three-byte rows", Cat({Le(0, 2), Le(0, 2), Le(2, 2), Le(3, 2)}),
       Cat({Le(0x67F20003, 4), Le(0, 2), {1, 0}, Le(0x67F30003, 4), Le(1, 2), {1, 1}}), Bytes{0x10, 0x01, 0xC0},
       "cannot hold a row id", false},
  };
  for (const Case& c : cases) {
    PageBuilder b(0x7C);
    uint32_t matrix = b.Add(c.row);
    uint32_t leaf = b.Add(Cat({Le(0x10, 4), Le(0, 4)}));
    uint32_t index = b.Add(Cat({{0xB5, 4, 4, 0}, Le(leaf, 4)}));
    uint8_t cols = static_cast<uint8_t>(c.columns.size() / 8);
    b.SetRoot(b.Add(Cat({{0x7C, cols}, c.rgib, Le(index, 4), Le(matrix, 4), Le(0, 4), c.columns})));
    Heap heap;
    std::string error;
    ASSERT_TRUE(heap.LoadPages({b.Finish()}, &error)) << c.what << ": " << error;
    Table table;
    std::vector<std::string> problems;
    bool read = ReadTc(heap, &table, &error, &problems);
    std::string all = error;
    for (const std::string& p : problems) all += "\n" + p;
    EXPECT_EQ(read, c.readable) << c.what << ": " << all;
    EXPECT_NE(all.find(c.finding), std::string::npos) << c.what << ": " << all;
  }
}

}  // namespace
}  // namespace pst::check
