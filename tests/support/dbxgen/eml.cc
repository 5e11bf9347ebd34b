// Header parsing for Internet messages; see eml.h.
#include "tests/support/dbxgen/eml.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "tests/support/dbxgen/filetime.h"

namespace dbxgen {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

struct HeaderField {
  std::string name;  // lower case
  std::string value;
};

// Unfolded header fields of a CR LF text, and the offset where the body starts.
std::vector<HeaderField> ParseHeader(std::string_view text, std::size_t& body_start) {
  std::vector<HeaderField> fields;
  std::size_t at = 0;
  body_start = text.size();
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    std::size_t next = std::min(end + 2, text.size());
    if (line.empty()) {
      body_start = next;
      break;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
      fields.back().value += line;
    } else {
      std::size_t colon = line.find(':');
      if (colon != std::string_view::npos) {
        fields.push_back({Lower(Trim(line.substr(0, colon))), std::string(line.substr(colon + 1))});
      }
    }
    at = next;
  }
  for (HeaderField& field : fields) field.value = std::string(Trim(field.value));
  return fields;
}

const std::string* Find(const std::vector<HeaderField>& fields, std::string_view name) {
  for (const HeaderField& field : fields) {
    if (field.name == name) return &field.value;
  }
  return nullptr;
}

// Windows-1252 bytes 0x80 to 0x9F and the characters they stand for.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char AnsiOf(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<char>(code_point);
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] != 0 && kCp1252High[i] == code_point) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::string Utf8ToAnsi(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= bytes.size()) {
      out.push_back('?');
      ++i;
      continue;
    }
    uint32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    out.push_back(AnsiOf(cp));
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = Base64Value(c);
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQ(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out.push_back(' ');
    } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// Decodes one encoded word "=?charset?X?text?=" whose inside is `word`.
std::optional<std::string> DecodeWord(std::string_view word) {
  std::size_t q1 = word.find('?');
  if (q1 == std::string_view::npos || q1 + 2 >= word.size() || word[q1 + 2] != '?') {
    return std::nullopt;
  }
  std::string charset = Lower(word.substr(0, q1));
  std::size_t star = charset.find('*');  // RFC 2231 language suffix
  if (star != std::string::npos) charset.resize(star);
  char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(word[q1 + 1])));
  std::string_view payload = word.substr(q1 + 3);
  std::string bytes;
  if (encoding == 'B') {
    bytes = DecodeBase64(payload);
  } else if (encoding == 'Q') {
    bytes = DecodeQ(payload);
  } else {
    return std::nullopt;
  }
  if (charset == "utf-8" || charset == "utf8") return Utf8ToAnsi(bytes);
  if (charset == "iso-8859-1" || charset == "windows-1252" || charset == "us-ascii" ||
      charset == "latin1") {
    return bytes;
  }
  for (char& c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return bytes;
}

// Outlook Express keeps the subject without reply and forward prefixes as
// the original subject.
std::string StripPrefixes(std::string subject) {
  while (true) {
    std::string lower = Lower(subject.substr(0, 5));
    std::size_t cut = 0;
    if (lower.rfind("re:", 0) == 0) cut = 3;
    else if (lower.rfind("fw:", 0) == 0) cut = 3;
    else if (lower.rfind("fwd:", 0) == 0) cut = 4;
    if (cut == 0) return subject;
    subject = std::string(Trim(subject.substr(cut)));
  }
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix_lower) {
  if (text.size() < prefix_lower.size()) return false;
  for (std::size_t i = 0; i < prefix_lower.size(); ++i) {
    if (AsciiLower(text[i]) != prefix_lower[i]) return false;
  }
  return true;
}

// Flags shown by the MIME header lines of any part: attachments and signatures.
uint32_t MimeFlags(std::string_view text) {
  uint32_t flags = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (StartsWithNoCase(line, "content-")) {
      std::string lower = Lower(line);
      if (lower.rfind("content-disposition:", 0) == 0 &&
          lower.find("attachment") != std::string::npos) {
        flags |= kFlagAttachment;
      }
      if (lower.find("multipart/signed") != std::string::npos ||
          lower.find("pkcs7-signature") != std::string::npos) {
        flags |= kFlagSigned;
      }
    }
    at = end + 1;
  }
  return flags;
}

}  // namespace

