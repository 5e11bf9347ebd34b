// Calendar arithmetic for FILETIME values; see filetime.h.
#include "tests/support/dbxgen/filetime.h"

namespace dbxgen {

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  // Count from 1 March of year 0, so the leap day ends a year.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

uint64_t FileTimeFromCivil(int64_t year, unsigned month, unsigned day, unsigned hour,
                           unsigned minute, unsigned second, unsigned millisecond) {
  int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return FileTimeFromUnix(seconds) + static_cast<uint64_t>(millisecond) * 10'000;
}

uint64_t FileTimeFromUnix(int64_t seconds) {
  return static_cast<uint64_t>(seconds + kUnixEpochSeconds) * kTicksPerSecond;
}

}  // namespace dbxgen
