// GMime helpers.
#include "platform/mail/gmime_util.h"

#include <iconv.h>

#include <mutex>

#include "platform/mail/part_bounds.h"
#include <vector>

namespace mail {

namespace {

std::string StreamToString(GMimeStream* stream) {
  GRef<GMimeStream> mem(g_mime_stream_mem_new());
  g_mime_stream_reset(stream);
  g_mime_stream_write_to_stream(stream, mem.get());
  g_mime_stream_reset(stream);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

}  // namespace

// The C library unloads a conversion module soon after its last converter
// closes, and GMime closes its converters after each header it decodes, so
// without a holder the common modules were loaded and unloaded again and
// again (a tenth of a conversion's time). One converter of each is kept open
// until the program ends.
class PinnedConverters {
 public:
  PinnedConverters() {
    static const char* const kCharsets[] = {
        "ISO-8859-1", "ISO-8859-2", "ISO-8859-15", "WINDOWS-1250", "WINDOWS-1251",
        "WINDOWS-1252", "KOI8-R", "ISO-2022-JP", "SHIFT_JIS", "GB18030", "BIG5", "UTF-16LE",
        // What GMime tries on a header of raw 8-bit text that is not UTF-8.
        "EUC-JP", "EUC-KR"};
    for (const char* cs : kCharsets) {
      iconv_t cd = iconv_open("UTF-8", cs);
      if (cd != reinterpret_cast<iconv_t>(-1)) open_.push_back(cd);
    }
  }
  ~PinnedConverters() {
    for (iconv_t cd : open_) iconv_close(cd);
  }

 private:
  std::vector<iconv_t> open_;
};

void EnsureGMimeInitialized() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_mime_init();
    static PinnedConverters pinned;
  });
}

namespace {

// One parser per thread, lent to one parse at a time. Between parses it
// holds an empty stream, so that it never keeps a borrowed one alive.
class ThreadParser {
 public:
  ThreadParser() : idle_(g_mime_stream_mem_new()), parser_(g_mime_parser_new_with_stream(idle_)) {}
  ~ThreadParser() {
    g_object_unref(parser_);
    g_object_unref(idle_);
  }
  ThreadParser(const ThreadParser&) = delete;
  ThreadParser& operator=(const ThreadParser&) = delete;

  // Runs `construct` (one of GMime's construct calls) on `stream`.
  template <typename T>
  T* Parse(GMimeStream* stream, GMimeParserOptions* options, T* (*construct)(GMimeParser*, GMimeParserOptions*)) {
    if (busy_) {
      GRef<GMimeParser> own(g_mime_parser_new_with_stream(stream));
      return construct(own.get(), options);
    }
    busy_ = true;
    g_mime_parser_init_with_stream(parser_, stream);
    T* result = construct(parser_, options);
    g_mime_parser_init_with_stream(parser_, idle_);
    busy_ = false;
    return result;
  }

 private:
  GMimeStream* idle_;
  GMimeParser* parser_;
  bool busy_ = false;
};

ThreadParser& ThisThreadsParser() {
  thread_local ThreadParser parser;
  return parser;
}

}  // namespace

GMimeMessage* ParseMessage(GMimeStream* stream, GMimeParserOptions* options) {
  return ThisThreadsParser().Parse(stream, options, g_mime_parser_construct_message);
}

GMimeObject* ParseEntity(GMimeStream* stream, GMimeParserOptions* options) {
  return ThisThreadsParser().Parse(stream, options, g_mime_parser_construct_part);
}

BorrowedStream::BorrowedStream(std::string_view bytes) {
  // The array lends the bytes to the stream without owning them: the stream
  // is told not to free the array, and the array is let go below with
  // free_segment FALSE, which hands the bytes back untouched. Neither ever
  // grows, so GLib never reallocates or frees them.
  array_ = g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(bytes.data())), bytes.size());
  stream_ = g_mime_stream_mem_new_with_byte_array(array_);
  g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream_), FALSE);
}

