// Encoded-words and parameter values, decoded word by word.
#include "platform/mail/encoded_words.h"

#include <map>
#include <optional>
#include <vector>

#include "platform/mail/gmime_util.h"
#include "platform/text/utf.h"

namespace mail {

namespace {

// A character split between words spans at most this many of them (a
// four-byte character sent one byte per word, with room to spare).
constexpr size_t kMaxJoinedWords = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string WithoutLineBreaks(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

std::string TrimmedBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Base64 of one word: padding ends it, characters outside the alphabet are
// skipped, a trailing partial group gives the whole bytes it holds.
std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    int v = Base64Value(c);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

std::string DecodeQ(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') {
      out.push_back(' ');
    } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

struct Word {
  size_t end = 0;       // position just past the closing "?="
  std::string charset;  // as labelled, without a language suffix
  std::string bytes;    // transfer-decoded
};

// The encoded-word starting at `pos` ("=?charset?B|Q?text?="), if one does.
std::optional<Word> ParseWordAt(std::string_view s, size_t pos) {
  if (s.substr(pos, 2) != "=?") return std::nullopt;
  size_t cs_end = s.find('?', pos + 2);
  if (cs_end == std::string_view::npos || cs_end == pos + 2 || cs_end + 2 >= s.size()) return std::nullopt;
  std::string_view charset = s.substr(pos + 2, cs_end - pos - 2);
  for (char c : charset) {
    if (IsSpace(c) || c == '=' || c == '"') return std::nullopt;
  }
  char enc = s[cs_end + 1];
  if (s[cs_end + 2] != '?') return std::nullopt;
  size_t text_begin = cs_end + 3;
  // The text holds no '?' and no blank: the first of them must be the "?="
  // that ends the word (looking no further keeps long headers linear).
  size_t text_end = s.find_first_of("? \t\r\n", text_begin);
  if (text_end == std::string_view::npos || s[text_end] != '?' || text_end + 1 >= s.size() ||
      s[text_end + 1] != '=') {
    return std::nullopt;
  }
  std::string_view text = s.substr(text_begin, text_end - text_begin);
  Word w;
  w.end = text_end + 2;
  w.charset = std::string(charset.substr(0, charset.find('*')));
  if (enc == 'B' || enc == 'b') {
    w.bytes = DecodeBase64(text);
  } else if (enc == 'Q' || enc == 'q') {
    w.bytes = DecodeQ(text);
  } else {
    return std::nullopt;
  }
  return w;
}

void AppendUtf16(std::u16string_view units, std::string* out) { *out += text::Utf16ToUtf8(units); }

// Decodes a run of adjacent words, all labelled `charset`.
void DecodeRun(const std::vector<Word>& words, size_t begin, size_t end, const TextDefaults& defaults,
               std::string* out, bool* lossy) {
  std::string norm = NormalizeCharset(words[begin].charset);
  DecodedText probe;
  if (norm == "us-ascii" || !DecodeCharset("", norm, &probe)) {
    // No charset of its own to split characters by: read the run as one
    // text with the defaults.
    std::string bytes;
    for (size_t k = begin; k < end; ++k) bytes += words[k].bytes;
    DecodedText t = DecodeText(bytes, norm, defaults);
    if (t.lossy) *lossy = true;
    AppendUtf16(t.text, out);
    return;
  }
  // Joining is tried at most about twice per word, so a long run of broken
  // words costs no more than a few passes.
  size_t join_budget = 2 * (end - begin) + kMaxJoinedWords;
  size_t k = begin;
  while (k < end) {
    DecodedText t;
    DecodeCharset(words[k].bytes, norm, &t);
    size_t used = 1;
    if (t.lossy && join_budget > 0) {
      // A character split between this word and the next ones reads whole
      // once their bytes are joined.
      std::string bytes = words[k].bytes;
      for (size_t extra = 1; extra < kMaxJoinedWords && k + extra < end && join_budget > 0; ++extra) {
        --join_budget;
        bytes += words[k + extra].bytes;
        DecodedText joined;
        DecodeCharset(bytes, norm, &joined);
        if (!joined.lossy) {
          t = std::move(joined);
          used = extra + 1;
          break;
        }
      }
    }
    if (t.lossy) *lossy = true;
    AppendUtf16(t.text, out);
    k += used;
  }
}

// Decodes `s` (no line breaks) into `out`; `literal` decides how text
// outside encoded-words is added.
template <typename Literal>
void DecodeWords(std::string_view s, size_t begin, size_t end, const TextDefaults& defaults, std::string* out,
                 bool* lossy, Literal literal) {
  std::vector<Word> run;
  auto flush = [&]() {
    size_t a = 0;
    while (a < run.size()) {
      size_t b = a + 1;
      while (b < run.size() && NormalizeCharset(run[b].charset) == NormalizeCharset(run[a].charset)) ++b;
      DecodeRun(run, a, b, defaults, out, lossy);
      a = b;
    }
    run.clear();
  };
  size_t i = begin;
  while (i < end) {
    if (s[i] == '=' && i + 1 < end) {
      if (auto w = ParseWordAt(s.substr(0, end), i)) {
        run.push_back(std::move(*w));
        i = run.back().end;
        // Blanks between two encoded-words are not part of the text.
        size_t j = i;
        while (j < end && IsBlank(s[j])) ++j;
        if (j > i && j < end && s[j] == '=' && ParseWordAt(s.substr(0, end), j)) i = j;
        continue;
      }
    }
    flush();
    size_t next = s.find("=?", i + 1);
    if (next == std::string_view::npos || next > end) next = end;
    literal(s.substr(i, next - i));
    i = next;
  }
  flush();
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw, const TextDefaults& defaults, bool* lossy) {
  EnsureGMimeInitialized();  // charset names are looked up through GMime
  std::string s = WithoutLineBreaks(raw);
  std::string out;
  bool lost = false;
  DecodeWords(s, 0, s.size(), defaults, &out, &lost, [&](std::string_view text) {
    if (IsAscii(text)) {
      out += text;
      return;
    }
    DecodedText t = DecodeText(text, "", defaults);
    if (t.lossy) lost = true;
    AppendUtf16(t.text, &out);
  });
  if (lossy != nullptr && lost) *lossy = true;
  return TrimmedBlanks(out);
}

std::string DecodeAddressWords(std::string_view raw, const TextDefaults& defaults) {
  EnsureGMimeInitialized();  // charset names are looked up through GMime
  std::string s = WithoutLineBreaks(raw);
  if (!IsAscii(s)) s = text::Utf16ToUtf8(DecodeText(s, "", defaults).text);
  auto escaped = [](std::string_view text) {
    std::string e;
    for (char c : text) {
      if (c == '"' || c == '\\') e.push_back('\\');
      e.push_back(c);
    }
    return e;
  };
  std::string out;
  bool quoted = false, angle = false;
  int comment = 0;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\\' && (quoted || comment > 0) && i + 1 < s.size()) {
      out += s.substr(i, 2);
      i += 2;
      continue;
    }
    if (comment == 0 && !angle && c == '=' && ParseWordAt(s, i)) {
      // The run of encoded-words (and blanks between them) starting here.
      size_t end = i;
      while (true) {
        auto w = ParseWordAt(s, end);
        if (!w) break;
        end = w->end;
        size_t j = end;
        while (j < s.size() && IsBlank(s[j])) ++j;
        if (j == end || !ParseWordAt(s, j)) break;
        end = j;
      }
      // Next to "@" or a dot of a domain the words are part of an address,
      // where they are not to be decoded.
      bool in_address = (end < s.size() && (s[end] == '@' || s[end] == '.')) ||
                        (i > 0 && (s[i - 1] == '@' || s[i - 1] == '.'));
      if (in_address) {
        out += s.substr(i, end - i);
        i = end;
        continue;
      }
      std::string text;
      bool lost = false;
      DecodeWords(s, i, end, defaults, &text, &lost, [&](std::string_view t) { text += t; });
      out += quoted ? escaped(text) : "\"" + escaped(text) + "\"";
      i = end;
      continue;
    }
    if (c == '"' && comment == 0) {
      quoted = !quoted;
    } else if (!quoted) {
      if (c == '(') ++comment;
      if (c == ')' && comment > 0) --comment;
      if (comment == 0 && c == '<') angle = true;
      if (comment == 0 && c == '>') angle = false;
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

std::string HeaderParameter(std::string_view field_value, std::string_view name, const TextDefaults& defaults,
                            bool* found) {
  EnsureGMimeInitialized();  // charset names are looked up through GMime
  std::string s = WithoutLineBreaks(field_value);
  std::string want;
  for (char c : name) want.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));

  std::optional<std::string> plain;
  std::optional<std::string> extended;                      // name*=
  std::map<unsigned, std::pair<std::string, bool>> pieces;  // name*N[*]= : value, encoded
  size_t i = 0;
  // Skip the value before the first parameter.
  bool in_quote = false;
  while (i < s.size() && (in_quote || s[i] != ';')) {
    if (s[i] == '"') in_quote = !in_quote;
    if (s[i] == '\\' && in_quote) ++i;
    ++i;
  }
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ';' || IsSpace(s[i]))) ++i;
    size_t attr_begin = i;
    while (i < s.size() && s[i] != '=' && s[i] != ';') ++i;
    std::string attr = TrimmedBlanks(s.substr(attr_begin, i - attr_begin));
    if (i >= s.size() || s[i] != '=') continue;
    ++i;
    while (i < s.size() && IsBlank(s[i])) ++i;
    std::string value;
    if (i < s.size() && s[i] == '"') {
      ++i;
      while (i < s.size() && s[i] != '"') {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        value.push_back(s[i++]);
      }
      if (i < s.size()) ++i;
      while (i < s.size() && s[i] != ';') ++i;
    } else {
      size_t v_begin = i;
      while (i < s.size() && s[i] != ';') ++i;
      value = TrimmedBlanks(s.substr(v_begin, i - v_begin));
    }
    for (char& c : attr) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (attr == want) {
      if (!plain) plain = value;
    } else if (attr == want + "*") {
      if (!extended) extended = value;
    } else if (attr.size() > want.size() + 1 && attr.compare(0, want.size() + 1, want + "*") == 0) {
      std::string_view rest = std::string_view(attr).substr(want.size() + 1);
      bool encoded = !rest.empty() && rest.back() == '*';
      if (encoded) rest.remove_suffix(1);
      if (rest.empty() || rest.size() > 4 || rest.find_first_not_of("0123456789") != std::string_view::npos) continue;
      pieces.emplace(static_cast<unsigned>(std::stoul(std::string(rest))), std::make_pair(value, encoded));
    }
  }

  if (found != nullptr) *found = plain || extended || !pieces.empty();
  if (!extended && pieces.empty()) return plain ? DecodeHeaderText(*plain, defaults) : "";

  // RFC 2231: charset'language'percent-encoded bytes, in pieces.
  if (extended) pieces = {{0, {*extended, true}}};
  std::string charset, bytes;
  bool first = true;
  for (auto& [index, piece] : pieces) {
    std::string_view v = piece.first;
    if (first && piece.second) {
      size_t q1 = v.find('\'');
      size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
      if (q2 != std::string_view::npos) {
        charset = std::string(v.substr(0, q1));
        v = v.substr(q2 + 1);
      }
    }
    first = false;
    for (size_t k = 0; k < v.size(); ++k) {
      if (piece.second && v[k] == '%' && k + 2 < v.size() && HexValue(v[k + 1]) >= 0 && HexValue(v[k + 2]) >= 0) {
        bytes.push_back(static_cast<char>(HexValue(v[k + 1]) * 16 + HexValue(v[k + 2])));
        k += 2;
      } else {
        bytes.push_back(v[k]);
      }
    }
  }
  return TrimmedBlanks(text::Utf16ToUtf8(DecodeText(bytes, charset, defaults).text));
}

}  // namespace mail
