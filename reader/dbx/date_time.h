// Conversion of the FILETIME stamps of message records into calendar times
// and automation dates (days since 30 December 1899, the fraction giving the
// time of day), all in UTC and to the whole second.
#ifndef TOLLAN_READER_DBX_DATE_TIME_H_
#define TOLLAN_READER_DBX_DATE_TIME_H_

#include <cstdint>
#include <optional>
#include <string>

namespace dbx {

struct CalendarTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

// The calendar parts of a FILETIME (100-nanosecond ticks since 1 January
// 1601 UTC), with the fraction of the second dropped. A FILETIME of 2^63 or
// more has no calendar form.
std::optional<CalendarTime> FileTimeToCalendar(uint64_t filetime);

// The automation date of a calendar time; none for years outside 100..9999,
// which automation dates cannot hold.
std::optional<double> CalendarToAutomationDate(const CalendarTime& t);

// FileTimeToCalendar followed by CalendarToAutomationDate.
std::optional<double> FileTimeToAutomationDate(uint64_t filetime);

// The calendar time of an automation date, rounded to the nearest second.
CalendarTime AutomationDateToCalendar(double date);

// "YYYY-MM-DDTHH:MM:SSZ" for an automation date.
std::string FormatIso8601(double date);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_DATE_TIME_H_
