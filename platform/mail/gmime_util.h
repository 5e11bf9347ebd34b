// Small helpers over GMime: one-time library set-up, ownership of GObjects,
// and reading a part's content as bytes.
#ifndef TOLLAN_PLATFORM_MAIL_GMIME_UTIL_H_
#define TOLLAN_PLATFORM_MAIL_GMIME_UTIL_H_

#include <gmime/gmime.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// Initializes GMime once per process (thread-safe).
void EnsureGMimeInitialized();

// Owns one reference to a GObject.
template <typename T>
class GRef {
 public:
  GRef() = default;
  explicit GRef(T* p) : p_(p) {}
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  ~GRef() {
    if (p_ != nullptr) g_object_unref(p_);
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A memory stream for the parser over bytes it does not copy: the parts it
// finds are windows on those bytes (EncodedContent reads them in place).
// The bytes are never written, and must outlive this object, which must
// outlive every GMime object made from its stream.
class BorrowedStream {
 public:
  explicit BorrowedStream(std::string_view bytes);
  ~BorrowedStream();
  BorrowedStream(const BorrowedStream&) = delete;
  BorrowedStream& operator=(const BorrowedStream&) = delete;
  GMimeStream* get() const { return stream_; }

 private:
  GByteArray* array_;
  GMimeStream* stream_;
};

// Parse `stream` as a message, or as one MIME entity whose header fields
// are all its own (no GMimeMessage around it: GMime then does not read
// address fields, dates and subjects for a message object, and warns of a
// repeated field of any name, not only of those a message may hold once).
// Attached messages inside are GMimeMessageParts either way. The parser is
// kept for the thread and handed the next stream, as making one costs more
// than a small message's parse; a call made while it is in use gets one of
// its own. Null when GMime cannot read the text.
GMimeMessage* ParseMessage(GMimeStream* stream, GMimeParserOptions* options);
GMimeObject* ParseEntity(GMimeStream* stream, GMimeParserOptions* options);

// "type/subtype" of an entity in lower case ("text/plain" when GMime has no
// content type for it).
std::string MimeTypeOf(GMimeObject* obj);

// A parameter of the Content-Type field (RFC 2231 and encoded words
// decoded), or "".
std::string ContentTypeParam(GMimeObject* obj, const char* name);

// The transfer-decoded content of a leaf part.
std::vector<uint8_t> DecodedContent(GMimePart* part);

// The content of a leaf part as it stands in the message (still encoded).
// `storage` holds a copy when the content does not lie in one memory buffer;
// otherwise the view points into the parser's buffer.
std::string_view EncodedContent(GMimePart* part, std::string* storage);

// The transfer encoding name of a leaf part in lower case ("base64", ...).
std::string EncodingName(GMimePart* part);

// The entity written back out in MIME form.
std::string SerializeObject(GMimeObject* obj);

// The value of header field `name` of an entity (unfolded, encoded words
// decoded), or "".
std::string HeaderValue(GMimeObject* obj, const char* name);

// The values of every header field `name` of an entity, in order, exactly
// as written (folding and encoded-words kept). A field that may occur once
// but is given twice is read from the first, as mail readers show it.
std::vector<std::string> RawHeaderValues(GMimeObject* obj, const char* name);

std::string AsciiLower(std::string_view s);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_GMIME_UTIL_H_
