// The import: parse with GMime, map the header fields, choose the bodies,
// collect the attachments, and keep the original when something is damaged.
#include "platform/mail/import.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include "platform/mail/charset.h"
#include "platform/mail/encoded_words.h"
#include "platform/mail/encoding_check.h"
#include "platform/mail/envelope.h"
#include "platform/mail/file_names.h"
#include "platform/mail/gmime_util.h"
#include "platform/mail/header_fields.h"
#include "platform/mail/html_text.h"
#include "platform/mail/part_bounds.h"
#include "platform/mail/part_source.h"
#include "platform/mail/prop_ids.h"
#include "platform/text/utf.h"

namespace mail {

namespace {

constexpr uint64_t kMaxInput = uint64_t{1} << 31;
// An attachment whose content in the message is at least this long is left
// there, to be decoded as it is written, when the import shares the text.
constexpr size_t kStreamedPartMin = 256 * 1024;

uint64_t NowFiletime() {
  using namespace std::chrono;
  auto since_epoch = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint64_t>(since_epoch) * 10 + 116444736000000000ULL;
}

std::string Describe(GMimeParserWarning code) {
  switch (code) {
    case GMIME_WARN_DUPLICATED_HEADER: return "a header field appears twice";
    case GMIME_WARN_DUPLICATED_PARAMETER: return "a header parameter appears twice";
    case GMIME_WARN_UNENCODED_8BIT_HEADER: return "8-bit text in a header field";
    case GMIME_WARN_INVALID_CONTENT_TYPE: return "invalid Content-Type, read as application/octet-stream";
    case GMIME_WARN_INVALID_RFC2047_HEADER_VALUE: return "invalid encoded word in a header field";
    case GMIME_WARN_MALFORMED_MULTIPART: return "multipart without parts";
    case GMIME_WARN_TRUNCATED_MESSAGE: return "message is truncated (missing closing boundary)";
    case GMIME_WARN_MALFORMED_MESSAGE: return "malformed message";
    case GMIME_CRIT_INVALID_HEADER_NAME: return "invalid header field name";
    case GMIME_CRIT_CONFLICTING_HEADER: return "conflicting header fields";
    case GMIME_CRIT_CONFLICTING_PARAMETER: return "conflicting header parameters";
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY: return "multipart without boundary";
    case GMIME_WARN_INVALID_PARAMETER: return "invalid header parameter";
    case GMIME_WARN_INVALID_ADDRESS_LIST: return "invalid address list";
    case GMIME_CRIT_NESTING_OVERFLOW: return "MIME nesting too deep";
    case GMIME_WARN_PART_WITHOUT_CONTENT: return "MIME part without content";
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT: return "MIME part without headers or content";
  }
  return "parser warning";
}

// Warnings that mean the structure GMime built may not be what the sender
// wrote, so bytes may sit in the wrong place or be cut off.
bool IsStructural(GMimeParserWarning code) {
  switch (code) {
    case GMIME_WARN_MALFORMED_MULTIPART:
    case GMIME_WARN_TRUNCATED_MESSAGE:
    case GMIME_WARN_MALFORMED_MESSAGE:
    case GMIME_CRIT_INVALID_HEADER_NAME:
    case GMIME_CRIT_CONFLICTING_HEADER:
    case GMIME_CRIT_CONFLICTING_PARAMETER:
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY:
    case GMIME_CRIT_NESTING_OVERFLOW:
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT:
      return true;
    default:
      return false;
  }
}

struct ParseLog {
  std::set<std::string> structural;
  std::set<std::string> notes;
};

void OnParserWarning(gint64 /*offset*/, GMimeParserWarning code, const gchar* item, gpointer data) {
  auto* log = static_cast<ParseLog*>(data);
  std::string text = Describe(code);
  if (item != nullptr && code != GMIME_WARN_UNENCODED_8BIT_HEADER) {
    // The item is raw input (a broken header line may hold any bytes): shown
    // as valid UTF-8 on one line, at most 60 characters, so that the report
    // and the terminal can carry it.
    gchar* valid = g_utf8_make_valid(item, -1);
    for (gchar* c = valid; *c != '\0'; ++c) {
      if (static_cast<unsigned char>(*c) < 0x20) *c = ' ';
    }
    const glong length = g_utf8_strlen(valid, -1);
    gchar* shown = g_utf8_substring(valid, 0, std::min<glong>(length, 60));
    text += std::string(" (") + shown + (length > 60 ? "...)" : ")");
    g_free(shown);
    g_free(valid);
  }
  // An mbox separator line ("From sender date") before the header is not
  // part of the message; GMime reads past it.
  bool separator = code == GMIME_CRIT_INVALID_HEADER_NAME && item != nullptr &&
                   (std::string_view(item).starts_with("From ") || std::string_view(item).starts_with(">From "));
  (IsStructural(code) && !separator ? log->structural : log->notes).insert(text);
}

pst::Property MakeNamedString(const pst::Guid& set, std::u16string name, std::u16string value) {
  pst::Property p;
  p.type = pst::PropType::kString;
  p.named = true;
  p.name.property_set = set;
  p.name.kind = pst::PropertyName::Kind::kString;
  p.name.name = std::move(name);
  p.value = std::move(value);
  return p;
}

size_t ValueSize(const pst::Property& p) {
  struct Visitor {
    size_t operator()(int64_t) const { return 8; }
    size_t operator()(double) const { return 8; }
    size_t operator()(uint64_t) const { return 8; }
    size_t operator()(const std::u16string& s) const { return 2 * s.size() + 2; }
    size_t operator()(const std::vector<uint8_t>& b) const { return b.size(); }
    size_t operator()(const std::vector<int32_t>& v) const { return 4 * v.size(); }
    size_t operator()(const std::vector<std::u16string>& v) const {
      size_t n = 0;
      for (const auto& s : v) n += 2 * s.size() + 2;
      return n;
    }
    size_t operator()(const std::vector<std::vector<uint8_t>>& v) const {
      size_t n = 0;
      for (const auto& b : v) n += b.size();
      return n;
    }
    size_t operator()(const std::shared_ptr<const pst::ValueSource>& v) const { return v ? v->size() : 0; }
  };
  return std::visit(Visitor{}, p.value) + 8;
}

size_t PropsSize(const std::vector<pst::Property>& props) {
  size_t n = 0;
  for (const auto& p : props) n += ValueSize(p);
  return n;
}

int32_t ClampSize(size_t n) { return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(n); }

// The size of everything a message holds; the store recomputes the exact
// figure when it writes the message.
size_t ContentSize(const pst::MessageContent& m) {
  size_t n = PropsSize(m.props);
  for (const auto& r : m.recipients) n += PropsSize(r.props);
  for (const auto& a : m.attachments) {
    n += PropsSize(a.props);
    if (a.embedded) n += ContentSize(*a.embedded);
  }
  return n;
}

// Whether `name` is a Content- field or one of `names`.
bool ContentFieldOrOneOf(std::string_view name, std::span<const std::string_view> names) {
  if (name.size() > 8 && EqualNoCase(name.substr(0, 8), "content-")) return true;
  return std::any_of(names.begin(), names.end(), [name](std::string_view n) { return EqualNoCase(name, n); });
}

// Fields whose value the import reads through GMime, decoded, or that shape
// the MIME structure.
bool ReadThroughParser(std::string_view name) {
  static constexpr std::string_view kNames[] = {"message-id", "in-reply-to", "references",
                                                "importance", "priority", "x-priority", "x-msmail-priority",
                                                "sensitivity"};
  return ContentFieldOrOneOf(name, kNames);
}

// A value with control characters (a NUL ends GMime's copy of it).
bool HasControls(std::string_view value) {
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0x7F || (u < 0x20 && c != '\t' && c != '\r' && c != '\n')) return true;
  }
  return false;
}

