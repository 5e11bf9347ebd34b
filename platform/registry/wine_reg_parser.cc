// Wine registry text files -> MemoryKey trees.
#include "platform/registry/wine_reg_parser.h"

#include <cstdint>

#include "platform/registry/text.h"
#include "platform/text/utf.h"

namespace registry {

namespace {

constexpr size_t kMaxWarnings = 10;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends the UTF-16 form of the UTF-8 character at text[*pos]; a byte that
// does not start a well-formed sequence is taken as Latin-1.
void TakeRawChar(std::string_view text, size_t* pos, std::u16string* out) {
  char32_t c;
  const size_t len = text::DecodeUtf8(text, *pos, &c);
  if (len == 0) {
    out->push_back(static_cast<unsigned char>(text[(*pos)++]));
  } else {
    text::AppendUtf16(c, out);
    *pos += len;
  }
}

// Reads escaped text from text[*pos] up to the unescaped `delim`, leaving
// *pos after the delimiter. False when the text ends first.
bool ReadEscaped(std::string_view text, size_t* pos, char delim, std::u16string* out) {
  while (*pos < text.size()) {
    char c = text[*pos];
    if (c == delim) {
      ++*pos;
      return true;
    }
    if (c != '\\') {
      TakeRawChar(text, pos, out);
      continue;
    }
    if (++*pos >= text.size()) return false;
    c = text[*pos];
    switch (c) {
      case 'a': out->push_back(7); ++*pos; break;
      case 'b': out->push_back(8); ++*pos; break;
      case 'e': out->push_back(27); ++*pos; break;
      case 'f': out->push_back(12); ++*pos; break;
      case 'n': out->push_back(10); ++*pos; break;
      case 'r': out->push_back(13); ++*pos; break;
      case 't': out->push_back(9); ++*pos; break;
      case 'v': out->push_back(11); ++*pos; break;
      case 'x': {
        ++*pos;
        unsigned value = 0;
        int digits = 0;
        while (digits < 4 && *pos < text.size() && HexDigit(text[*pos]) >= 0) {
          value = value * 16 + static_cast<unsigned>(HexDigit(text[*pos]));
          ++*pos;
          ++digits;
        }
        out->push_back(digits == 0 ? u'x' : static_cast<char16_t>(value));
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          unsigned value = 0;
          for (int digits = 0; digits < 3 && *pos < text.size() && text[*pos] >= '0' &&
                               text[*pos] <= '7';
               ++digits) {
            value = value * 8 + static_cast<unsigned>(text[*pos] - '0');
            ++*pos;
          }
          out->push_back(static_cast<char16_t>(value));
        } else {
          TakeRawChar(text, pos, out);
        }
    }
  }
  return false;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string_view TrimLeft(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return text.substr(i);
}

std::string_view TrimRight(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r')) --n;
  return text.substr(0, n);
}

// Reads a hexadecimal number of at most 8 digits at text[*pos].
bool ReadHexNumber(std::string_view text, size_t* pos, uint32_t* value) {
  size_t start = *pos;
  uint32_t result = 0;
  while (*pos < text.size() && HexDigit(text[*pos]) >= 0) {
    if (*pos - start == 8) return false;
    result = result * 16 + static_cast<uint32_t>(HexDigit(text[*pos]));
    ++*pos;
  }
  *value = result;
  return *pos > start;
}

// Reads "hh,hh,..." (1 or 2 digits a byte, blanks allowed) to the end of `text`.
bool ReadHexBytes(std::string_view text, std::string* bytes) {
  size_t pos = 0;
  auto skip_blanks = [&] {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  };
  skip_blanks();
  while (pos < text.size()) {
    uint32_t value = 0;
    size_t start = pos;
    while (pos < text.size() && pos - start < 2 && HexDigit(text[pos]) >= 0) {
      value = value * 16 + static_cast<uint32_t>(HexDigit(text[pos]));
      ++pos;
    }
    if (pos == start) return false;
    bytes->push_back(static_cast<char>(value));
    skip_blanks();
    if (pos < text.size()) {
      if (text[pos] != ',') return false;
      ++pos;
      skip_blanks();
    }
  }
  return true;
}

// The data part of a value line (after '='). Sets `remove` for "-".
bool ReadValueData(std::string_view data, RawValue* value, bool* remove, std::string* why) {
  *remove = false;
  size_t pos = 0;
  if (data == "-") {
    *remove = true;
    return true;
  }
  if (StartsWith(data, "\"") || StartsWith(data, "str(")) {
    value->type = kRegSz;
    if (data[0] == 's') {
      pos = 4;
      if (!ReadHexNumber(data, &pos, &value->type) || !StartsWith(data.substr(pos), "):\"")) {
        *why = "bad str(N) type";
        return false;
      }
      pos += 2;
    }
    ++pos;  // opening quote
    std::u16string text;
    if (!ReadEscaped(data, &pos, '"', &text)) {
      *why = "string without closing quote";
      return false;
    }
    text.push_back(u'\0');  // the file leaves out the terminating NUL
    value->data = Utf16ToLeBytes(text);
    return true;
  }
  if (StartsWith(data, "dword:")) {
    pos = 6;
    uint32_t number = 0;
    if (!ReadHexNumber(data, &pos, &number) || !TrimRight(data.substr(pos)).empty()) {
      *why = "bad dword";
      return false;
    }
    value->type = kRegDword;
    value->data.clear();
    for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    return true;
  }
  if (StartsWith(data, "hex:") || StartsWith(data, "hex(")) {
    value->type = kRegBinary;
    pos = 3;
    if (data[3] == '(') {
      pos = 4;
      if (!ReadHexNumber(data, &pos, &value->type) || !StartsWith(data.substr(pos), "):")) {
        *why = "bad hex(N) type";
        return false;
      }
      pos += 2;
    } else {
      pos = 4;
    }
    value->data.clear();
    if (!ReadHexBytes(TrimRight(data.substr(pos)), &value->data)) {
      *why = "bad hex data";
      return false;
    }
    return true;
  }
  *why = "unknown value data";
  return false;
}

class Parser {
 public:
  Parser(std::string_view text, MemoryKey* root, WineParseReport* report)
      : text_(text), root_(root), report_(report) {}

  Status Run() {
    std::string_view first = NextLine();
    if (!StartsWith(first, "WINE REGISTRY Version 2")) {
      return Status::Corrupt("not a Wine registry file (no \"WINE REGISTRY Version 2\" header)");
    }
    while (pos_ < text_.size()) {
      std::string_view line = NextLine();
      std::string joined;
      if (IsHexValueLine(line)) {
        // Hex data continues on the next line after a trailing backslash.
        joined = std::string(TrimRight(line));
        while (!joined.empty() && joined.back() == '\\' && pos_ < text_.size()) {
          joined.pop_back();
          joined += TrimLeft(NextLine());  // NextLine() has trimmed the right end
        }
        line = joined;
      }
      ParseLine(TrimLeft(line));
    }
    return Status::Ok();
  }

 private:
  std::string_view NextLine() {
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end < text_.size() ? end + 1 : end;
    ++line_number_;
    return TrimRight(line);
  }

  static bool IsHexValueLine(std::string_view line) {
    line = TrimLeft(line);
    if (line.empty() || (line[0] != '"' && line[0] != '@')) return false;
    size_t eq = line.find("=hex");
    return eq != std::string_view::npos && !TrimRight(line).empty() &&
           TrimRight(line).back() == '\\';
  }

  void Skip(const std::string& why) {
    ++report_->skipped_lines;
    if (report_->warnings.size() < kMaxWarnings) {
      report_->warnings.push_back("line " + std::to_string(line_number_) + ": " + why);
    }
  }

  void ParseLine(std::string_view line) {
    if (line.empty() || line[0] == ';') return;
    if (line[0] == '#') {
      if (StartsWith(line, "#link") && current_ != nullptr) current_->set_link(true);
      return;  // #time=, #class=, #arch= carry nothing we use
    }
    if (line[0] == '[') return ParseKeyLine(line);
    if (line[0] == '"' || line[0] == '@') return ParseValueLine(line);
    Skip("unrecognised line");
  }

  void ParseKeyLine(std::string_view line) {
    current_ = nullptr;
    size_t pos = 1;
    std::u16string path;
    if (!ReadEscaped(line, &pos, ']', &path)) return Skip("key name without closing ']'");
    std::vector<std::u16string_view> parts;
    std::u16string_view rest = path;
    while (true) {
      size_t sep = rest.find(u'\\');
      parts.push_back(rest.substr(0, sep));
      if (sep == std::u16string_view::npos) break;
      rest = rest.substr(sep + 1);
    }
    if (parts.size() > kMaxKeyDepth) return Skip("key nested too deeply");
    for (std::u16string_view part : parts) {
      if (part.empty()) return Skip("empty key name");
    }
    MemoryKey* key = root_;
    for (std::u16string_view part : parts) key = key->AddChild(text::Utf16ToUtf8(part));
    current_ = key;
    ++report_->keys;
  }

  void ParseValueLine(std::string_view line) {
    if (current_ == nullptr) return Skip("value outside a key");
    RawValue value;
    size_t pos = 1;
    if (line[0] == '"') {
      std::u16string name;
      if (!ReadEscaped(line, &pos, '"', &name)) return Skip("value name without closing quote");
      value.name = text::Utf16ToUtf8(name);
    }
    std::string_view data = TrimLeft(line.substr(pos));
    if (data.empty() || data[0] != '=') return Skip("value without '='");
    data = TrimLeft(data.substr(1));
    bool remove = false;
    std::string why;
    if (!ReadValueData(data, &value, &remove, &why)) return Skip(why);
    if (remove) {
      current_->DeleteValue(value.name);
    } else {
      current_->SetValue(std::move(value));
      ++report_->values;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_number_ = 0;
  MemoryKey* root_;
  MemoryKey* current_ = nullptr;
  WineParseReport* report_;
};

}  // namespace

Status ParseWineRegistry(std::string_view text, MemoryKey* root, WineParseReport* report) {
  WineParseReport ignored;
  return Parser(text, root, report != nullptr ? report : &ignored).Run();
}

}  // namespace registry
