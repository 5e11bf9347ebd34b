// Header fields to envelope properties and recipient rows.
#include "platform/mail/envelope.h"

#include <algorithm>
#include <iterator>

#include "platform/mail/encoded_words.h"
#include "platform/mail/gmime_util.h"
#include "platform/mail/header_fields.h"
#include "platform/mail/prop_ids.h"
#include "platform/mail/recipients.h"
#include "platform/text/utf.h"

namespace mail {

namespace {

std::vector<Address> AddressesOf(InternetAddressList* list) {
  std::vector<Address> out;
  if (list == nullptr) return out;
  int n = internet_address_list_length(list);
  for (int i = 0; i < n; ++i) {
    InternetAddress* ia = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(ia)) {
      std::vector<Address> members =
          AddressesOf(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(ia)));
      out.insert(out.end(), members.begin(), members.end());
      continue;
    }
    Address a;
    const char* name = internet_address_get_name(ia);
    if (name) a.name = text::Utf8ToUtf16(TrimBlanks(name));
    if (INTERNET_ADDRESS_IS_MAILBOX(ia)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia));
      std::string spec = addr ? TrimBlanks(addr) : "";
      if (a.name.empty() && spec.find('@') == std::string::npos &&
          spec.find_first_of("\" \t") != std::string::npos) {
        // A display name alone ("To: \"New User\""): a name, not an address.
        std::string name;
        for (char c : spec) {
          if (c != '"') name.push_back(c);
        }
        a.name = text::Utf8ToUtf16(TrimBlanks(name));
      } else {
        a.address = text::Utf8ToUtf16(spec);
      }
    }
    if (a.address.empty() && a.name.empty()) continue;
    out.push_back(std::move(a));
  }
  return out;
}

bool IsAtomChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '+' ||
         c == '-';
}

// Atoms of IsAtomChar joined by single dots ("a.b-c").
bool IsDotAtom(std::string_view s) {
  if (s.empty() || s.front() == '.' || s.back() == '.') return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '.' ? s[i - 1] == '.' : !IsAtomChar(s[i])) return false;
  }
  return true;
}

// local@domain, both dot-atoms, the domain with at least one dot.
bool IsPlainAddress(std::string_view s) {
  const size_t at = s.find('@');
  if (at == std::string_view::npos) return false;
  std::string_view domain = s.substr(at + 1);
  return IsDotAtom(s.substr(0, at)) && IsDotAtom(domain) && domain.find('.') != std::string_view::npos;
}

// Words of letters and digits between single blanks, or such text in quotes.
bool IsPlainName(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  if (s.empty() || s.front() == ' ' || s.back() == ' ') return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && !(c == ' ' && s[i - 1] != ' ')) return false;
  }
  return true;
}

// An address list GMime reads without a word to say, so that it need not be
// parsed for its warnings: one line of comma-separated mailboxes, each a
// plain address alone, or in angle brackets after nothing or a plain name
// and a blank.
bool IsPlainAddressList(std::string_view value) {
  if (value.ends_with("\r\n")) {
    value.remove_suffix(2);
  } else if (value.ends_with('\n')) {
    value.remove_suffix(1);
  }
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  while (true) {
    const size_t comma = value.find(',');
    std::string_view item = value.substr(0, comma);
    const size_t b = item.find_first_not_of(' ');
    if (b == std::string_view::npos) return false;
    item = item.substr(b, item.find_last_not_of(' ') + 1 - b);
    if (item.ends_with('>')) {
      const size_t lt = item.find('<');
      if (lt == std::string_view::npos || !IsPlainAddress(item.substr(lt + 1, item.size() - lt - 2))) return false;
      if (lt > 0 && (item[lt - 1] != ' ' || !IsPlainName(item.substr(0, lt - 1)))) return false;
    } else if (!IsPlainAddress(item)) {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    value.remove_prefix(comma + 1);
  }
}

// The mailboxes of a list IsPlainAddressList accepts, as GMime reads them:
// the name without its quotes, the address as written.
std::vector<Address> PlainAddresses(std::string_view value) {
  std::vector<Address> out;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    std::string_view item = value.substr(0, comma);
    value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
    const size_t b = item.find_first_not_of(" \r\n");
    if (b == std::string_view::npos) continue;
    item = item.substr(b, item.find_last_not_of(" \r\n") + 1 - b);
    Address a;
    const size_t lt = item.find('<');
    if (lt == std::string_view::npos) {
      a.address = text::Utf8ToUtf16(item);
    } else {
      a.address = text::Utf8ToUtf16(item.substr(lt + 1, item.size() - lt - 2));
      std::string_view name = item.substr(0, lt);
      while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
      if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
      a.name = text::Utf8ToUtf16(name);
    }
    out.push_back(std::move(a));
  }
  return out;
}