// What may be an encoded word, which GMime decodes as it parses (and may
// warn about).
bool HasEncodedWord(std::string_view value) { return value.find("=?") != std::string_view::npos; }

// Fields a message holds once, which GMime reports when they come twice.
bool OnceOnlyField(std::string_view name) {
  static constexpr std::string_view kNames[] = {"from", "sender", "reply-to", "to", "cc", "bcc", "subject",
                                                "date", "message-id", "in-reply-to", "references"};
  return ContentFieldOrOneOf(name, kNames);
}

// More fields than this in a plain header block: parsed whole.
constexpr size_t kMaxPlainFields = 100;

// Making, decoding and freeing an object for each header field is most of
// what GMime's parse of a small message costs, and most fields (the address
// fields, subject, date, trace and X- fields) the import reads from the text
// itself or not at all. So GMime is shown the message with only the fields
// it needs: `rest` (the empty line and the body) after the fields that shape
// the structure or that the import reads through GMime, and any field with
// an encoded word, which GMime may warn about as it decodes it. The parse
// then finds what it finds in the whole message, warnings included: the one
// warning GMime gives for a field left out, 8-bit text that is not UTF-8,
// is given to `log` here. Repeated fields it reports differently for a
// message: a block with a repeated field that is shown, or that a message
// holds once, is not taken (false), nor one with control characters.
bool TextForParser(const std::vector<HeaderField>& fields, std::string_view rest, ParseLog* log,
                   std::string* text) {
  if (fields.size() > kMaxPlainFields) return false;
  std::vector<bool> shown(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (HasControls(fields[i].value)) return false;
    shown[i] = ReadThroughParser(fields[i].name) || HasEncodedWord(fields[i].value);
  }
  size_t size = rest.size();
  for (size_t i = 0; i < fields.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (EqualNoCase(fields[i].name, fields[j].name) && (shown[i] || shown[j] || OnceOnlyField(fields[i].name))) {
        return false;
      }
    }
    if (shown[i]) size += fields[i].text.size();
  }
  text->clear();
  text->reserve(size);
  for (size_t i = 0; i < fields.size(); ++i) {
    const HeaderField& f = fields[i];
    if (shown[i]) {
      text->append(f.text);
    } else if (!g_utf8_validate(f.value.data(), static_cast<gssize>(f.value.size()), nullptr)) {
      OnParserWarning(0, GMIME_WARN_UNENCODED_8BIT_HEADER, std::string(f.name).c_str(), log);
    }
  }
  text->append(rest);
  return true;
}

