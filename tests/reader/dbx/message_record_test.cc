// Message record decoding: field forms, flags, the 2-byte shift, body
// positions, dates, and damaged records that must still decode.
#include "reader/dbx/message_record.h"

#include <gtest/gtest.h>

#include "reader/dbx/date_time.h"
#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

using testing::DbxImage;
using testing::Direct;
using testing::Indirect;
using testing::Le32;
using testing::Le64;
using testing::Sz;

constexpr uint32_t kAt = 0x3000;

DbxMessage Decode(DbxImage& image, uint32_t at = kAt) {
  MemorySource source(image.bytes());
  DbxMessage m;
  DbxStatus s = DecodeMessageRecord(source, at, &m);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return m;
}

void ExpectAllDefaults(const DbxMessage& m) {
  EXPECT_EQ(m.flags, 0u);
  EXPECT_EQ(m.body_position, 0u);
  EXPECT_FALSE(m.body_unreadable);
  EXPECT_EQ(m.date_created, 0);
  EXPECT_EQ(m.date_saved, 0);
  EXPECT_EQ(m.date_received, 0);
  EXPECT_EQ(m.subject, "");
  EXPECT_EQ(m.sender_addr, "");
  EXPECT_EQ(m.message_lines, 0);
  EXPECT_EQ(m.message_priority, 0);
}

TEST(MessageFlagsTest, DirectFlagWordSetsItsBits) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Direct(0x01, 0x4080)});
  DbxMessage m = Decode(image);
  EXPECT_TRUE(m.decoded);
  EXPECT_TRUE(m.message_read());
  EXPECT_TRUE(m.attachment_present());
  EXPECT_FALSE(m.message_marked() || m.pending_changes() || m.news_posting() ||
               m.digitally_signed() || m.thread_watched() || m.thread_ignored());
  EXPECT_EQ(m.subject, "");
  EXPECT_EQ(m.date_created, 0);

  image.Record(kAt, {Direct(0x01, 0xC00000)});
  m = Decode(image);
  EXPECT_TRUE(m.thread_watched());
  EXPECT_TRUE(m.thread_ignored());
  EXPECT_FALSE(m.message_read());

  image.Record(kAt, {Direct(0x01, 0x1828)});
  m = Decode(image);
  EXPECT_TRUE(m.pending_changes() && m.message_marked() && m.news_posting() &&
              m.digitally_signed());
}

TEST(MessageFlagsTest, IndirectFlagWordIsReadFromTheDataArea) {
  // A flag word needing more than 24 bits is stored as a 4-byte value; the
  // entry holds its data offset (4 here), which must not be taken as flags.
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Indirect(0x01, 4)}, Le32(0xFFFFFFFF) + Le32(0x014040A0));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.flags, 0x014040A0u);
  EXPECT_TRUE(m.message_read());
  EXPECT_TRUE(m.message_marked());
  EXPECT_TRUE(m.attachment_present());
  EXPECT_TRUE(m.thread_watched());
  EXPECT_FALSE(m.thread_ignored());
  EXPECT_FALSE(m.pending_changes());
}

TEST(MessageNumbersTest, IndirectNumbersAndPriority) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Indirect(0x03, 16), Direct(0x10, 0x000305)},
               std::string(16, 'x') + Le32(123456789));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.message_lines, 123456789);
  EXPECT_EQ(m.message_priority, 5);
}

TEST(MessageTextTest, DirectAndIndirectTexts) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt,
               {Direct(0x0D, 0x430041), Direct(0x0E, 0x424100), Direct(0x0C, 0x434241),
                Direct(0x0B, 0x004241), Indirect(0x08, 0), Indirect(0x05, 6),
                Indirect(0x07, 12), Indirect(0x09, 12), Indirect(0x0A, 12), Indirect(0x13, 12),
                Indirect(0x14, 12), Indirect(0x1A, 12), Indirect(0x1B, 12)},
               Sz("First") + Sz("Orig.") + Sz("<id@x>"));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.sender_name, "A");  // bytes 41 00 43
  EXPECT_EQ(m.sender_addr, "");   // bytes 00 41 42
  EXPECT_EQ(m.server, "ABC");
  EXPECT_EQ(m.newsgroup, "AB");
  EXPECT_EQ(m.subject, "First");
  EXPECT_EQ(m.orig_subject, "Orig.");
  for (const std::string* t : {&m.message_id, &m.sender_addr_name, &m.answer_message_id,
                               &m.recipient_name, &m.recipient_addr, &m.mail_account,
                               &m.registry_key}) {
    EXPECT_EQ(*t, "<id@x>");
  }
}

TEST(MessageTextTest, LaterEntryOfTheSameFieldWins) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Indirect(0x08, 0), Indirect(0x08, 6)}, Sz("First") + Sz("Second"));
  EXPECT_EQ(Decode(image).subject, "Second");
}

TEST(MessageTextTest, UnterminatedTextIsCutAtItsWindow) {
  DbxImage image(kFolderFileKind);
  uint32_t data = image.Record(kAt, {Direct(0x01, 0x80), Indirect(0x08, 0)}, "");
  image.PutBytes(data, std::string(9000, 'S'));
  image.Put8(data + 9000, 0);
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.subject, std::string(kMessageTextWindow, 'S'));
  EXPECT_TRUE(m.damage & kDamageUnterminatedText);
  EXPECT_TRUE(m.message_read());

  // A text running into the end of the file ends there.
  image.bytes().resize(data + 10);
  m = Decode(image);
  EXPECT_EQ(m.subject, std::string(10, 'S'));
  EXPECT_FALSE(m.damage & kDamageUnterminatedText);
}

