#include "tests/platform/pst/messaging/expectation.h"

#include <iconv.h>

#include <cstdio>
#include <ctime>
#include <map>

namespace pst::testing {
namespace {

std::string Json(const std::u16string& s) {
  std::string out = "\"";
  for (char16_t c : s) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out + "\"";
}

std::string Json(const std::string& ascii) { return Json(std::u16string(ascii.begin(), ascii.end())); }

// The HTML body as text: its bytes read in the message's code page, as the
// readers show it (bytes as Latin-1 when the code page is unknown here).
std::u16string HtmlText(const std::vector<uint8_t>& bytes, int64_t code_page) {
  static const std::map<int64_t, const char*> kNames = {
      {65001, "UTF-8"},        {65000, "UTF-7"},       {20127, "CP1252"},     {28591, "CP1252"},
      {50220, "ISO-2022-JP"},  {50225, "ISO-2022-KR"}, {51932, "EUC-JP"},     {51949, "EUC-KR"},
      {54936, "GB18030"},      {20866, "KOI8-R"},      {21866, "KOI8-U"},     {38598, "ISO-8859-8"}};
  std::string name;
  if (auto it = kNames.find(code_page); it != kNames.end()) {
    name = it->second;
  } else if (code_page > 28591 && code_page <= 28605) {
    name = "ISO-8859-" + std::to_string(code_page - 28590);
  } else if (code_page > 0) {
    name = "CP" + std::to_string(code_page);
  }
  std::u16string text;
  iconv_t cd = name.empty() ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::u16string(bytes.begin(), bytes.end());
  std::vector<char> out(bytes.size() * 4 + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t in_left = bytes.size(), out_left = out.size();
  char* o = out.data();
  while (in_left > 0 && iconv(cd, &in, &in_left, &o, &out_left) == static_cast<size_t>(-1)) {
    ++in;  // a byte that fits no character is left out
    --in_left;
  }
  iconv(cd, nullptr, nullptr, &o, &out_left);
  iconv_close(cd);
  for (char* c = out.data(); c + 1 < o; c += 2) {
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c[0]) | (static_cast<uint8_t>(c[1]) << 8)));
  }
  return text;
}

const Property* Find(const std::vector<Property>& props, uint32_t tag) {
  for (const Property& p : props) {
    if (!p.named && p.tag() == tag) return &p;
  }
  return nullptr;
}

const std::u16string* String(const std::vector<Property>& props, uint16_t id) {
  const Property* p = Find(props, (uint32_t{id} << 16) | 0x001F);
  return p ? &std::get<std::u16string>(p->value) : nullptr;
}

std::string Time(uint64_t filetime) {
  const time_t t = static_cast<time_t>(filetime / 10000000 - 11644473600ull);
  struct tm tm;
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return Json(std::string(buf));
}

std::string Hex(const std::vector<uint8_t>& data) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (uint8_t b : data) {
    s += d[b >> 4];
    s += d[b & 15];
  }
  return s;
}

std::string MessageJson(const MessageContent& m) {
  const std::u16string empty;
  const std::u16string* subject = String(m.props, 0x0037);
  const std::u16string* body = String(m.props, 0x1000);
  std::string out = "{\"subject\": " + Json(subject ? *subject : empty) +
                    ", \"body\": " + Json(body ? *body : empty);
  if (const std::u16string* s = String(m.props, 0x0C1A)) out += ", \"sender_name\": " + Json(*s);
  if (const std::u16string* s = String(m.props, 0x0C1F)) out += ", \"sender_address\": " + Json(*s);
  if (const std::u16string* s = String(m.props, 0x0042)) out += ", \"sent_representing_name\": " + Json(*s);
  if (const std::u16string* s = String(m.props, 0x0065)) out += ", \"sent_representing_address\": " + Json(*s);
  if (const Property* html = Find(m.props, 0x10130102)) {
    const auto& bytes = std::get<std::vector<uint8_t>>(html->value);
    const Property* cp = Find(m.props, 0x3FDE0003);
    out += ", \"html\": " + Json(HtmlText(bytes, cp ? std::get<int64_t>(cp->value) : 0));
  }
  if (const Property* t = Find(m.props, 0x0E060040)) out += ", \"delivery_time\": " + Time(std::get<uint64_t>(t->value));
  if (const Property* t = Find(m.props, 0x00390040)) out += ", \"submit_time\": " + Time(std::get<uint64_t>(t->value));
  if (const Property* f = Find(m.props, 0x0E070003)) {
    const int64_t flags = std::get<int64_t>(f->value);
    out += std::string(", \"read\": ") + (flags & 1 ? "true" : "false") +
           ", \"has_attachments\": " + (flags & 0x10 ? "true" : "false");
  }
  out += ", \"recipients\": [";
  for (size_t i = 0; i < m.recipients.size(); ++i) {
    const auto& r = m.recipients[i].props;
    const Property* type = Find(r, 0x0C150003);
    const std::u16string* name = String(r, 0x3001);
    const std::u16string* address = String(r, 0x3003);
    out += std::string(i ? ", " : "") + "{\"type\": " + std::to_string(type ? std::get<int64_t>(type->value) : 1) +
           ", \"name\": " + Json(name ? *name : empty) + ", \"address\": " + Json(address ? *address : empty) + "}";
  }
  out += "], \"attachments\": [";
  for (size_t i = 0; i < m.attachments.size(); ++i) {
    const AttachmentContent& a = m.attachments[i];
    const std::u16string* name = String(a.props, 0x3707);
    if (name == nullptr) name = String(a.props, 0x3704);
    if (name == nullptr) name = String(a.props, 0x3001);
    out += std::string(i ? ", " : "") + "{\"name\": " + Json(name ? *name : empty);
    if (a.embedded) {
      out += ", \"message\": " + MessageJson(*a.embedded) + "}";
      continue;
    }
    const Property* data = Find(a.props, 0x37010102);
    const std::vector<uint8_t> bytes = data ? std::get<std::vector<uint8_t>>(data->value) : std::vector<uint8_t>{};
    out += ", \"size\": " + std::to_string(bytes.size());
    out += bytes.size() <= 64 ? ", \"hex\": \"" + Hex(bytes) + "\"}" : ", \"fnv1a64\": \"" + Fnv1a64(bytes) + "\"}";
  }
  return out + "]}";
}

}  // namespace

std::string Fnv1a64(const std::vector<uint8_t>& data) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (uint8_t b : data) h = (h ^ b) * 0x100000001B3ull;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

ExpectationWriter::ExpectationWriter(const std::string& path) : out_(path) { out_ << "{\"folders\": ["; }

void ExpectationWriter::BeginFolder(const std::string& path) {
  if (in_folder_) out_ << "]}";
  out_ << (first_folder_ ? "\n" : ",\n") << "{\"path\": " << Json(path) << ", \"messages\": [";
  first_folder_ = false;
  first_message_ = true;
  in_folder_ = true;
}

void ExpectationWriter::Message(const MessageContent& m) {
  out_ << (first_message_ ? "\n" : ",\n") << MessageJson(m);
  first_message_ = false;
}

void ExpectationWriter::Close() {
  if (in_folder_) out_ << "]}";
  out_ << "\n]}\n";
  out_.close();
}

}  // namespace pst::testing