std::string ToCrLf(std::string_view text) {
  bool clean = true;
  for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
       at = text.find_first_of("\r\n", at + 2)) {
    if (text[at] != '\r' || at + 1 >= text.size() || text[at + 1] != '\n') {
      clean = false;
      break;
    }
  }
  if (clean) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string DecodeHeaderText(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  bool last_was_word = false;
  std::string pending_space;
  while (at < text.size()) {
    std::size_t start = text.find("=?", at);
    std::size_t end = start == std::string_view::npos ? std::string_view::npos
                                                       : text.find("?=", start + 2);
    // The "?=" must come after the charset and encoding parts.
    while (end != std::string_view::npos && std::count(text.begin() + start + 2,
                                                       text.begin() + end, '?') < 2) {
      end = text.find("?=", end + 1);
    }
    std::optional<std::string> decoded;
    if (start != std::string_view::npos && end != std::string_view::npos) {
      decoded = DecodeWord(text.substr(start + 2, end - start - 2));
    }
    if (!decoded) {
      std::string_view plain = text.substr(at);
      if (start != std::string_view::npos) plain = text.substr(at, start + 2 - at);
      out += plain;
      at += plain.size();
      last_was_word = false;
      continue;
    }
    std::string_view between = text.substr(at, start - at);
    // White space between two encoded words is not part of the text.
    if (!(last_was_word && Trim(between).empty())) out += between;
    out += *decoded;
    at = end + 2;
    last_was_word = true;
  }
  return out;
}

std::optional<uint64_t> ParseRfc5322Date(std::string_view text) {
  std::string cleaned;
  int depth = 0;
  for (char c : text) {
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    else if (depth == 0) cleaned.push_back(c == ',' ? ' ' : c);
  }
  std::vector<std::string> tokens;
  for (std::size_t at = 0; at < cleaned.size();) {
    while (at < cleaned.size() && std::isspace(static_cast<unsigned char>(cleaned[at]))) ++at;
    std::size_t end = at;
    while (end < cleaned.size() && !std::isspace(static_cast<unsigned char>(cleaned[end]))) ++end;
    if (end > at) tokens.push_back(cleaned.substr(at, end - at));
    at = end;
  }
  std::size_t i = 0;
  if (i < tokens.size() && std::isalpha(static_cast<unsigned char>(tokens[i][0]))) ++i;
  if (i + 3 >= tokens.size()) return std::nullopt;
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string& day_text = tokens[i];
  std::string month_text = Lower(tokens[i + 1]).substr(0, 3);
  const std::string& year_text = tokens[i + 2];
  const std::string& time_text = tokens[i + 3];
  unsigned month = 0;
  for (unsigned m = 0; m < 12; ++m) {
    if (month_text == kMonths[m]) month = m + 1;
  }
  if (month == 0 || day_text.empty() || !std::isdigit(static_cast<unsigned char>(day_text[0])) ||
      year_text.empty() || !std::isdigit(static_cast<unsigned char>(year_text[0]))) {
    return std::nullopt;
  }
  unsigned day = static_cast<unsigned>(std::atoi(day_text.c_str()));
  int64_t year = std::atoll(year_text.c_str());
  if (year_text.size() <= 2) year += year < 50 ? 2000 : 1900;
  else if (year_text.size() == 3) year += 1900;
  unsigned hour = 0, minute = 0, second = 0;
  if (std::sscanf(time_text.c_str(), "%u:%u:%u", &hour, &minute, &second) < 2) {
    return std::nullopt;
  }
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || year < 1601 ||
      year > 30000) {
    return std::nullopt;
  }
  int64_t offset_minutes = 0;
  if (i + 4 < tokens.size()) {
    const std::string& zone = tokens[i + 4];
    if ((zone[0] == '+' || zone[0] == '-') && zone.size() == 5) {
      int value = std::atoi(zone.c_str() + 1);
      offset_minutes = (value / 100) * 60 + value % 100;
      if (zone[0] == '-') offset_minutes = -offset_minutes;
    } else {
      static const struct { const char* name; int hours; } kZones[] = {
          {"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5},
          {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
      std::string lower = Lower(zone);
      for (const auto& z : kZones) {
        if (lower == z.name) offset_minutes = z.hours * 60;
      }
    }
  }
  int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                    second - offset_minutes * 60;
  return FileTimeFromUnix(seconds);
}

Mailbox ParseMailbox(std::string_view text) {
  // The first mailbox ends at a comma outside quotes and angle brackets.
  bool quoted = false;
  int angle = 0;
  std::size_t end = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"' && (i == 0 || text[i - 1] != '\\')) quoted = !quoted;
    else if (!quoted && c == '<') ++angle;
    else if (!quoted && c == '>' && angle > 0) --angle;
    else if (!quoted && angle == 0 && c == ',') {
      end = i;
      break;
    }
  }
  std::string_view first = Trim(text.substr(0, end));
  Mailbox box;
  std::size_t open = first.rfind('<');
  std::size_t close = first.rfind('>');
  std::string name;
  if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
    box.address = std::string(Trim(first.substr(open + 1, close - open - 1)));
    name = std::string(Trim(first.substr(0, open)));
  } else {
    std::size_t paren = first.find('(');
    std::size_t paren_end = first.rfind(')');
    if (paren != std::string_view::npos && paren_end != std::string_view::npos &&
        paren_end > paren) {
      name = std::string(Trim(first.substr(paren + 1, paren_end - paren - 1)));
      box.address = std::string(Trim(first.substr(0, paren)));
    } else {
      box.address = std::string(first);
    }
  }
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      if (name[i] == '\\' && i + 2 < name.size()) ++i;
      unquoted.push_back(name[i]);
    }
    name = unquoted;
  }
  box.name = DecodeHeaderText(name);
  return box;
}