TEST(MessageRecordTest, RecordFoundTwoBytesLaterIsDecodedShifted) {
  DbxImage image(kFolderFileKind);
  // The indexed offset is kAt; the record itself starts at kAt + 2 and
  // names kAt as its own offset.
  image.Record(kAt + 2, {Direct(0x01, 0x80), Indirect(0x08, 0)}, Sz("Shifted"), kAt);
  DbxMessage m = Decode(image);
  EXPECT_TRUE(m.decoded);
  EXPECT_EQ(m.shift, 2u);
  EXPECT_EQ(m.subject, "Shifted");
  EXPECT_TRUE(m.message_read());
}

TEST(MessageRecordTest, RecordWithoutItsOwnOffsetKeepsDefaults) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Direct(0x01, 0x80), Direct(0x04, 8)}, "", kAt + 4);
  DbxMessage m = Decode(image);
  EXPECT_FALSE(m.decoded);
  ExpectAllDefaults(m);

  DbxMessage far = Decode(image, 0x7FFFFF00);  // past the end of the file
  EXPECT_FALSE(far.decoded);
}

TEST(MessageBodyPositionTest, DirectPositionsAndTheEightOrTwelveRule) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Direct(0x04, 0x123456)});
  EXPECT_EQ(Decode(image).body_position, 0x123456u);

  // 8 and 12 name a place in the data area that holds the position.
  image.Record(kAt, {Direct(0x04, 8)}, Le32(0) + Le32(0) + Le32(0x5000));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.body_position, 0x5000u);
  EXPECT_FALSE(m.body_unreadable);

  image.Record(kAt, {Direct(0x04, 12)}, Le32(0) + Le32(0) + Le32(0) + Le32(12));
  m = Decode(image);
  EXPECT_EQ(m.body_position, 12u);
  EXPECT_TRUE(m.body_unreadable);
}

TEST(MessageBodyPositionTest, IndirectPositionIsReadFromItsDataOffset) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Indirect(0x04, 4)}, Le32(0) + Le32(0x01020304));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.body_position, 0x01020304u);
  EXPECT_FALSE(m.body_unreadable);

  image.Record(kAt, {Indirect(0x04, 0)}, Le32(8));
  EXPECT_TRUE(Decode(image).body_unreadable);

  image.Record(kAt, {Direct(0x01, 0)});  // no body position at all
  m = Decode(image);
  EXPECT_EQ(m.body_position, 0u);
  EXPECT_FALSE(m.body_unreadable);
}

TEST(MessageDateTest, DatesAreWholeSecondsInUtc) {
  DbxImage image(kFolderFileKind);
  // 1 January 2003 12:34:56.789 UTC, 0, and 31 December 9999 23:59:59.
  image.Record(kAt, {Indirect(0x02, 0), Indirect(0x06, 8), Indirect(0x12, 16)},
               Le64(126858980967890000) + Le64(0) + Le64(2650467743990000000));
  DbxMessage m = Decode(image);
  EXPECT_EQ(AutomationDateToCalendar(m.date_created), (CalendarTime{2003, 1, 1, 12, 34, 56}));
  EXPECT_DOUBLE_EQ(m.date_created, 37622 + (12 * 3600 + 34 * 60 + 56) / 86400.0);
  EXPECT_EQ(m.date_saved, -109205);  // 1 January 1601
  EXPECT_EQ(AutomationDateToCalendar(m.date_received), (CalendarTime{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(m.damage, 0u);
}

TEST(MessageDateTest, UnrepresentableDatesStayAtTheirDefault) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt,
               {Indirect(0x02, 0), Indirect(0x06, 8), Direct(0x12, 5), Indirect(0x08, 16),
                Direct(0x01, 0x80)},
               Le64(2650467744000000000) + Le64(0x8000000000000000) + Sz("Kept"));
  DbxMessage m = Decode(image);
  EXPECT_EQ(m.date_created, 0);   // year 10000
  EXPECT_EQ(m.date_saved, 0);     // 2^63: no calendar form
  EXPECT_EQ(m.date_received, 0);  // direct: carries no date
  EXPECT_TRUE(m.damage & kDamageBadDate);
  EXPECT_EQ(m.subject, "Kept");
  EXPECT_TRUE(m.message_read());

  // A bad later entry leaves an earlier good value of the same field.
  image.Record(kAt, {Indirect(0x02, 0), Indirect(0x02, 8)},
               Le64(126858980967890000) + Le64(0xFFFFFFFFFFFFFFFF));
  EXPECT_EQ(AutomationDateToCalendar(Decode(image).date_created).year, 2003);
}

TEST(MessageRecordTest, EntryAndDataReadsPastTheEndAreZero) {
  DbxImage image(kFolderFileKind);
  image.Record(kAt, {Direct(0x01, 0x80)});
  image.Put8(kAt + 0x0A, 40);  // 40 entries claimed, one present
  image.bytes().resize(kAt + 16);
  DbxMessage m = Decode(image);
  EXPECT_TRUE(m.decoded);
  EXPECT_TRUE(m.message_read());
}

}  // namespace
}  // namespace dbx