// The message being built while walking its MIME tree.
struct WalkState {
  bool body_started = false;
  GMimePart* plain = nullptr;
  GMimePart* html = nullptr;
  std::vector<GMimeObject*> attachments;  // parts that become attachments, in order
};

class Importer {
 public:
  // `shared`, when given, holds the text Import is handed, and may be kept
  // by the values made.
  Importer(const ImportOptions& opts, ImportReport* report, int depth, uint64_t now,
           std::shared_ptr<const std::string> shared = nullptr)
      : opts_(opts), report_(report), depth_(depth), now_(now), shared_(std::move(shared)) {
    defaults_.default_code_page = opts.default_code_page;
    defaults_.guess_utf8 = opts.guess_utf8;
  }

  void Import(std::string_view bytes, pst::MessageContent* out);

 private:
  void Walk(GMimeObject* obj, WalkState* state, bool in_body_entity);
  void MapBodies(const WalkState& state, pst::MessageContent* out);
  void AddAttachment(GMimeObject* part, pst::MessageContent* out);
  void AddEmbedded(GMimeMessagePart* part, pst::MessageContent* out);
  void AddByValue(std::u16string long_name, std::string mime_type, pst::PropertyData data, bool hidden,
                  const std::string& content_id, const std::string& content_location, pst::MessageContent* out);
  std::vector<uint8_t> PartBytes(GMimePart* part, const char* what);
  // An attachment's content: decoded here, or for a large part of a shared
  // text, a source that decodes it when it is written.
  pst::PropertyData AttachmentValue(GMimePart* part, const char* what);
  // A source over `window` of the shared text, or null when the text is
  // not shared, the window is small or does not lie in it.
  std::shared_ptr<const pst::ValueSource> Streamed(std::string_view window, TransferEncoding encoding) const;
  std::u16string PartFileName(GMimePart* part);
  bool ImportSigned(GMimeMultipartSigned* signed_part, std::string_view bytes, std::string_view raw_headers,
                    size_t body_offset, pst::MessageContent* out);
  bool ImportOpaque(GMimeObject* top, pst::MessageContent* out);
  void Unmapped(std::string text) { report_->unmapped.push_back(std::move(text)); }
  void Warn(std::string text) { report_->warnings.push_back(std::move(text)); }

  const ImportOptions& opts_;
  ImportReport* report_;
  int depth_;
  uint64_t now_;
  std::shared_ptr<const std::string> shared_;
  TextDefaults defaults_;
  // The chosen HTML body in lower case, to tell which parts it shows inline.
  std::string html_lower_;
  // The message as given, and the boundary of the multipart around each
  // attached message, to take attached messages from it byte for byte.
  std::string_view input_;
  std::map<GMimeObject*, std::string> enclosing_boundary_;
  std::string_view RawAttachedMessage(GMimeMessagePart* part) const;
  bool ShownInline(std::string_view reference) const {
    return !reference.empty() && html_lower_.find(AsciiLower(reference)) != std::string::npos;
  }
  std::set<std::u16string> short_names_;
  int untitled_ = 0;
  bool has_visible_attachment_ = false;
};

std::vector<uint8_t> Importer::PartBytes(GMimePart* part, const char* what) {
  std::string storage;
  std::string problem = CheckTransferEncoding(EncodingName(part), EncodedContent(part, &storage));
  if (!problem.empty()) Unmapped(std::string(what) + ": " + problem);
  return DecodedContent(part);
}

std::shared_ptr<const pst::ValueSource> Importer::Streamed(std::string_view window, TransferEncoding encoding) const {
  if (!shared_ || window.size() < kStreamedPartMin) return nullptr;
  const auto begin = reinterpret_cast<uintptr_t>(shared_->data());
  const auto at = reinterpret_cast<uintptr_t>(window.data());
  if (at < begin || window.size() > shared_->size() || at - begin > shared_->size() - window.size()) return nullptr;
  return PartSource::Measure(shared_, at - begin, window.size(), encoding);
}

