// Tests of reading a message's date from its headers.
#include "converter/engine/message_date.h"

#include <gtest/gtest.h>

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

TEST(MessageDateTest, FiletimeConversion) {
  EXPECT_EQ(UnixToFiletime(0), 116444736000000000ull);
}

}  // namespace
}  // namespace tollan
