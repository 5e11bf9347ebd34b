// Charset tables and the iconv-based conversion to UTF-16.
#include "platform/mail/charset.h"

#include <gmime/gmime.h>

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text/utf.h"

namespace mail {

namespace {

struct CharsetEntry {
  const char* name;       // normalized MIME label
  uint32_t code_page;     // Windows code page, 0 for none
  const char* converter;  // glibc iconv name used to read it
};

// Where Windows reads a label as a superset (Shift_JIS as code page 932,
// GB2312 as 936, ISO-8859-1 as 1252), the superset is used for reading, as
// mail written on Windows relies on it.
constexpr CharsetEntry kCharsets[] = {
    {"utf-8", 65001, "UTF-8"},
    {"us-ascii", 20127, "CP1252"},
    {"windows-1252", 1252, "CP1252"},
    {"iso-8859-1", 28591, "CP1252"},
    {"iso-8859-2", 28592, "ISO-8859-2"},
    {"iso-8859-3", 28593, "ISO-8859-3"},
    {"iso-8859-4", 28594, "ISO-8859-4"},
    {"iso-8859-5", 28595, "ISO-8859-5"},
    {"iso-8859-6", 28596, "ISO-8859-6"},
    {"iso-8859-7", 28597, "ISO-8859-7"},
    {"iso-8859-8", 28598, "ISO-8859-8"},
    {"iso-8859-8-i", 38598, "ISO-8859-8"},
    {"iso-8859-9", 28599, "ISO-8859-9"},
    {"iso-8859-10", 0, "ISO-8859-10"},
    {"iso-8859-11", 0, "ISO-8859-11"},
    {"iso-8859-13", 28603, "ISO-8859-13"},
    {"iso-8859-14", 0, "ISO-8859-14"},
    {"iso-8859-15", 28605, "ISO-8859-15"},
    {"iso-8859-16", 0, "ISO-8859-16"},
    {"windows-1250", 1250, "CP1250"},
    {"windows-1251", 1251, "CP1251"},
    {"windows-1253", 1253, "CP1253"},
    {"windows-1254", 1254, "CP1254"},
    {"windows-1255", 1255, "CP1255"},
    {"windows-1256", 1256, "CP1256"},
    {"windows-1257", 1257, "CP1257"},
    {"windows-1258", 1258, "CP1258"},
    {"windows-874", 874, "CP874"},
    {"tis-620", 874, "CP874"},
    {"koi8-r", 20866, "KOI8-R"},
    {"koi8-u", 21866, "KOI8-U"},
    {"ibm866", 866, "CP866"},
    {"ibm437", 437, "CP437"},
    {"ibm850", 850, "CP850"},
    {"ibm852", 852, "CP852"},
    {"macintosh", 10000, "MACINTOSH"},
    {"x-mac-cyrillic", 10007, "MACCYRILLIC"},
    {"shift_jis", 932, "CP932"},
    {"euc-jp", 51932, "EUC-JP-MS"},
    {"iso-2022-jp", 50220, "ISO-2022-JP-2"},
    {"gb2312", 936, "CP936"},
    {"gbk", 936, "CP936"},
    {"euc-cn", 936, "CP936"},
    {"gb18030", 54936, "GB18030"},
    {"iso-2022-cn", 50227, "ISO-2022-CN-EXT"},
    {"big5", 950, "CP950"},
    {"big5-hkscs", 950, "BIG5-HKSCS"},
    {"euc-tw", 0, "EUC-TW"},
    {"ks_c_5601-1987", 949, "CP949"},
    {"euc-kr", 51949, "CP949"},
    {"iso-2022-kr", 50225, "ISO-2022-KR"},
    {"utf-7", 65000, "UTF-7"},
    {"utf-16", 1200, "UTF-16"},
    {"utf-16le", 1200, "UTF-16LE"},
    {"utf-16be", 1201, "UTF-16BE"},
};

struct Alias {
  const char* alias;
  const char* name;
};

constexpr Alias kAliases[] = {
    {"utf8", "utf-8"},           {"ascii", "us-ascii"},         {"ansi_x3.4-1968", "us-ascii"},
    {"latin1", "iso-8859-1"},    {"l1", "iso-8859-1"},          {"latin2", "iso-8859-2"},
    {"latin-9", "iso-8859-15"},  {"latin9", "iso-8859-15"},     {"sjis", "shift_jis"},
    {"x-sjis", "shift_jis"},     {"shift-jis", "shift_jis"},    {"windows-31j", "shift_jis"},
    {"cp932", "shift_jis"},      {"ms_kanji", "shift_jis"},     {"x-euc-jp", "euc-jp"},
    {"csiso2022jp", "iso-2022-jp"}, {"iso-2022-jp-2", "iso-2022-jp"}, {"x-gbk", "gbk"},
    {"cp936", "gbk"},            {"ms936", "gbk"},              {"x-euc-cn", "euc-cn"},
    {"gb_2312-80", "gb2312"},    {"csgb2312", "gb2312"},        {"cn-big5", "big5"},
    {"x-x-big5", "big5"},        {"cp950", "big5"},             {"big5hkscs", "big5-hkscs"},
    {"ks_c_5601", "ks_c_5601-1987"}, {"ksc5601", "ks_c_5601-1987"}, {"cp949", "ks_c_5601-1987"},
    {"x-euc-kr", "euc-kr"},      {"koi8r", "koi8-r"},           {"koi8", "koi8-r"},
    {"cp866", "ibm866"},         {"cp437", "ibm437"},           {"cp850", "ibm850"},
    {"cp852", "ibm852"},         {"x-mac-roman", "macintosh"},  {"mac", "macintosh"},
    {"tis620", "tis-620"},       {"utf7", "utf-7"},             {"x-unicode-2-0-utf-7", "utf-7"},
};

// The tables above by name, made once: every header and body part asks.
// The first entry of a name wins, as a scan in table order would find it.
template <typename Entry, size_t N, typename Key>
std::unordered_map<std::string_view, const Entry*> IndexBy(const Entry (&table)[N], Key key) {
  std::unordered_map<std::string_view, const Entry*> index;
  for (const Entry& e : table) index.emplace(key(e), &e);
  return index;
}

const CharsetEntry* FindEntry(std::string_view normalized) {
  static const auto index = IndexBy(kCharsets, [](const CharsetEntry& e) { return std::string_view(e.name); });
  auto it = index.find(normalized);
  return it == index.end() ? nullptr : it->second;
}

const char* FindAlias(std::string_view lowered) {
  static const auto index = IndexBy(kAliases, [](const Alias& a) { return std::string_view(a.alias); });
  auto it = index.find(lowered);
  return it == index.end() ? nullptr : it->second->name;
}

// Windows-1252's 0x80-0x9F; the five bytes its table leaves undefined read
// as the C1 control of the same value, as DecodeCharset reads them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool AllAscii(std::string_view bytes) {
  unsigned char any = 0;
  for (char c : bytes) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

// Converters that read the bytes 0x00-0x7F as ASCII in every state; the
// ISO-2022 family, UTF-7 and UTF-16 do not.
bool AsciiCompatible(std::string_view converter) {
  return !(converter.starts_with("ISO-2022") || converter.starts_with("UTF-7") || converter.starts_with("UTF-16"));
}

// The common cases without iconv: ASCII text in an ASCII-compatible
// charset, Windows-1252 (which also reads US-ASCII and ISO-8859-1) and valid
// UTF-8. False when iconv has to do it.
bool FastDecode(std::string_view bytes, std::string_view converter, std::u16string* out) {
  if (AsciiCompatible(converter) && AllAscii(bytes)) {
    out->resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) (*out)[i] = static_cast<unsigned char>(bytes[i]);
    return true;
  }
  if (converter == "CP1252") {
    out->resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(bytes[i]);
      (*out)[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return true;
  }
  if (converter == "UTF-8") {
    bool valid = false;
    std::u16string decoded = text::Utf8ToUtf16(bytes, &valid);
    if (valid) *out = std::move(decoded);
    return valid;
  }
  return false;
}

bool IsWindowsSingleByte(uint32_t cp) { return cp == 874 || (cp >= 1250 && cp <= 1258) || cp == 20127 || cp == 28591; }

void AppendUnit(std::u16string* s, char16_t c) { s->push_back(c); }

// Converters to UTF-16LE by source name, kept open for the thread's life:
// opening one loads a conversion module, which costs far more than a
// message's worth of converting. Failed opens are remembered too.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [name, cd] : open_) {
      if (cd != kNone) iconv_close(cd);
    }
  }
  // A converter in its initial state, or kNone.
  iconv_t Get(const std::string& from) {
    auto it = open_.find(from);
    if (it == open_.end()) {
      if (open_.size() >= 64) Clear();
      it = open_.emplace(from, g_mime_iconv_open("UTF-16LE", from.c_str())).first;
    }
    if (it->second != kNone) iconv(it->second, nullptr, nullptr, nullptr, nullptr);
    return it->second;
  }
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  void Clear() {
    for (auto& [name, cd] : open_) {
      if (cd != kNone) iconv_close(cd);
    }
    open_.clear();
  }
  std::map<std::string, iconv_t> open_;
};