BorrowedStream::~BorrowedStream() {
  g_object_unref(stream_);
  g_byte_array_free(array_, FALSE);
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string MimeTypeOf(GMimeObject* obj) {
  GMimeContentType* ct = g_mime_object_get_content_type(obj);
  if (ct == nullptr) return "text/plain";
  const char* type = g_mime_content_type_get_media_type(ct);
  const char* sub = g_mime_content_type_get_media_subtype(ct);
  return AsciiLower(std::string(type ? type : "text") + "/" + (sub ? sub : "plain"));
}

std::string ContentTypeParam(GMimeObject* obj, const char* name) {
  const char* v = g_mime_object_get_content_type_parameter(obj, name);
  return v ? v : "";
}

std::string_view EncodedContent(GMimePart* part, std::string* storage) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
  if (stream == nullptr) return {};
  if (GMIME_IS_STREAM_MEM(stream)) {
    // The parser keeps parts as windows on its own buffer: read in place.
    GByteArray* buffer = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    gint64 start = stream->bound_start;
    gint64 end = stream->bound_end < 0 && buffer != nullptr ? static_cast<gint64>(buffer->len) : stream->bound_end;
    if (buffer != nullptr && start >= 0 && start <= end && end <= static_cast<gint64>(buffer->len)) {
      std::string_view all(reinterpret_cast<const char*>(buffer->data), buffer->len);
      // The line break before a boundary line is the boundary's, CR and all.
      size_t stop = ContentEndBeforeBoundary(all, static_cast<size_t>(start), static_cast<size_t>(end));
      return all.substr(static_cast<size_t>(start), stop - static_cast<size_t>(start));
    }
  }
  *storage = StreamToString(stream);
  return *storage;
}

std::vector<uint8_t> DecodedContent(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  std::string storage;
  std::string_view encoded = EncodedContent(part, &storage);
  GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
  switch (encoding) {
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
    case GMIME_CONTENT_ENCODING_UUENCODE: {
      GMimeEncoding state;
      g_mime_encoding_init_decode(&state, encoding);
      std::vector<uint8_t> out(g_mime_encoding_outlen(&state, encoded.size()) + 64);
      char* dst = reinterpret_cast<char*>(out.data());
      size_t n = g_mime_encoding_step(&state, encoded.data(), encoded.size(), dst);
      n += g_mime_encoding_flush(&state, encoded.data() + encoded.size(), 0, dst + n);
      out.resize(n);
      return out;
    }
    default:
      return std::vector<uint8_t>(encoded.begin(), encoded.end());
  }
}

std::string EncodingName(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  GMimeContentEncoding enc =
      content ? g_mime_data_wrapper_get_encoding(content) : g_mime_part_get_content_encoding(part);
  switch (enc) {
    case GMIME_CONTENT_ENCODING_BASE64: return "base64";
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE: return "quoted-printable";
    case GMIME_CONTENT_ENCODING_UUENCODE: return "x-uuencode";
    case GMIME_CONTENT_ENCODING_8BIT: return "8bit";
    case GMIME_CONTENT_ENCODING_BINARY: return "binary";
    default: return "7bit";
  }
}

std::string SerializeObject(GMimeObject* obj) {
  GRef<GMimeStream> mem(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(obj, nullptr, mem.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

std::string HeaderValue(GMimeObject* obj, const char* name) {
  const char* v = g_mime_object_get_header(obj, name);
  return v ? v : "";
}

std::vector<std::string> RawHeaderValues(GMimeObject* obj, const char* name) {
  std::vector<std::string> values;
  GMimeHeaderList* list = g_mime_object_get_header_list(obj);
  if (list == nullptr) return values;
  int n = g_mime_header_list_get_count(list);
  for (int i = 0; i < n; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(list, i);
    const char* field = g_mime_header_get_name(h);
    if (field == nullptr || g_ascii_strcasecmp(field, name) != 0) continue;
    const char* raw = g_mime_header_get_raw_value(h);
    values.emplace_back(raw ? raw : "");
  }
  return values;
}

}  // namespace mail
