// Deterministic synthesis of realistic Internet messages; see synth.h.
#include "tests/support/dbxgen/synth.h"

#include <array>
#include <cstdio>

#include "tests/support/dbxgen/filetime.h"

namespace dbxgen {

namespace {

// splitmix64: small, fast and good enough for sample data.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) { return items[Below(N)]; }

 private:
  uint64_t state_;
};

struct Person {
  const char* name;     // as written in a header (may be an encoded word)
  const char* mailbox;  // local part
};

constexpr std::array<Person, 12> kPeople = {{
    {"Alice Walker", "alice.walker"},
    {"Bob Fischer", "bob"},
    {"=?iso-8859-1?Q?Jos=E9_Mart=EDnez?=", "jose.martinez"},
    {"=?utf-8?B?SsO8cmdlbiBNw7xsbGVy?=", "juergen.mueller"},
    {"Carol Nguyen", "carol.nguyen"},
    {"=?iso-8859-1?Q?S=F8ren_Kierkegaard?=", "soren"},
    {"David O'Brien", "dobrien"},
    {"=?koi8-r?B?9MHU2NHOwQ==?=", "tatyana"},
    {"Erin Schmidt", "erin.schmidt"},
    {"=?utf-8?Q?Fran=C3=A7oise_Dupont?=", "f.dupont"},
    {"Grace Hopper", "grace"},
    {"Hiro Tanaka", "hiro.tanaka"},
}};

constexpr std::array<const char*, 6> kDomains = {
    "example.com", "example.org", "mail.example.net", "corp.example.com", "example.co.uk",
    "lists.example.org"};

constexpr std::array<const char*, 12> kTopics = {
    "Quarterly report", "Lunch on Friday", "Meeting notes", "Budget review",
    "Holiday photos",   "Server maintenance window", "Invoice 2003-117", "Project timeline",
    "Welcome aboard",   "Re-scheduled call", "Draft proposal", "Travel plans"};

constexpr std::array<const char*, 48> kWords = {
    "the",      "meeting",  "report",   "we",      "will",     "review",  "numbers", "and",
    "team",     "schedule", "next",     "week",    "please",   "send",    "your",    "notes",
    "before",   "Friday",   "project",  "budget",  "update",   "thanks",  "for",     "quick",
    "reply",    "attached", "document", "draft",   "changes",  "server",  "backup",  "office",
    "customer", "order",    "delivery", "invoice", "question", "answer",  "agenda",  "minutes",
    "travel",   "hotel",    "flight",   "photos",  "holiday",  "weather", "lunch",   "coffee"};

constexpr std::array<const char*, 8> kLatin1Words = {
    "caf\xE9", "cr\xE8me", "na\xEFve", "gr\xFC\xDF" "e", "M\xFCnchen", "\xE0 bient\xF4t",
    "d\xE9j\xE0", "Se\xF1or"};

constexpr std::array<const char*, 6> kKoi8Words = {
    "\xF0\xD2\xC9\xD7\xC5\xD4",          // privet
    "\xDE\xC1\xD3",                      // chas
    "\xD7\xD3\xD4\xD2\xC5\xDE\xC1",      // vstrecha
    "\xCF\xD4\xDE\xC5\xD4",              // otchet
    "\xD3\xD0\xC1\xD3\xC9\xC2\xCF",      // spasibo
    "\xDA\xC1\xD7\xD4\xD2\xC1"};         // zavtra

// Words of ISO-2022-JP text (JIS X 0208 between the escapes).
constexpr std::array<const char*, 4> kJisWords = {
    "\x1B$B$3$s$K$A$O\x1B(B",  // konnichiwa
    "\x1B$B2q5D\x1B(B",        // kaigi
    "\x1B$BJs9p\x1B(B",        // houkoku
    "\x1B$B$h$m$7$/\x1B(B"};   // yoroshiku

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Base64(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t line = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kAlphabet[v & 63] : '=');
    line += 4;
    if (line == 76) {
      out += "\r\n";
      line = 0;
    }
  }
  if (line != 0) out += "\r\n";
  return out;
}

// Quoted-printable (RFC 2045) of CR LF text, lines of at most 76 characters.
std::string QuotedPrintable(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\r\n";
      column = 0;
      ++i;
      continue;
    }
    bool at_line_end = i + 1 == text.size() || text[i + 1] == '\r';
    bool plain = (c >= 33 && c <= 126 && c != '=') || (c == ' ' && !at_line_end);
    std::size_t width = plain ? 1 : 3;
    if (column + width > 75) {
      out += "=\r\n";
      column = 0;
    }
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('=');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
    column += width;
  }
  return out;
}