pst::PropertyData Importer::AttachmentValue(GMimePart* part, const char* what) {
  std::string storage;
  std::string_view encoded = EncodedContent(part, &storage);
  const std::string encoding = EncodingName(part);
  std::string problem = CheckTransferEncoding(encoding, encoded);
  if (!problem.empty()) Unmapped(std::string(what) + ": " + problem);
  if (storage.empty()) {
    // The encodings DecodedContent undoes; every other is taken as it stands.
    const TransferEncoding e = encoding == "base64"             ? TransferEncoding::kBase64
                               : encoding == "quoted-printable" ? TransferEncoding::kQuotedPrintable
                               : encoding == "x-uuencode"       ? TransferEncoding::kUuencode
                                                                : TransferEncoding::kNone;
    if (auto source = Streamed(encoded, e)) return source;
  }
  return DecodedContent(part);
}

// The file name a part gives itself, decoded word by word: the filename of
// its Content-Disposition, else the name of its Content-Type.
std::u16string Importer::PartFileName(GMimePart* part) {
  GMimeObject* obj = GMIME_OBJECT(part);
  const char* const kPlaces[][2] = {{"Content-Disposition", "filename"}, {"Content-Type", "name"}};
  for (const auto& place : kPlaces) {
    std::vector<std::string> fields = RawHeaderValues(obj, place[0]);
    if (fields.empty()) continue;
    std::string name = HeaderParameter(fields.front(), place[1], defaults_);
    if (!name.empty()) return text::Utf8ToUtf16(name);
  }
  const char* filename = g_mime_part_get_filename(part);
  return filename ? text::Utf8ToUtf16(filename) : u"";
}