Message MessageFromEml(std::string_view raw, const EmlDefaults& defaults) {
  Message message;
  message.text = ToCrLf(raw);
  std::size_t body_start = 0;
  std::vector<HeaderField> header = ParseHeader(message.text, body_start);

  std::string subject;
  if (const std::string* value = Find(header, "subject")) subject = DecodeHeaderText(*value);
  message.subject = subject;
  message.orig_subject = StripPrefixes(subject);
  if (const std::string* value = Find(header, "from")) {
    Mailbox from = ParseMailbox(*value);
    message.sender_name = from.name.empty() ? from.address : from.name;
    message.sender_addr = from.address;
    message.sender_addr_name =
        from.name.empty() ? from.address : "\"" + from.name + "\" <" + from.address + ">";
  }
  if (const std::string* value = Find(header, "to")) {
    Mailbox to = ParseMailbox(*value);
    message.recipient_name = to.name.empty() ? to.address : to.name;
    message.recipient_addr = to.address;
  }
  if (const std::string* value = Find(header, "message-id")) message.message_id = *value;
  if (const std::string* value = Find(header, "in-reply-to")) {
    message.answer_message_id = *value;
  } else if (const std::string* refs = Find(header, "references")) {
    std::size_t open = refs->rfind('<');
    if (open != std::string::npos) message.answer_message_id = refs->substr(open);
  }

  uint32_t flags = defaults.flags;
  if (const std::string* value = Find(header, "newsgroups")) {
    message.newsgroup = *value;
    flags |= kFlagNewsPosting;
  }
  uint64_t sent = defaults.fallback_date;
  if (const std::string* value = Find(header, "date")) {
    if (auto parsed = ParseRfc5322Date(*value)) sent = *parsed;
  }
  message.date_created = sent;
  message.date_received = sent + static_cast<uint64_t>(defaults.receive_delay_seconds) *
                                     kTicksPerSecond;
  message.date_saved = *message.date_received;

  uint32_t priority = 3;
  if (const std::string* value = Find(header, "x-priority")) {
    int level = std::atoi(value->c_str());
    if (level == 1 || level == 2) priority = 1;
    if (level == 4 || level == 5) priority = 5;
  }
  message.priority = priority;

  flags |= MimeFlags(message.text);
  message.flags = flags;

  uint32_t lines = 0;
  for (std::size_t at = message.text.find("\r\n", body_start); at != std::string::npos;
       at = message.text.find("\r\n", at + 2)) {
    ++lines;
  }
  message.lines = lines;
  message.account = defaults.account;
  message.server = defaults.server;
  message.registry_key = defaults.registry_key;
  return message;
}

}  // namespace dbxgen