// Paragraphs of about `length` bytes, lines wrapped at 72 columns.
std::string Prose(Rng& rng, std::size_t length, SynthKind kind) {
  std::string out;
  std::size_t column = 0;
  std::size_t sentence = 0;
  while (out.size() < length) {
    const char* word;
    std::size_t roll = rng.Below(10);
    if (kind == SynthKind::kLatin1 && roll < 2) word = rng.Pick(kLatin1Words);
    else if (kind == SynthKind::kCyrillic && roll < 7) word = rng.Pick(kKoi8Words);
    else if (kind == SynthKind::kJapanese && roll < 6) word = rng.Pick(kJisWords);
    else word = rng.Pick(kWords);
    std::size_t n = std::char_traits<char>::length(word);
    if (column + n + 1 > 72) {
      out += "\r\n";
      column = 0;
    } else if (column > 0) {
      out.push_back(' ');
      ++column;
    }
    out += word;
    column += n;
    if (++sentence > 6 + rng.Below(8)) {
      out.push_back('.');
      ++column;
      sentence = 0;
      if (rng.Below(5) == 0) {
        out += "\r\n\r\n";
        column = 0;
      }
    }
  }
  if (column > 0) out += "\r\n";
  return out;
}

std::string HtmlOf(std::string_view prose) {
  std::string html =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<HTML><HEAD>\r\n"
      "<META http-equiv=Content-Type content=\"text/html; charset=windows-1252\">\r\n"
      "</HEAD>\r\n<BODY bgColor=#ffffff>\r\n<DIV><FONT face=Arial size=2>";
  for (char c : prose) {
    if (c == '\r') continue;
    if (c == '\n') html += "</FONT></DIV>\r\n<DIV><FONT face=Arial size=2>";
    else if (c == '<') html += "&lt;";
    else if (c == '&') html += "&amp;";
    else html.push_back(c);
  }
  html += "</FONT></DIV></BODY></HTML>\r\n";
  return html;
}

std::string Address(const Person& person, const char* domain) {
  return std::string(person.mailbox) + "@" + domain;
}

std::string MailboxHeader(const Person& person, const char* domain) {
  std::string name = person.name;
  if (name.rfind("=?", 0) != 0) name = "\"" + name + "\"";
  return name + " <" + Address(person, domain) + ">";
}

std::string DateHeader(int64_t unix_seconds, int zone_minutes) {
  int64_t local = unix_seconds + zone_minutes * 60;
  int64_t days = local / 86400;
  int64_t rest = local % 86400;
  // Civil date from days since 1970-01-01.
  int64_t z = days + 719468;
  int64_t era = z / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  int zone = zone_minutes < 0 ? -zone_minutes : zone_minutes;
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%s, %d %s %lld %02d:%02d:%02d %c%02d%02d",
                kDayNames[static_cast<std::size_t>((days + 4) % 7)], static_cast<int>(day),
                kMonthNames[static_cast<std::size_t>(month - 1)], static_cast<long long>(year),
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60), zone_minutes < 0 ? '-' : '+', zone / 60, zone % 60);
  return buffer;
}

std::string Boundary(Rng& rng, const char* tag) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "----=_%s_%03X_%08X.%08X", tag,
                static_cast<unsigned>(rng.Below(4096)), static_cast<unsigned>(rng.Next()),
                static_cast<unsigned>(rng.Next()));
  return buffer;
}

std::string RandomBytes(Rng& rng, std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; i += 8) {
    uint64_t v = rng.Next();
    for (std::size_t k = 0; k < 8 && i + k < n; ++k) out[i + k] = static_cast<char>(v >> (8 * k));
  }
  return out;
}

