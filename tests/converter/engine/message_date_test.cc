// Tests of reading a message's date from its headers.
#include "converter/engine/message_date.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "converter/engine/components.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"

namespace tollan {
namespace {

TEST(MessageDateTest, DateHeaderWinsAndZonesAreApplied) {
  EXPECT_EQ(MessageDateFromHeaders("From: a\r\nDate: Tue, 1 Mar 2005 10:00:00 +0100\r\n\r\nbody"),
            1109667600);
  EXPECT_EQ(MessageDateFromHeaders("date:\r\n  Tue, 1 Mar 2005 09:00:00 GMT\n\n"), 1109667600);
}

TEST(MessageDateTest, NewestReceivedWhenDateIsMissingOrUnreadable) {
  const char* msg =
      "Received: from b by c; Tue, 1 Mar 2005 09:00:05 +0000\r\n"
      "Received: from a by b;\r\n\tTue, 1 Mar 2005 09:00:01 +0000\r\n"
      "Date: the day before yesterday\r\n"
      "\r\n"
      "Date: Tue, 1 Mar 2011 09:00:00 +0000\r\n";
  EXPECT_EQ(MessageDateFromHeaders(msg), 1109667605);
  EXPECT_EQ(MessageDateFromHeaders("Subject: x\r\n\r\n"), std::nullopt);
  EXPECT_EQ(MessageDateFromHeaders(""), std::nullopt);
}

// A folded line belongs to the field before it, past a line that is no
// field at all, and only to that field.
TEST(MessageDateTest, FoldedLinesJoinOnlyTheirOwnField) {
  EXPECT_EQ(MessageDateFromHeaders("Date: Tue, 1 Mar 2005\r\nno field here\r\n 09:00:00 +0000\r\n\r\n"),
            1109667600);
  EXPECT_EQ(MessageDateFromHeaders("X-Date: Tue, 1 Mar 2005 09:00:00 +0000\r\n"
                                   " Date: Tue, 1 Mar 2005 09:00:00 +0000\r\n"
                                   "Received: by a;\r\nX-B: 1\r\n Tue, 1 Mar 2005 09:00:07 +0000\r\n\r\n"),
            std::nullopt);
}

// The file reader stops at the header block's end, however the reads fall,
// and the component reads a file and the same bytes in memory alike.
TEST(MessageDateTest, FileAndBytesGiveTheSameDate) {
  const std::string path = ::testing::TempDir() + "date-test-" + std::to_string(getpid()) + ".eml";
  std::string long_header = "X-Pad: " + std::string(40000, 'p') + "\r\n";
  const std::string text = long_header + "Date: Tue, 1 Mar 2005 10:00:00 +0100\r\n\r\n" + std::string(50000, 'b');
  std::ofstream(path, std::ios::binary) << text;
  EXPECT_EQ(MessageDateFromFile(path), 1109667600);
  std::ofstream(path, std::ios::binary) << "Subject: x\r\n\r\nDate: Tue, 1 Mar 2005 10:00:00 +0100\r\n";
  EXPECT_EQ(MessageDateFromFile(path), std::nullopt);
  EXPECT_EQ(MessageDateFromFile(path + ".missing"), std::nullopt);

  std::ofstream(path, std::ios::binary) << text;
  com::ComPtr<IEmlDateParser> parser;
  ASSERT_EQ(CreateEngineComponent(CLSID_EmlDateParser, IID_IEmlDateParser, parser.OutVoid()), S_OK);
  com::Bstr bpath(path.c_str());
  LONG status = -1;
  DATE from_file = 0, from_bytes = 0;
  ASSERT_EQ(parser->LoadFile(bpath.get(), &status), S_OK);
  EXPECT_EQ(parser->MessageDate(&from_file), S_OK);
  ASSERT_EQ(parser->LoadBytes(text.data(), static_cast<LONG>(text.size()), &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(parser->MessageDate(&from_bytes), S_OK);
  EXPECT_EQ(from_file, from_bytes);
  EXPECT_DOUBLE_EQ(from_bytes, 25569.0 + 1109667600 / 86400.0);
  ASSERT_EQ(parser->LoadBytes("Subject: none\r\n\r\n", 17, &status), S_OK);
  EXPECT_EQ(parser->MessageDate(&from_bytes), S_FALSE);
  std::remove(path.c_str());
}

TEST(MessageDateTest, FiletimeConversion) {
  EXPECT_EQ(UnixToFiletime(0), 116444736000000000ull);
}

}  // namespace
}  // namespace tollan
