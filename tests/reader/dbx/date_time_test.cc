// FILETIME and automation-date conversions.
#include "reader/dbx/date_time.h"

#include <gtest/gtest.h>

namespace dbx {
namespace {

TEST(DateTimeTest, FileTimeToCalendarDropsFractions) {
  EXPECT_EQ(FileTimeToCalendar(0), (CalendarTime{1601, 1, 1, 0, 0, 0}));
  EXPECT_EQ(FileTimeToCalendar(126858980967890000), (CalendarTime{2003, 1, 1, 12, 34, 56}));
  EXPECT_EQ(FileTimeToCalendar(0x7FFFFFFFFFFFFFFF)->year, 30828);
  EXPECT_FALSE(FileTimeToCalendar(0x8000000000000000).has_value());
}

TEST(DateTimeTest, AutomationDatesOfCalendarTimes) {
  EXPECT_EQ(CalendarToAutomationDate({1899, 12, 30, 0, 0, 0}), 0);
  EXPECT_EQ(CalendarToAutomationDate({1900, 1, 1, 18, 0, 0}), 2.75);
  // Before the epoch the time of day still counts forward.
  EXPECT_EQ(CalendarToAutomationDate({1899, 12, 29, 6, 0, 0}), -1.25);
  EXPECT_EQ(CalendarToAutomationDate({1601, 1, 1, 0, 0, 0}), -109205);
  EXPECT_FALSE(CalendarToAutomationDate({10000, 1, 1, 0, 0, 0}).has_value());
  EXPECT_FALSE(FileTimeToAutomationDate(2650467744000000000).has_value());  // year 10000
  EXPECT_TRUE(FileTimeToAutomationDate(2650467743990000000).has_value());
}

TEST(DateTimeTest, RoundTripsAndFormatting) {
  for (CalendarTime t : {CalendarTime{1601, 1, 1, 0, 0, 0}, CalendarTime{1899, 12, 29, 23, 59, 59},
                         CalendarTime{1900, 2, 28, 12, 0, 1}, CalendarTime{2000, 2, 29, 7, 8, 9},
                         CalendarTime{9999, 12, 31, 23, 59, 59}}) {
    EXPECT_EQ(AutomationDateToCalendar(*CalendarToAutomationDate(t)), t);
  }
  EXPECT_EQ(FormatIso8601(0), "1899-12-30T00:00:00Z");
  EXPECT_EQ(FormatIso8601(*FileTimeToAutomationDate(126858980967890000)), "2003-01-01T12:34:56Z");
}

}  // namespace
}  // namespace dbx