// The message of `kind` whose main text is about `prose_length` bytes.
std::string Build(std::size_t index, SynthKind kind, std::size_t prose_length, uint64_t seed) {
  Rng rng(seed * 0x9E3779B97F4A7C15ULL + index);
  const Person& from = rng.Pick(kPeople);
  const Person& to = rng.Pick(kPeople);
  const char* from_domain = rng.Pick(kDomains);
  const char* to_domain = rng.Pick(kDomains);
  std::string topic = rng.Pick(kTopics);
  static const std::array<int, 5> kZones = {0, 60, -300, 540, -480};
  int zone = rng.Pick(kZones);
  // Spread over the years Outlook Express was in use (2003 to about 2008),
  // whatever index range a folder numbers its messages from.
  int64_t sent = 1041379200 + static_cast<int64_t>(index % 90000) * 1777 + static_cast<int64_t>(rng.Below(600));

  std::string subject;
  switch (kind) {
    case SynthKind::kLatin1: subject = "=?iso-8859-1?Q?" + topic + "_=E0_bient=F4t?="; break;
    case SynthKind::kAlternative:
      subject = "=?utf-8?B?" + Base64(topic + " \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F" "e");
      subject.resize(subject.size() - 2);  // no line break inside the word
      subject += "?=";
      break;
    case SynthKind::kCyrillic: subject = "=?koi8-r?B?8NLJ18XUINDSycfMwdvFzsnF?="; break;
    case SynthKind::kJapanese: subject = "=?iso-2022-jp?B?GyRCMnE1RBsoQg==?= " + topic; break;
    case SynthKind::kNews:
    case SynthKind::kReply: subject = "Re: " + topic; break;
    default: subject = topic; break;
  }
  for (char& c : subject) {
    if (c == ' ' && subject.rfind("=?iso-8859-1?Q?", 0) == 0) c = '_';
  }

  char message_id[96];
  std::snprintf(message_id, sizeof(message_id), "<%06zx01c3%04x$%08x$0a00a8c0@%s>", index,
                static_cast<unsigned>(rng.Below(65536)), static_cast<unsigned>(rng.Next()),
                from_domain);

  std::string h;
  h += "From: " + MailboxHeader(from, from_domain) + "\r\n";
  if (kind == SynthKind::kNews) {
    h += "Newsgroups: comp.example.discussion\r\n";
  } else {
    h += "To: " + MailboxHeader(to, to_domain) + "\r\n";
  }
  if (rng.Below(4) == 0) h += "Cc: \"Team\" <team@" + std::string(to_domain) + ">\r\n";
  h += "Subject: " + subject + "\r\n";
  h += "Date: " + DateHeader(sent, zone) + "\r\n";
  h += "Message-ID: " + std::string(message_id) + "\r\n";
  if (kind == SynthKind::kReply || kind == SynthKind::kNews) {
    char parent[64];
    std::snprintf(parent, sizeof(parent), "<%08x$parent@%s>", static_cast<unsigned>(rng.Next()),
                  to_domain);
    h += "References: " + std::string(parent) + "\r\n";
    h += "In-Reply-To: " + std::string(parent) + "\r\n";
  }
  h += "MIME-Version: 1.0\r\n";
  static const std::array<const char*, 5> kPriorities = {"3", "3", "3", "1", "5"};
  std::string priority = rng.Pick(kPriorities);
  h += "X-Priority: " + priority + "\r\n";
  h += std::string("X-MSMail-Priority: ") +
       (priority == "1" ? "High" : priority == "5" ? "Low" : "Normal") + "\r\n";
  h += "X-Mailer: Sample Mail Client 6.00\r\n";

  std::string prose = Prose(rng, prose_length, kind);
  std::string body;
  switch (kind) {
    case SynthKind::kPlain:
    case SynthKind::kNews:
      h += "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n";
      body = prose;
      break;
    case SynthKind::kReply:
      h += "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n";
      body = prose.substr(0, prose.size() / 2) + "\r\n----- Original Message -----\r\n";
      for (std::size_t at = prose.size() / 2; at < prose.size();) {
        std::size_t end = prose.find("\r\n", at);
        if (end == std::string::npos) end = prose.size();
        body += "> " + prose.substr(at, end - at) + "\r\n";
        at = end + 2;
      }
      break;
    case SynthKind::kLatin1:
      h += "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n";
      body = QuotedPrintable(prose);
      break;
    case SynthKind::kHtml:
      h += "Content-Type: text/html;\r\n\tcharset=\"windows-1252\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n";
      body = QuotedPrintable(HtmlOf(prose));
      break;
    case SynthKind::kCyrillic:
      h += "Content-Type: text/plain;\r\n\tcharset=\"koi8-r\"\r\nContent-Transfer-Encoding: 8bit\r\n";
      body = prose;
      break;
    case SynthKind::kJapanese:
      h += "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: 7bit\r\n";
      body = prose;
      break;
    case SynthKind::kAlternative: {
      std::string b = Boundary(rng, "NextPart_000");
      h += "Content-Type: multipart/alternative;\r\n\tboundary=\"" + b + "\"\r\n";
      std::string half = prose.substr(0, prose.size() / 2);
      body = "This is a multi-part message in MIME format.\r\n\r\n--" + b +
             "\r\nContent-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
             QuotedPrintable(half + "Gr\xC3\xBC\xC3\x9F" "e\r\n") + "\r\n--" + b +
             "\r\nContent-Type: text/html;\r\n\tcharset=\"utf-8\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
             QuotedPrintable(HtmlOf(half)) + "\r\n--" + b + "--\r\n";
      break;
    }
    case SynthKind::kAttachment: {
      std::string b = Boundary(rng, "NextPart_000");
      static const std::array<const char*, 3> kNames = {"report.pdf", "photo.jpg", "data.bin"};
      static const std::array<const char*, 3> kTypes = {"application/pdf", "image/jpeg",
                                                        "application/octet-stream"};
      std::size_t which = rng.Below(3);
      std::string text = prose.substr(0, prose.size() / 4 + 1);
      std::size_t binary = (prose.size() - text.size()) * 3 / 4;
      h += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + b + "\"\r\n";
      body = "This is a multi-part message in MIME format.\r\n\r\n--" + b +
             "\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n" + text + "\r\n--" + b +
             "\r\nContent-Type: " + kTypes[which] + ";\r\n\tname=\"" + kNames[which] +
             "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
             "\tfilename=\"" + kNames[which] + "\"\r\n\r\n" + Base64(RandomBytes(rng, binary)) +
             "\r\n--" + b + "--\r\n";
      break;
    }
    case SynthKind::kSigned: {
      std::string b = Boundary(rng, "NextPart_001");
      h += "Content-Type: multipart/signed;\r\n\tprotocol=\"application/x-pkcs7-signature\";\r\n"
           "\tmicalg=SHA1;\r\n\tboundary=\"" + b + "\"\r\n";
      body = "This is a multi-part message in MIME format.\r\n\r\n--" + b +
             "\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n" + prose + "\r\n--" + b +
             "\r\nContent-Type: application/x-pkcs7-signature;\r\n\tname=\"smime.p7s\"\r\n"
             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
             "\tfilename=\"smime.p7s\"\r\n\r\n" + Base64(RandomBytes(rng, 384)) + "\r\n--" + b +
             "--\r\n";
      break;
    }
  }
  return h + "\r\n" + body;
}

}  // namespace

