// Subject prefix, importance, priority, sensitivity and header block rules.
#include "platform/mail/header_fields.h"


namespace mail {

namespace {

std::string Trimmed(std::string_view v) {
  size_t b = 0, e = v.size();
  while (b < e && (v[b] == ' ' || v[b] == '\t' || v[b] == '\r' || v[b] == '\n')) ++b;
  while (e > b && (v[e - 1] == ' ' || v[e - 1] == '\t' || v[e - 1] == '\r' || v[e - 1] == '\n')) --e;
  std::string s(v.substr(b, e - b));
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool IsLetter(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) return true;
  // Letters of other scripts ("ΑΠ: ", "Отв: "): anything above Latin-1
  // punctuation that is not a blank or a digit-like symbol.
  return c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0x3000 && c != 0xFF1A;
}

std::optional<int32_t> XPriorityLevel(std::string_view v) {
  std::string t = Trimmed(v);
  if (t.empty() || t[0] < '1' || t[0] > '5') return std::nullopt;
  return t[0] - '0';
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

SubjectParts SplitSubject(std::u16string_view subject) {
  SubjectParts parts;
  size_t n = 0;
  while (n < subject.size() && n < 4 && IsLetter(subject[n])) ++n;
  if (n >= 1 && n <= 3 && n + 1 < subject.size() && subject[n] == u':' && subject[n + 1] == u' ') {
    parts.prefix = std::u16string(subject.substr(0, n + 2));
    parts.normalized = std::u16string(subject.substr(n + 2));
  } else {
    parts.normalized = std::u16string(subject);
  }
  return parts;
}

std::optional<int32_t> ImportanceFromHeaders(const PriorityHeaders& h) {
  std::string v = Trimmed(h.importance);
  if (v == "low") return 0;
  if (v == "normal") return 1;
  if (v == "high") return 2;
  v = Trimmed(h.priority);
  if (v == "non-urgent") return 0;
  if (v == "normal") return 1;
  if (v == "urgent") return 2;
  v = Trimmed(h.x_msmail_priority);
  if (v == "low") return 0;
  if (v == "normal") return 1;
  if (v == "high") return 2;
  if (auto level = XPriorityLevel(h.x_priority)) {
    if (*level <= 2) return 2;
    if (*level == 3) return 1;
    return 0;
  }
  return std::nullopt;
}

std::optional<int32_t> PriorityFromHeaders(const PriorityHeaders& h) {
  std::string v = Trimmed(h.priority);
  if (v == "non-urgent") return -1;
  if (v == "normal") return 0;
  if (v == "urgent") return 1;
  if (auto level = XPriorityLevel(h.x_priority)) {
    if (*level <= 2) return 1;
    if (*level == 3) return 0;
    return -1;
  }
  return std::nullopt;
}

std::optional<int32_t> SensitivityFromHeader(std::string_view value) {
  std::string v = Trimmed(value);
  if (v == "personal") return 1;
  if (v == "private") return 2;
  if (v == "company-confidential") return 3;
  return std::nullopt;
}

HeaderBlock FindHeaderBlock(std::string_view m) {
  HeaderBlock block;
  size_t line_start = 0;
  while (line_start < m.size()) {
    size_t nl = m.find('\n', line_start);
    size_t line_end = nl == std::string_view::npos ? m.size() : nl;
    std::string_view line = m.substr(line_start, line_end - line_start);
    if (line.empty() || line == "\r") {
      block.headers = m.substr(0, line_start);
      block.body_offset = nl == std::string_view::npos ? m.size() : nl + 1;
      return block;
    }
    if (nl == std::string_view::npos) break;
    line_start = nl + 1;
  }
  block.headers = m;
  block.body_offset = m.size();
  return block;
}

std::optional<std::vector<HeaderField>> SplitPlainHeaderBlock(std::string_view headers) {
  std::vector<HeaderField> fields;
  // A field ends where the next begins: each is cut to its length then.
  auto close_last = [&](size_t end) {
    if (fields.empty()) return;
    HeaderField& f = fields.back();
    const size_t text_at = static_cast<size_t>(f.text.data() - headers.data());
    const size_t value_at = static_cast<size_t>(f.value.data() - headers.data());
    f.text = headers.substr(text_at, end - text_at);
    f.value = headers.substr(value_at, end - value_at);
  };
  size_t pos = 0;
  while (pos < headers.size()) {
    const size_t nl = headers.find('\n', pos);
    if (nl == std::string_view::npos) return std::nullopt;
    std::string_view line = headers.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos) return std::nullopt;
    if (line.starts_with(' ') || line.starts_with('\t')) {
      if (fields.empty() || line.find_first_not_of(" \t") == std::string_view::npos) return std::nullopt;
    } else {
      size_t n = 0;
      while (n < line.size() && (IsAsciiAlnum(line[n]) || line[n] == '-' || line[n] == '_')) ++n;
      if (n == 0 || n == line.size() || line[n] != ':') return std::nullopt;
      close_last(pos);
      fields.push_back({headers.substr(pos, n), headers.substr(pos + n + 1), headers.substr(pos)});
    }
    pos = nl + 1;
  }
  if (fields.empty()) return std::nullopt;
  close_last(headers.size());
  return fields;
}

std::string TrimBlanks(std::string_view v) {
  size_t b = 0, e = v.size();
  while (b < e && (v[b] == ' ' || v[b] == '\t' || v[b] == '\r' || v[b] == '\n')) ++b;
  while (e > b && (v[e - 1] == ' ' || v[e - 1] == '\t' || v[e - 1] == '\r' || v[e - 1] == '\n')) --e;
  return std::string(v.substr(b, e - b));
}

std::string UnfoldValue(std::string_view v) {
  std::string out;
  bool blank = false;
  for (char c : TrimBlanks(v)) {
    if (c == '\r' || c == '\n' || c == '\t' || c == ' ') {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

std::string RawField(std::string_view headers, std::string_view name) {
  std::string found;
  size_t pos = 0;
  while (pos < headers.size()) {
    size_t end = headers.find('\n', pos);
    end = end == std::string_view::npos ? headers.size() : end + 1;
    std::string_view line = headers.substr(pos, end - pos);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        EqualNoCase(line.substr(0, name.size()), name)) {
      size_t field_end = end;
      while (field_end < headers.size() && (headers[field_end] == ' ' || headers[field_end] == '\t')) {
        size_t next = headers.find('\n', field_end);
        field_end = next == std::string_view::npos ? headers.size() : next + 1;
      }
      found = std::string(headers.substr(pos, field_end - pos));
      end = field_end;
    }
    pos = end;
  }
  return found;
}

}  // namespace mail