// The values of the fields `name` as written: from `fields` when given,
// else from the parsed message.
std::vector<std::string> RawValues(GMimeObject* obj, const std::vector<HeaderField>* fields, const char* name) {
  if (fields == nullptr) return RawHeaderValues(obj, name);
  std::vector<std::string> values;
  for (const HeaderField& f : *fields) {
    if (EqualNoCase(f.name, name)) {
      values.emplace_back(f.value);
    }
  }
  return values;
}

// The addresses of the fields `name`: of every one of them, or of the first
// only for a field that may occur once. Names are decoded word by word
// before the address parser sees them.
std::vector<Address> AddressField(GMimeObject* obj, const std::vector<HeaderField>* fields, const char* name,
                                  bool first_only, const TextDefaults& defaults) {
  std::vector<std::string> raw = RawValues(obj, fields, name);
  if (raw.empty()) return {};
  if (first_only) raw.resize(1);
  if (std::all_of(raw.begin(), raw.end(), [](const std::string& v) { return IsPlainAddressList(v); })) {
    // Nothing to decode, and nothing a parser could read otherwise.
    std::vector<Address> out;
    for (const std::string& value : raw) {
      std::vector<Address> some = PlainAddresses(value);
      out.insert(out.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
    }
    return out;
  }
  std::string joined;
  for (const auto& value : raw) {
    if (!joined.empty()) joined += ", ";
    joined += DecodeAddressWords(value, defaults);
  }
  return ParseAddressListWithGMime(joined);
}

constexpr const char* kAddressFields[] = {"From", "Sender", "Reply-To", "To", "Cc", "Bcc"};

// GMime reads the address fields of a message as address lists while it
// parses one, and warns of what it cannot read in them.
void CheckAddressFields(const std::vector<HeaderField>& fields, GMimeParserOptions* options) {
  for (const HeaderField& f : fields) {
    for (const char* name : kAddressFields) {
      if (!EqualNoCase(f.name, name)) {
        continue;
      }
      if (IsPlainAddressList(f.value)) break;
      const std::string value(f.value);
      if (InternetAddressList* parsed = internet_address_list_parse(options, value.c_str())) g_object_unref(parsed);
      break;
    }
  }
}

}  // namespace

std::vector<Address> ParseAddressListWithGMime(std::string_view value) {
  EnsureGMimeInitialized();
  const std::string text(value);
  InternetAddressList* list = internet_address_list_parse(nullptr, text.c_str());
  std::vector<Address> out = AddressesOf(list);
  if (list != nullptr) g_object_unref(list);
  return out;
}

std::vector<Address> ParseAddressList(std::string_view value) {
  return IsPlainAddressList(value) ? PlainAddresses(value) : ParseAddressListWithGMime(value);
}