iconv_t ConverterFor(const std::string& from) {
  thread_local ConverterCache cache;
  return cache.Get(from);
}

// The converter of a table entry. One that knows fewer names (GLib's on
// Windows) may know the charset by its Windows code page.
iconv_t EntryConverter(const CharsetEntry& e) {
  iconv_t cd = ConverterFor(e.converter);
  if (cd == ConverterCache::kNone && e.code_page != 0) cd = ConverterFor("CP" + std::to_string(e.code_page));
  return cd;
}



}  // namespace

std::string NormalizeCharset(std::string_view charset) {
  std::string s;
  s.reserve(charset.size());
  for (char c : charset) {
    if (c == ' ' || c == '\t' || c == '"' || c == '\'') continue;
    s.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  if (FindEntry(s) != nullptr) return s;  // already a name of the table
  if (const char* name = FindAlias(s)) return name;
  // iso8859-N, iso_8859-N, iso-8859_N, iso8859_N -> iso-8859-N
  auto starts = [&](std::string_view p) { return s.compare(0, p.size(), p) == 0; };
  for (std::string_view p : {"iso8859-", "iso_8859-", "iso-8859_", "iso8859_", "iso_8859_"}) {
    if (starts(p)) return "iso-8859-" + s.substr(p.size());
  }
  if (starts("iso_8859-1:")) return "iso-8859-1";
  // cp125N, x-cp125N, windows125N, win-125N -> windows-125N
  for (std::string_view p : {"x-cp", "cp", "windows", "win-", "ms-cp"}) {
    if (starts(p) && s.size() > p.size() && s[p.size()] != '-') {
      std::string rest = s.substr(p.size());
      if (rest == "874" || (rest.size() == 4 && rest.compare(0, 3, "125") == 0)) return "windows-" + rest;
    }
  }
  return s;
}

uint32_t CodePageForCharset(std::string_view charset) {
  const CharsetEntry* e = FindEntry(NormalizeCharset(charset));
  return e ? e->code_page : 0;
}

std::string CharsetForCodePage(uint32_t code_page) {
  for (const auto& e : kCharsets) {
    if (e.code_page == code_page && code_page != 0) return e.name;
  }
  return "";
}

bool DecodeCharset(std::string_view bytes, std::string_view charset, DecodedText* out) {
  std::string norm = NormalizeCharset(charset);
  const CharsetEntry* e = FindEntry(norm);
  const char* from = nullptr;
  std::string fallback;
  if (e != nullptr) {
    from = e->converter;
  } else {
    if (norm.empty()) return false;
    fallback = g_mime_charset_iconv_name(norm.c_str());
    from = fallback.c_str();
  }
  // An empty text asks whether the charset can be read at all.
  if (e != nullptr && !bytes.empty()) {
    DecodedText fast;
    if (FastDecode(bytes, from, &fast.text)) {
      *out = std::move(fast);
      return true;
    }
  }
  iconv_t cd = e != nullptr ? EntryConverter(*e) : ConverterFor(from);
  if (cd == ConverterCache::kNone) return false;
  const bool single_byte_windows = e != nullptr && IsWindowsSingleByte(e->code_page);

  DecodedText result;
  std::vector<char> buf(bytes.size() * 4 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* outp = buf.data();
  size_t out_left = buf.size();
  result.text.reserve(bytes.size());
  auto flush_units = [&]() {
    const size_t units = (buf.size() - out_left) / 2;
    const size_t at = result.text.size();
    result.text.resize(at + units);
    char16_t* dst = result.text.data() + at;
    const auto* src = reinterpret_cast<const uint8_t*>(buf.data());
    for (size_t i = 0; i < units; ++i) {
      dst[i] = static_cast<char16_t>(src[2 * i] | (src[2 * i + 1] << 8));
    }
    outp = buf.data();
    out_left = buf.size();
  };
  while (in_left > 0) {
    size_t r = iconv(cd, &in, &in_left, &outp, &out_left);
    if (r != static_cast<size_t>(-1)) break;
    int err = errno;
    flush_units();
    if (err == E2BIG) continue;
    if (err == EILSEQ || err == EINVAL) {
      uint8_t b = static_cast<uint8_t>(*in);
      if (single_byte_windows) {
        // Windows reads the bytes its tables leave undefined as the C1
        // control of the same value; doing the same keeps them round-trip.
        AppendUnit(&result.text, static_cast<char16_t>(b));
      } else {
        AppendUnit(&result.text, u'\uFFFD');
        result.lossy = true;
      }
      ++in;
      --in_left;
      continue;
    }
    result.lossy = true;  // unexpected converter failure: stop here
    break;
  }
  iconv(cd, nullptr, nullptr, &outp, &out_left);
  flush_units();
  *out = std::move(result);
  return true;
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

std::string ChooseCharset(std::string_view bytes, std::string_view label, const TextDefaults& defaults,
                          std::string* note) {
  std::string norm = NormalizeCharset(label);
  const bool ascii = IsAscii(bytes);
  auto fallback = [&]() -> std::string {
    if (defaults.guess_utf8 && !ascii && text::IsValidUtf8(bytes)) return "utf-8";
    std::string cs = CharsetForCodePage(defaults.default_code_page);
    return cs.empty() ? "windows-1252" : cs;
  };
  if (norm.empty()) {
    if (!ascii && note) *note = "8-bit text without a charset label";
    return ascii ? "us-ascii" : fallback();
  }
  if (norm == "us-ascii" && !ascii) {
    if (note) *note = "8-bit text labelled us-ascii";
    return fallback();
  }
  if (const CharsetEntry* e = FindEntry(norm); e != nullptr) {
    // Known, but not to this system's converter (GLib's on Windows lacks a
    // few ISO-8859 parts): read as unlabelled text, and said so.
    if (EntryConverter(*e) == ConverterCache::kNone) {
      if (note) *note = "charset \"" + std::string(label) + "\" cannot be read on this system";
      return fallback();
    }
  } else {
    std::string iconv_name = g_mime_charset_iconv_name(norm.c_str());
    if (ConverterFor(iconv_name) == ConverterCache::kNone) {
      if (note) *note = "unknown charset \"" + std::string(label) + "\"";
      return fallback();
    }
  }
  return norm;
}

DecodedText DecodeText(std::string_view bytes, std::string_view label, const TextDefaults& defaults,
                       std::string* used_charset, std::string* note) {
  std::string cs = ChooseCharset(bytes, label, defaults, note);
  DecodedText out;
  if (!DecodeCharset(bytes, cs, &out)) {
    // Only reachable when the default code page itself is unknown.
    DecodeCharset(bytes, "windows-1252", &out);
    cs = "windows-1252";
  }
  if (used_charset) *used_charset = cs;
  return out;
}

}  // namespace mail
