// Reading a message's date from its header block; the date texts themselves
// are decoded by GMime, which knows the many forms mail software wrote.
#include "converter/engine/message_date.h"

#include <gmime/gmime.h>
#include <strings.h>


#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/mail/gmime_util.h"
#include "platform/os/file.h"

namespace tollan {

namespace {

constexpr size_t kMaxHeaderBytes = 1 << 20;
constexpr size_t kReadChunk = 16 * 1024;
constexpr int64_t kMaxSeconds = 253402300799;  // 9999-12-31 23:59:59

std::optional<int64_t> DecodeDate(const std::string& text) {
  mail::EnsureGMimeInitialized();  // once for the process, with the imports
  GDateTime* dt = g_mime_utils_header_decode_date(text.c_str());
  if (dt == nullptr) return std::nullopt;
  int64_t seconds = g_date_time_to_unix(dt);
  g_date_time_unref(dt);
  // GMime answers an unreadable date with the epoch; so do broken senders.
  if (seconds <= 0 || seconds > kMaxSeconds) return std::nullopt;
  return seconds;
}

bool IsDateField(std::string_view name) {
  return name.size() == 4 && strncasecmp(name.data(), "Date", 4) == 0;
}

bool IsReceivedField(std::string_view name) {
  return name.size() == 8 && strncasecmp(name.data(), "Received", 8) == 0;
}

struct DateField {
  bool is_date;       // else a Received field
  std::string value;  // unfolded
};

// The Date and Received fields of the header block, unfolded, in order.
std::vector<DateField> DateFields(std::string_view message) {
  std::vector<DateField> fields;
  bool continues = false;  // the last field is one of them and may go on
  size_t pos = 0;
  const size_t limit = std::min(message.size(), kMaxHeaderBytes);
  while (pos < limit) {
    size_t eol = message.find('\n', pos);
    if (eol == std::string_view::npos || eol > limit) eol = limit;
    std::string_view line = message.substr(pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = eol + 1;
    if (line.empty()) break;  // end of the header block
    if (line[0] == ' ' || line[0] == '\t') {
      if (continues) {
        fields.back().value += ' ';
        fields.back().value += line.substr(1);
      }
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;  // not a field: the last one goes on
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    const bool is_date = IsDateField(name);
    continues = is_date || IsReceivedField(name);
    if (continues) fields.push_back({is_date, std::string(line.substr(colon + 1))});
  }
  return fields;
}

}  // namespace

std::optional<int64_t> MessageDateFromHeaders(std::string_view message) {
  std::optional<int64_t> received;
  for (const auto& [is_date, value] : DateFields(message)) {
    if (is_date) {
      if (auto d = DecodeDate(value)) return d;
    } else {
      size_t semi = value.rfind(';');
      if (semi == std::string::npos) continue;
      if (auto d = DecodeDate(value.substr(semi + 1))) {
        if (!received || *d > *received) received = d;
      }
    }
  }
  return received;
}

std::optional<int64_t> MessageDateFromFile(const std::string& path) {
  int fd = os::OpenForReading(path);
  if (fd < 0) return std::nullopt;
  // Read until the blank line that ends the header block (or the limit);
  // most header blocks fit the first read.
  std::string head;
  while (head.size() < kMaxHeaderBytes) {
    const size_t old_size = head.size();
    head.resize(old_size + kReadChunk);
    const long long n = os::Read(fd, head.data() + old_size, kReadChunk);
    head.resize(old_size + static_cast<size_t>(std::max<long long>(n, 0)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const size_t from = old_size >= 2 ? old_size - 2 : 0;
    if (head.find("\n\n", from) != std::string::npos || head.find("\n\r\n", from) != std::string::npos) break;
  }
  os::Close(fd);
  return MessageDateFromHeaders(head);
}

uint64_t UnixToFiletime(int64_t seconds) {
  return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

}  // namespace tollan