void MapEnvelope(GMimeObject* obj, const std::vector<HeaderField>* fields, GMimeParserOptions* options,
                 std::string_view raw_headers, const TextDefaults& defaults, pst::MessageContent* out,
                 ImportReport* report) {
  if (fields != nullptr) CheckAddressFields(*fields, options);

  // Subject, From, Sender and Date given twice: the first counts. Address
  // lists given twice are read together, so no recipient is dropped.
  std::vector<std::string> subjects = RawValues(obj, fields, "Subject");
  bool subject_lossy = false;
  std::u16string subject =
      subjects.empty() ? u"" : text::Utf8ToUtf16(DecodeHeaderText(subjects.front(), defaults, &subject_lossy));
  if (subject_lossy) report->warnings.push_back("the subject has bytes that fit no character set");
  SubjectParts parts = SplitSubject(subject);
  out->Set(pst::MakeString(prop::kSubject, subject));
  if (!parts.prefix.empty()) out->Set(pst::MakeString(prop::kSubjectPrefix, parts.prefix));
  out->Set(pst::MakeString(prop::kNormalizedSubject, parts.normalized));
  out->Set(pst::MakeString(prop::kConversationTopic, parts.normalized));

  std::vector<Address> from = AddressField(obj, fields, "From", true, defaults);
  std::vector<Address> sender = AddressField(obj, fields, "Sender", true, defaults);
  if (!from.empty()) SetSentRepresenting(from.front(), out);
  if (!sender.empty()) {
    SetSender(sender.front(), out);
  } else if (!from.empty()) {
    SetSender(from.front(), out);
  }
  SetReplyTo(AddressField(obj, fields, "Reply-To", false, defaults), out);

  const struct {
    const char* field;
    int32_t recipient_type;
    uint16_t display;
  } kLists[] = {{"To", kRecipTo, prop::kDisplayTo}, {"Cc", kRecipCc, prop::kDisplayCc},
                {"Bcc", kRecipBcc, prop::kDisplayBcc}};
  for (const auto& l : kLists) {
    std::vector<Address> list = AddressField(obj, fields, l.field, false, defaults);
    out->Set(pst::MakeString(l.display, DisplayList(list)));
    for (const auto& a : list) out->recipients.push_back(MakeRecipient(a, l.recipient_type));
  }

  std::vector<std::string> dates = RawValues(obj, fields, "Date");
  GDateTime* date = dates.empty() ? nullptr : g_mime_utils_header_decode_date(dates.front().c_str());
  if (date != nullptr) {
    int64_t unix_seconds = g_date_time_to_unix(date);
    g_date_time_unref(date);
    if (unix_seconds > -11644473600LL) {
      out->Set(pst::MakeTime(prop::kClientSubmitTime,
                             static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL));
    }
  }

  std::string message_id = TrimBlanks(HeaderValue(obj, "Message-Id"));
  if (!message_id.empty()) out->Set(pst::MakeString(prop::kInternetMessageId, text::Utf8ToUtf16(message_id)));
  std::string in_reply_to = UnfoldValue(HeaderValue(obj, "In-Reply-To"));
  if (!in_reply_to.empty()) out->Set(pst::MakeString(prop::kInReplyToId, text::Utf8ToUtf16(in_reply_to)));
  std::string references = UnfoldValue(HeaderValue(obj, "References"));
  if (!references.empty()) out->Set(pst::MakeString(prop::kInternetReferences, text::Utf8ToUtf16(references)));

  PriorityHeaders ph;
  ph.importance = HeaderValue(obj, "Importance");
  ph.priority = HeaderValue(obj, "Priority");
  ph.x_priority = HeaderValue(obj, "X-Priority");
  ph.x_msmail_priority = HeaderValue(obj, "X-MSMail-Priority");
  if (auto v = ImportanceFromHeaders(ph)) out->Set(pst::MakeInt32(prop::kImportance, *v));
  if (auto v = PriorityFromHeaders(ph)) out->Set(pst::MakeInt32(prop::kPriority, *v));
  if (auto v = SensitivityFromHeader(HeaderValue(obj, "Sensitivity"))) {
    out->Set(pst::MakeInt32(prop::kSensitivity, *v));
  }

  std::string note;
  DecodedText headers = DecodeText(raw_headers, "", defaults, nullptr, &note);
  if (headers.lossy) report->unmapped.push_back("header block has bytes that fit no character set");
  out->Set(pst::MakeString(prop::kTransportMessageHeaders, std::move(headers.text)));
}

}  // namespace mail