SynthKind SynthKindOf(std::size_t index, const SynthOptions& options) {
  return static_cast<SynthKind>((index + options.seed) % kSynthKindCount);
}

std::string SynthesizeEml(std::size_t index, const SynthOptions& options) {
  const SynthKind kind = SynthKindOf(index, options);
  Rng sizes(options.seed ^ (index * 0xD1B54A32D192ED03ULL));
  if (options.message_size == 0) {
    return Build(index, kind, 600 + sizes.Below(8000), options.seed);
  }
  // Text grows about linearly with the prose length, at a rate that depends
  // on the kind (quoting, base64); the rates are measured once per process.
  struct Rate {
    double per_byte;
    double fixed;
  };
  static const std::array<Rate, kSynthKindCount> kRates = [] {
    std::array<Rate, kSynthKindCount> rates{};
    for (int k = 0; k < kSynthKindCount; ++k) {
      double small = static_cast<double>(Build(0, static_cast<SynthKind>(k), 200, 1).size());
      double large = static_cast<double>(Build(0, static_cast<SynthKind>(k), 8200, 1).size());
      rates[k].per_byte = (large - small) / 8000.0;
      rates[k].fixed = small - 200.0 * rates[k].per_byte;
    }
    return rates;
  }();
  const Rate& rate = kRates[static_cast<std::size_t>(kind)];
  const double target = static_cast<double>(options.message_size);
  auto length_for = [&](double wanted) {
    return wanted <= 0.0 ? std::size_t{0} : static_cast<std::size_t>(wanted / rate.per_byte);
  };
  std::size_t length = length_for(target - rate.fixed);
  std::string text = Build(index, kind, length, options.seed);
  const double miss = target - static_cast<double>(text.size());
  if (miss > target * 0.02 || -miss > target * 0.02) {
    std::size_t corrected = length_for(static_cast<double>(length) * rate.per_byte + miss);
    if (corrected != length) text = Build(index, kind, corrected, options.seed);
  }
  return text;
}

Message SynthesizeMessage(std::size_t index, const SynthOptions& options) {
  Message message = MessageFromEml(SynthesizeEml(index, options), options.defaults);
  Rng rng(options.seed * 31 + index);
  uint32_t flags = message.flags.value_or(0);
  if (rng.Below(4) == 0) flags &= ~kFlagRead;
  if (rng.Below(12) == 0) flags |= kFlagMarked;
  if (rng.Below(40) == 0) flags |= kFlagThreadWatched;
  message.flags = flags;
  return message;
}

}  // namespace dbxgen
