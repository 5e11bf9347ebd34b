// Record bytes: head, entry forms and data area.
#include "tests/support/dbxgen/record.h"

#include <gtest/gtest.h>

#include "tests/support/dbxgen/test_bytes.h"

namespace dbxgen {
namespace {

using testing::EntryAt;
using testing::U32;
using testing::U64;
using testing::U8;

TEST(RecordTest, HeadCountsEntriesAndSizesTheBody) {
  RecordOptions options;
  options.own_offset = 0x2E10;
  auto record = BuildRecord({Field::Number(0x00, 2), Field::Text(0x08, "Hi")}, options);
  ASSERT_TRUE(record.ok()) << record.status().message();
  const std::string& r = record.value();
  EXPECT_EQ(U32(r, 0), 0x2E10u);
  EXPECT_EQ(U8(r, 10), 2);
  // Two entries and "Hi\0", padded to a multiple of 4.
  EXPECT_EQ(U32(r, 4), 12u);
  EXPECT_EQ(r.size(), 24u);
  EXPECT_EQ(r.size() % 4, 0u);
}

TEST(RecordTest, AutoStorageKeepsSmallNumbersDirectAndTheRestIndirect) {
  auto record = BuildRecord({Field::Number(0x01, 0x000080), Field::Number(0x01, 0x01000081),
                             Field::Text(0x08, "Subject"), Field::Date(0x02, 0x01C2B1A7D6A8C000)},
                            {});
  ASSERT_TRUE(record.ok());
  const std::string& r = record.value();
  auto small = EntryAt(r, 0, 0);
  EXPECT_TRUE(small.direct);
  EXPECT_EQ(small.value, 0x80u);
  auto large = EntryAt(r, 0, 1);
  EXPECT_FALSE(large.direct);
  EXPECT_EQ(U32(r, large.data_offset), 0x01000081u);
  auto text = EntryAt(r, 0, 2);
  EXPECT_FALSE(text.direct);
  EXPECT_EQ(testing::CString(r, text.data_offset), "Subject");
  auto date = EntryAt(r, 0, 3);
  EXPECT_FALSE(date.direct);
  EXPECT_EQ(U64(r, date.data_offset), 0x01C2B1A7D6A8C000u);
  // Data follows in entry order: number (4), text (8 with its zero), date.
  EXPECT_EQ(large.value, 0u);
  EXPECT_EQ(text.value, 4u);
  EXPECT_EQ(date.value, 12u);
}

TEST(RecordTest, DirectFormsCarryTheirValueBytes) {
  auto record = BuildRecord({Field::Text(0x02, "New", Storage::kDirect),
                             Field::Text(0x08, std::string("A\0C", 3), Storage::kDirect),
                             Field::Number(0x03, 0x12345678, Storage::kDirect),
                             Field::Date(0x12, 0x0102030405, Storage::kDirect)},
                            {});
  ASSERT_TRUE(record.ok());
  const std::string& r = record.value();
  EXPECT_EQ(U32(r, 12), 0x77654E82u);  // 0x82, 'N', 'e', 'w'
  EXPECT_EQ(U32(r, 16), 0x43004188u);  // 0x88, 'A', 0, 'C'
  EXPECT_EQ(U32(r, 20), 0x34567883u);  // low 24 bits only
  EXPECT_EQ(U32(r, 24), 0x03040592u);
  EXPECT_EQ(U32(r, 4), 16u);           // no data area
}

TEST(RecordTest, ForcedIndirectNumbersAndRawBytes) {
  RecordOptions options;
  options.data_prefix = std::string(16, '\x5A');
  auto record = BuildRecord({Field::Number(0x07, 20000000, Storage::kIndirect),
                             Field::Number(0x00, 5, Storage::kIndirect), Field::Raw(0x08, "xyz")},
                            options);
  ASSERT_TRUE(record.ok());
  const std::string& r = record.value();
  auto count = EntryAt(r, 0, 0);
  EXPECT_EQ(count.value, 16u);  // after the prefix
  EXPECT_EQ(U32(r, count.data_offset), 20000000u);
  auto raw = EntryAt(r, 0, 2);
  EXPECT_EQ(r.substr(raw.data_offset, 3), "xyz");
  EXPECT_EQ(U8(r, 12 + 12), 0x5A);  // prefix kept at the start of the data area
}

TEST(RecordTest, RejectsWhatARecordCannotHold) {
  EXPECT_FALSE(BuildRecord({Field::Number(0x80, 1)}, {}).ok());
  EXPECT_FALSE(BuildRecord(std::vector<Field>(256, Field::Number(0, 0)), {}).ok());
  std::vector<Field> huge = {Field::Raw(0x08, std::string(0x1000000, 'x')),
                             Field::Text(0x09, "after")};
  auto result = BuildRecord(huge, {});
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.status().message().find("16 MiB"), std::string::npos);
}

}  // namespace
}  // namespace dbxgen
