// FILETIME values (100-nanosecond ticks since 1 January 1601, UTC) built from
// calendar parts, for the date fields of message records.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_FILETIME_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_FILETIME_H_

#include <cstdint>

namespace dbxgen {

inline constexpr uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kUnixEpochSeconds = 11'644'473'600;

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

// The FILETIME of a UTC calendar time. Years from 1601 to 30827.
uint64_t FileTimeFromCivil(int64_t year, unsigned month, unsigned day, unsigned hour = 0,
                           unsigned minute = 0, unsigned second = 0, unsigned millisecond = 0);

// The FILETIME of seconds since 1970-01-01 UTC.
uint64_t FileTimeFromUnix(int64_t seconds);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_FILETIME_H_
