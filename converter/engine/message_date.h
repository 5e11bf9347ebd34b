// The date of an Internet message from its header block: the Date header,
// or, when it is missing or cannot be read, the newest date among the
// Received headers.
#ifndef TOLLAN_CONVERTER_ENGINE_MESSAGE_DATE_H_
#define TOLLAN_CONVERTER_ENGINE_MESSAGE_DATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tollan {

// Seconds since 1970-01-01 UTC, or nullopt when neither header gives a
// readable date (or only one before 1970 or after 9999).
std::optional<int64_t> MessageDateFromHeaders(std::string_view message);

// The same for the file at `path` (only its header block is read).
std::optional<int64_t> MessageDateFromFile(const std::string& path);

// Seconds since 1970 as FILETIME ticks (100 ns since 1601).
uint64_t UnixToFiletime(int64_t seconds);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_MESSAGE_DATE_H_