void Importer::Import(std::string_view bytes, pst::MessageContent* out) {
  *out = pst::MessageContent();
  out->props.reserve(48);  // what a message with a few addresses takes
  out->Set(pst::MakeString(prop::kMessageClass, u"IPM.Note"));
  out->Set(pst::MakeTime(prop::kCreationTime, now_));
  out->Set(pst::MakeTime(prop::kLastModificationTime, now_));
  out->Set(pst::MakeInt32(prop::kImportance, 1));
  out->Set(pst::MakeInt32(prop::kPriority, 0));
  if (bytes.empty()) {
    Warn("the message is empty");
    for (uint16_t id : {prop::kSubject, prop::kNormalizedSubject, prop::kConversationTopic, prop::kDisplayTo,
                        prop::kDisplayCc, prop::kDisplayBcc}) {
      out->Set(pst::MakeString(id, u""));
    }
    out->Set(pst::MakeInt32(prop::kMessageFlags, 0));
    out->Set(pst::MakeInt32(prop::kMessageSize, ClampSize(ContentSize(*out))));
    return;
  }

  input_ = bytes;
  ParseLog log;
  HeaderBlock block = FindHeaderBlock(bytes);
  // A plain header block is read here, and GMime shown only the fields it
  // needs (TextForParser); any other message it parses whole, in place.
  std::optional<std::vector<HeaderField>> fields;
  std::string shown;
  if (!opts_.parse_whole && bytes.size() < kStreamedPartMin && block.body_offset > block.headers.size()) {
    fields = SplitPlainHeaderBlock(block.headers);
    if (fields && !TextForParser(*fields, bytes.substr(block.headers.size()), &log, &shown)) fields.reset();
    if (fields) input_ = shown;
  }
  // GMime reads its text in place: the parts are windows on it, not copies.
  std::optional<BorrowedStream> stream(std::in_place, input_);
  GMimeParserOptions* popts = g_mime_parser_options_new();
  g_mime_parser_options_set_warning_callback(popts, OnParserWarning, &log);
  std::string fallback = CharsetForCodePage(opts_.default_code_page);
  const char* charsets[] = {"utf-8", fallback.empty() ? "windows-1252" : fallback.c_str(), nullptr};
  g_mime_parser_options_set_fallback_charsets(popts, opts_.guess_utf8 ? charsets : charsets + 1);
  GMimeObject* quick = fields ? ParseEntity(stream->get(), popts) : nullptr;
  if (fields && (quick == nullptr || !log.structural.empty())) {
    // GMime may say more of a broken message when it parses it whole: such
    // a message is parsed again, whole, so that what the report says of it
    // does not depend on how it was read.
    if (quick != nullptr) g_object_unref(quick);
    quick = nullptr;
    fields.reset();
    log = ParseLog();
    input_ = bytes;
    stream.emplace(input_);
  }
  GRef<GMimeObject> entity(quick);
  GRef<GMimeMessage> msg(fields ? nullptr : ParseMessage(stream->get(), popts));

  if (!msg && !entity) {
    Unmapped("the text is not a readable Internet message");
  } else {
    GMimeObject* message = msg ? GMIME_OBJECT(msg.get()) : entity.get();
    MapEnvelope(message, fields ? &*fields : nullptr, popts, block.headers, defaults_, out, report_);
    GMimeObject* top = msg ? g_mime_message_get_mime_part(msg.get()) : entity.get();
    bool done = false;
    if (top != nullptr && GMIME_IS_MULTIPART_SIGNED(top)) {
      done = ImportSigned(GMIME_MULTIPART_SIGNED(top), bytes, block.headers, block.body_offset, out);
    } else if (top != nullptr) {
      done = ImportOpaque(top, out);
    }
    if (!done && top != nullptr) {
      WalkState state;
      Walk(top, &state, false);
      MapBodies(state, out);
      for (GMimeObject* p : state.attachments) AddAttachment(p, out);
    }
  }
  g_mime_parser_options_free(popts);

  for (const auto& s : log.structural) Unmapped(s);
  for (const auto& s : log.notes) Warn(s);

  if (!report_->unmapped.empty() && !report_->original_attached && !report_->signed_entity_kept) {
    // Keep every byte: the original goes along as a file of its own.
    pst::PropertyData original;
    if (auto source = Streamed(bytes, TransferEncoding::kNone)) {
      original = source;
    } else {
      original = std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    AddByValue(kOriginalMessageName, "message/rfc822", std::move(original), false, "", "", out);
    report_->original_attached = true;
  }
  out->Set(pst::MakeInt32(prop::kMessageFlags, has_visible_attachment_ ? kMsgFlagHasAttach : 0));
  out->Set(pst::MakeInt32(prop::kMessageSize, ClampSize(ContentSize(*out) + 4)));
}

void Importer::Walk(GMimeObject* obj, WalkState* state, bool in_body_entity) {
  if (GMIME_IS_MESSAGE_PART(obj)) {
    state->attachments.push_back(obj);
    return;
  }
  if (GMIME_IS_MULTIPART(obj)) {
    GMimeMultipart* mp = GMIME_MULTIPART(obj);
    int n = g_mime_multipart_get_count(mp);
    if (const char* boundary = g_mime_multipart_get_boundary(mp)) {
      for (int i = 0; i < n; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(mp, i);
        if (GMIME_IS_MESSAGE_PART(child)) enclosing_boundary_[child] = boundary;
      }
    }
    std::string type = MimeTypeOf(obj);
    if (type == "multipart/alternative") {
      bool fill = in_body_entity || !state->body_started;
      state->body_started = true;
      for (int i = 0; i < n; ++i) Walk(g_mime_multipart_get_part(mp, i), state, fill);
      return;
    }
    if (type == "multipart/related" && n > 0) {
      int root = 0;
      std::string start = ContentTypeParam(obj, "start");
      if (!start.empty()) {
        if (start.front() == '<') start = start.substr(1);
        if (!start.empty() && start.back() == '>') start.pop_back();
        for (int i = 0; i < n; ++i) {
          const char* id = g_mime_object_get_content_id(g_mime_multipart_get_part(mp, i));
          if (id != nullptr && start == id) root = i;
        }
      }
      Walk(g_mime_multipart_get_part(mp, root), state, in_body_entity);
      for (int i = 0; i < n; ++i) {
        if (i != root) Walk(g_mime_multipart_get_part(mp, i), state, false);
      }
      return;
    }
    for (int i = 0; i < n; ++i) Walk(g_mime_multipart_get_part(mp, i), state, in_body_entity);
    return;
  }
  if (!GMIME_IS_PART(obj)) return;
  GMimePart* part = GMIME_PART(obj);
  std::string type = MimeTypeOf(obj);
  const char* disposition = g_mime_object_get_disposition(obj);
  bool attachment_disposed = disposition != nullptr && AsciiLower(disposition) == "attachment";
  bool named = g_mime_part_get_filename(part) != nullptr;
  bool text_body = (type == "text/plain" || type == "text/html") && !attachment_disposed && !named;
  if (text_body && (in_body_entity || !state->body_started)) {
    GMimePart** slot = type == "text/plain" ? &state->plain : &state->html;
    if (*slot == nullptr) {
      *slot = part;
      state->body_started = true;
      return;
    }
  }
  state->attachments.push_back(obj);
}

void Importer::MapBodies(const WalkState& state, pst::MessageContent* out) {
  uint32_t code_page = 0;
  std::u16string plain_text;
  bool have_plain = false;
  if (state.plain != nullptr) {
    std::vector<uint8_t> data = PartBytes(state.plain, "plain-text body");
    std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    std::string used, note;
    DecodedText text = DecodeText(bytes, ContentTypeParam(GMIME_OBJECT(state.plain), "charset"), defaults_,
                                  &used, &note);
    if (!note.empty()) Warn("plain-text body: " + note + ", read as " + used);
    if (text.lossy) Unmapped("plain-text body has bytes that are not valid " + used);
    plain_text = std::move(text.text);
    have_plain = true;
    code_page = CodePageForCharset(used);
  }
  if (state.html != nullptr) {
    std::vector<uint8_t> bytes = PartBytes(state.html, "HTML body");
    std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string note;
    std::string cs = ChooseCharset(view, ContentTypeParam(GMIME_OBJECT(state.html), "charset"), defaults_, &note);
    if (!note.empty()) Warn("HTML body: " + note + ", read as " + cs);
    DecodedText decoded;
    DecodeCharset(view, cs, &decoded);
    if (decoded.lossy) Unmapped("HTML body has bytes that are not valid " + cs);
    uint32_t html_cp = CodePageForCharset(cs);
    if (html_cp == 0 || html_cp == 1200 || html_cp == 1201) {
      // A charset Windows has no code page for: store the HTML as UTF-8.
      std::string utf8 = text::Utf16ToUtf8(decoded.text);
      bytes.assign(utf8.begin(), utf8.end());
      html_cp = 65001;
    }
    html_lower_ = AsciiLower(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    out->Set(pst::MakeBinary(prop::kHtml, std::move(bytes)));
    code_page = html_cp;
    if (!have_plain) {
      plain_text = HtmlToText(decoded.text);
      have_plain = true;
    }
  }
  if (have_plain) {
    if (plain_text.find(u'\0') != std::u16string::npos) {
      Unmapped("body text holds NUL characters, which a text property cannot keep");
      std::erase(plain_text, u'\0');
    }
    out->Set(pst::MakeString(prop::kBody, std::move(plain_text)));
  }
  if (code_page == 0 && (state.plain != nullptr || state.html != nullptr)) code_page = 65001;
  if (code_page != 0) out->Set(pst::MakeInt32(prop::kInternetCodepage, static_cast<int32_t>(code_page)));
}

void Importer::AddAttachment(GMimeObject* object, pst::MessageContent* out) {
  if (GMIME_IS_MESSAGE_PART(object)) {
    AddEmbedded(GMIME_MESSAGE_PART(object), out);
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  GMimePart* part = GMIME_PART(object);
  std::string type = MimeTypeOf(object);
  std::u16string name = CleanFileName(PartFileName(part));
  if (name.empty()) name = DefaultFileName(type, ++untitled_);
  pst::PropertyData data = AttachmentValue(part, ("attachment \"" + text::Utf16ToUtf8(name) + "\"").c_str());
  const char* cid = g_mime_object_get_content_id(object);
  const char* location = g_mime_part_get_content_location(part);
  std::string content_id = cid ? TrimBlanks(cid) : "";
  std::string content_location = location ? TrimBlanks(location) : "";

  // An inline image the HTML body shows is hidden; an explicit "attachment"
  // disposition always keeps a part visible.
  const char* disposition = g_mime_object_get_disposition(object);
  bool attachment_disposed = disposition != nullptr && AsciiLower(disposition) == "attachment";
  bool referenced = (!content_id.empty() && ShownInline("cid:" + content_id)) || ShownInline(content_location);
  bool hidden = referenced && !attachment_disposed;
  AddByValue(std::move(name), type, std::move(data), hidden, content_id, content_location, out);
}

void Importer::AddByValue(std::u16string long_name, std::string mime_type, pst::PropertyData data, bool hidden,
                          const std::string& content_id, const std::string& content_location,
                          pst::MessageContent* out) {
  pst::AttachmentContent a;
  auto& p = a.props;
  p.push_back(pst::MakeInt32(prop::kAttachMethod, kAttachByValue));
  p.push_back(pst::MakeString(prop::kAttachLongFilename, long_name));
  p.push_back(pst::MakeString(prop::kAttachFilename, ShortFileName(long_name, &short_names_)));
  p.push_back(pst::MakeString(prop::kAttachExtension, FileExtension(long_name)));
  p.push_back(pst::MakeString(prop::kDisplayName, long_name));
  p.push_back(pst::MakeString(prop::kAttachMimeTag, text::Utf8ToUtf16(mime_type)));
  if (!content_id.empty()) p.push_back(pst::MakeString(prop::kAttachContentId, text::Utf8ToUtf16(content_id)));
  if (!content_location.empty()) {
    p.push_back(pst::MakeString(prop::kAttachContentLocation, text::Utf8ToUtf16(content_location)));
  }
  p.push_back(pst::MakeInt32(prop::kRenderingPosition, -1));
  p.push_back(pst::MakeBool(prop::kAttachmentHidden, hidden));
  if (hidden) p.push_back(pst::MakeInt32(prop::kAttachFlags, kAttachMhtmlRef));
  p.push_back(pst::MakeTime(prop::kCreationTime, now_));
  p.push_back(pst::MakeTime(prop::kLastModificationTime, now_));
  p.push_back(pst::Property{prop::kAttachDataBinary, pst::PropType::kBinary, false, {}, std::move(data)});
  p.push_back(pst::MakeInt32(prop::kAttachSize, ClampSize(PropsSize(p) + 4)));
  if (!hidden) has_visible_attachment_ = true;
  out->attachments.push_back(std::move(a));
}

// The attached message exactly as it stands in the input: from its first
// header field to the line break before the next boundary (that line break
// belongs to the boundary). Empty when it cannot be located, as for an
// attached message sent in base64 or quoted-printable.
std::string_view Importer::RawAttachedMessage(GMimeMessagePart* part) const {
  GMimeObject* obj = GMIME_OBJECT(part);
  GMimeMessage* inner = g_mime_message_part_get_message(part);
  if (inner == nullptr) return {};
  std::string encoding = AsciiLower(TrimBlanks(HeaderValue(obj, "Content-Transfer-Encoding")));
  if (encoding == "base64" || encoding == "quoted-printable" || encoding == "x-uuencode") return {};
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(inner));
  if (headers == nullptr || g_mime_header_list_get_count(headers) == 0) return {};
  gint64 start = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
  if (start < 0 || static_cast<uint64_t>(start) >= input_.size()) return {};
  size_t end = input_.size();
  auto it = enclosing_boundary_.find(obj);
  if (it != enclosing_boundary_.end()) {
    end = FindBoundaryLine(input_, static_cast<size_t>(start), it->second);
    if (end == std::string_view::npos) end = input_.size();
  }
  return input_.substr(static_cast<size_t>(start), end - static_cast<size_t>(start));
}

void Importer::AddEmbedded(GMimeMessagePart* part, pst::MessageContent* out) {
  GMimeMessage* inner = g_mime_message_part_get_message(part);
  // GMime writes a message back out with its own line breaks, which would
  // change the bytes of its parts: take it from the input where possible.
  std::string bytes(RawAttachedMessage(part));
  if (bytes.empty() && inner != nullptr) bytes = SerializeObject(GMIME_OBJECT(inner));
  if (depth_ + 1 > opts_.max_embedding_depth) {
    Warn("attached message nested too deep, kept as an .eml file");
    AddByValue(DefaultFileName("message/rfc822", ++untitled_), "message/rfc822",
               std::vector<uint8_t>(bytes.begin(), bytes.end()), false, "", "", out);
    return;
  }
  ImportReport inner_report;
  auto embedded = std::make_unique<pst::MessageContent>();
  Importer nested(opts_, &inner_report, depth_ + 1, now_);
  nested.Import(bytes, embedded.get());
  // An attached message counts as seen: nobody sets its read state later.
  const pst::Property* flags = embedded->Find((uint32_t{prop::kMessageFlags} << 16) | 0x0003);
  int32_t f = flags ? static_cast<int32_t>(std::get<int64_t>(flags->value)) : 0;
  embedded->Set(pst::MakeInt32(prop::kMessageFlags, f | kMsgFlagRead));
  for (auto& w : inner_report.warnings) Warn("attached message: " + w);
  for (auto& u : inner_report.unmapped) {
    // The attached message keeps its own original; nothing is lost here.
    Warn("attached message: " + u + " (its original is attached to it)");
  }

  std::u16string subject;
  if (const pst::Property* s = embedded->Find((uint32_t{prop::kSubject} << 16) | 0x001F)) {
    subject = std::get<std::u16string>(s->value);
  }
  pst::AttachmentContent a;
  auto& p = a.props;
  p.push_back(pst::MakeInt32(prop::kAttachMethod, kAttachEmbeddedMessage));
  p.push_back(pst::MakeString(prop::kDisplayName, subject.empty() ? u"Attached message" : subject));
  p.push_back(pst::MakeString(prop::kAttachMimeTag, u"message/rfc822"));
  p.push_back(pst::MakeInt32(prop::kRenderingPosition, -1));
  p.push_back(pst::MakeBool(prop::kAttachmentHidden, false));
  p.push_back(pst::MakeTime(prop::kCreationTime, now_));
  p.push_back(pst::MakeTime(prop::kLastModificationTime, now_));
  p.push_back(pst::MakeInt32(prop::kAttachSize, ClampSize(PropsSize(p) + ContentSize(*embedded) + 4)));
  a.embedded = std::move(embedded);
  has_visible_attachment_ = true;
  out->attachments.push_back(std::move(a));
}

bool Importer::ImportSigned(GMimeMultipartSigned* signed_part, std::string_view bytes, std::string_view raw_headers,
                            size_t body_offset, pst::MessageContent* out) {
  GMimeMultipart* mp = GMIME_MULTIPART(signed_part);
  if (g_mime_multipart_get_count(mp) != 2) return false;  // not a usable signed entity: import plainly
  // Body and the has-attachment flag come from the signed content; its
  // attachments stay inside the signed entity, which Outlook opens itself.
  WalkState state;
  Walk(g_mime_multipart_get_part(mp, 0), &state, false);
  MapBodies(state, out);
  for (GMimeObject* p : state.attachments) {
    bool visible = true;
    if (GMIME_IS_PART(p) && !html_lower_.empty()) {
      const char* cid = g_mime_object_get_content_id(p);
      const char* disposition = g_mime_object_get_disposition(p);
      bool disposed = disposition != nullptr && AsciiLower(disposition) == "attachment";
      visible = disposed || cid == nullptr || !ShownInline(std::string("cid:") + cid);
    }
    if (visible) has_visible_attachment_ = true;
  }

  // The attachment is the multipart/signed entity exactly as sent: its
  // Content-Type field and the original body bytes, so the signature checks.
  std::string field = RawField(raw_headers, "Content-Type");
  std::string eol = bytes.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  std::string entity;
  if (!field.empty()) {
    entity = field;
    if (entity.back() != '\n') entity += eol;
  } else {
    entity = "Content-Type: " + MimeTypeOf(GMIME_OBJECT(signed_part)) + eol;
  }
  entity += eol;
  entity += bytes.substr(std::min(body_offset, bytes.size()));
  bool keep_flag = has_visible_attachment_;
  AddByValue(u"smime.p7m", "multipart/signed", std::vector<uint8_t>(entity.begin(), entity.end()), false, "", "",
             out);
  has_visible_attachment_ = keep_flag;
  out->Set(pst::MakeString(prop::kMessageClass, u"IPM.Note.SMIME.MultipartSigned"));
  // The entity holds every byte of the body; a second copy of the message
  // would break the one-attachment form Outlook verifies.
  report_->signed_entity_kept = true;
  return true;
}

bool Importer::ImportOpaque(GMimeObject* top, pst::MessageContent* out) {
  if (!GMIME_IS_PART(top)) return false;
  std::string type = MimeTypeOf(top);
  GMimePart* part = GMIME_PART(top);
  const char* filename = g_mime_part_get_filename(part);
  std::string name = filename ? AsciiLower(filename) : "";
  bool p7m_name = name.size() >= 4 && name.compare(name.size() - 4, 4, ".p7m") == 0;
  bool opaque = type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime" ||
                (type == "application/octet-stream" && p7m_name);
  if (!opaque) return false;
  // Opaque-signed or encrypted: no body; the CMS data is the one attachment
  // and the original Content-Type is kept for the reader that opens it.
  std::string raw_type = TrimBlanks(HeaderValue(top, "Content-Type"));
  out->Set(MakeNamedString(kPsInternetHeaders, u"Content-Type", text::Utf8ToUtf16(raw_type)));
  AddByValue(u"smime.p7m", type, AttachmentValue(part, "encrypted content"), false, "", "", out);
  has_visible_attachment_ = false;
  out->Set(pst::MakeString(prop::kMessageClass, u"IPM.Note.SMIME"));
  return true;
}

}  // namespace

namespace {

pst::Status Run(std::string_view rfc822, std::shared_ptr<const std::string> shared, const ImportOptions& opts,
                pst::MessageContent* out, ImportReport* report) {
  if (out == nullptr) return pst::Status::InvalidArgument("ImportMessage: no MessageContent to fill");
  if (rfc822.size() >= kMaxInput) {
    return pst::Status::TooLarge("message of " + std::to_string(rfc822.size()) +
                                 " bytes is larger than the 2 GiB a message can hold");
  }
  EnsureGMimeInitialized();
  ImportReport local;
  ImportReport* r = report ? report : &local;
  *r = ImportReport();
  Importer importer(opts, r, 0, opts.now_filetime != 0 ? opts.now_filetime : NowFiletime(), std::move(shared));
  importer.Import(rfc822, out);
  return pst::Status::Ok();
}

}  // namespace

pst::Status ImportMessage(std::span<const uint8_t> rfc822, const ImportOptions& opts, pst::MessageContent* out,
                          ImportReport* report) {
  return Run(std::string_view(reinterpret_cast<const char*>(rfc822.data()), rfc822.size()), nullptr, opts, out,
             report);
}

pst::Status ImportMessage(std::shared_ptr<const std::string> rfc822, const ImportOptions& opts,
                          pst::MessageContent* out, ImportReport* report) {
  if (!rfc822) return pst::Status::InvalidArgument("ImportMessage: no message text");
  const std::string_view text(*rfc822);
  return Run(text, std::move(rfc822), opts, out, report);
}

pst::Status ImportMessage(const std::filesystem::path& path, const ImportOptions& opts, pst::MessageContent* out,
                          ImportReport* report) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return pst::Status::IoError("cannot open message file " + path.string());
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return pst::Status::IoError("cannot read message file " + path.string());
  if (static_cast<uint64_t>(size) >= kMaxInput) {
    return pst::Status::TooLarge("message file " + path.string() + " is larger than 2 GiB");
  }
  in.seekg(0, std::ios::beg);
  auto bytes = std::make_shared<std::string>(static_cast<size_t>(size), '\0');
  if (size > 0 && !in.read(bytes->data(), size)) {
    return pst::Status::IoError("cannot read message file " + path.string());
  }
  return ImportMessage(std::shared_ptr<const std::string>(std::move(bytes)), opts, out, report);
}

}  // namespace mail
