// FILETIME, calendar and automation-date conversions on the proleptic
// Gregorian calendar.
#include "reader/dbx/date_time.h"

#include <cmath>
#include <cstdio>

namespace dbx {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr uint64_t kTicksPerSecond = 10000000;

// Days since 1 January 1970 of a civil date.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The civil date of a day count since 1 January 1970.
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  *year = static_cast<int>(yoe + era * 400 + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

constexpr int64_t kFileTimeEpochDays = DaysFromCivil(1601, 1, 1);
constexpr int64_t kAutomationEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

std::optional<CalendarTime> FileTimeToCalendar(uint64_t filetime) {
  if (filetime >= (uint64_t{1} << 63)) return std::nullopt;
  const int64_t seconds = static_cast<int64_t>(filetime / kTicksPerSecond);
  const int64_t days = seconds / kSecondsPerDay;
  const int64_t in_day = seconds % kSecondsPerDay;
  CalendarTime t;
  CivilFromDays(kFileTimeEpochDays + days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(in_day / 3600);
  t.minute = static_cast<int>(in_day / 60 % 60);
  t.second = static_cast<int>(in_day % 60);
  return t;
}

std::optional<double> CalendarToAutomationDate(const CalendarTime& t) {
  if (t.year < 100 || t.year > 9999) return std::nullopt;
  const int64_t day = DaysFromCivil(t.year, t.month, t.day) - kAutomationEpochDays;
  const double fraction = (t.hour * 3600 + t.minute * 60 + t.second) / double(kSecondsPerDay);
  // Before the epoch the fraction still counts forward from midnight, so it
  // is subtracted from the (negative) day number.
  return day >= 0 ? day + fraction : day - fraction;
}

std::optional<double> FileTimeToAutomationDate(uint64_t filetime) {
  std::optional<CalendarTime> t = FileTimeToCalendar(filetime);
  if (!t) return std::nullopt;
  return CalendarToAutomationDate(*t);
}

CalendarTime AutomationDateToCalendar(double date) {
  double whole = std::trunc(date);
  int64_t day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    day += 1;
  }
  CalendarTime t;
  CivilFromDays(kAutomationEpochDays + day, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::string FormatIso8601(double date) {
  CalendarTime t = AutomationDateToCalendar(date);
  char text[40];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

}  // namespace dbx
