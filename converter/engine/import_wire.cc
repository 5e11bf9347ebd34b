// Encoding and checked decoding of the import worker's frames.
#include "converter/engine/import_wire.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/mail/part_source.h"

namespace tollan::wire {

namespace {

using pst::MessageContent;
using pst::Property;
using pst::PropType;
using pst::Status;

constexpr char kRequestTag[4] = {'T', 'L', 'Q', static_cast<char>(kVersion)};
constexpr char kAnswerTag[4] = {'T', 'L', 'A', static_cast<char>(kVersion)};

void Put8(std::string* out, uint8_t v) { out->push_back(static_cast<char>(v)); }
void Put16(std::string* out, uint16_t v) {
  char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
  out->append(b, 2);
}
void Put32(std::string* out, uint32_t v) {
  char b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(v >> (8 * i));
  out->append(b, 4);
}
void Put64(std::string* out, uint64_t v) {
  char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<char>(v >> (8 * i));
  out->append(b, 8);
}
void PutText(std::string* out, std::string_view s) {
  Put32(out, static_cast<uint32_t>(s.size()));
  out->append(s);
}
void PutUtf16(std::string* out, const std::u16string& s) {
  Put32(out, static_cast<uint32_t>(s.size()));
  const size_t at = out->size();
  out->resize(at + 2 * s.size());
  char* p = out->data() + at;
  for (char16_t c : s) {
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>(c >> 8);
  }
}
void PutBytes(std::string* out, const std::vector<uint8_t>& b) {
  Put32(out, static_cast<uint32_t>(b.size()));
  out->append(reinterpret_cast<const char*>(b.data()), b.size());
}

bool KnownType(uint16_t type) {
  switch (static_cast<PropType>(type)) {
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kDouble:
    case PropType::kBoolean:
    case PropType::kInt64:
    case PropType::kString:
    case PropType::kSysTime:
    case PropType::kGuid:
    case PropType::kBinary:
    case PropType::kMvInt32:
    case PropType::kMvString:
    case PropType::kMvBinary:
      return true;
    case PropType::kObject:
      return false;  // the import makes none; the writer takes none
  }
  return false;
}

Status Mismatch(const Property& p) {
  return Status::InvalidArgument("property 0x" + std::to_string(p.tag()) +
                                 " holds a value of another type");
}

// A binary value's length that says the value is a window on the message
// text instead: u64 offset, u64 length, u8 transfer encoding, u64 size.
constexpr uint32_t kTextWindow = 0xFFFFFFFF;

Status PutValue(std::string* out, const Property& p, const std::string* message) {
  switch (p.type) {
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kBoolean:
    case PropType::kInt64:
      if (auto* v = std::get_if<int64_t>(&p.value)) return Put64(out, static_cast<uint64_t>(*v)), Status::Ok();
      return Mismatch(p);
    case PropType::kDouble:
      if (auto* v = std::get_if<double>(&p.value)) {
        uint64_t bits;
        std::memcpy(&bits, v, 8);
        Put64(out, bits);
        return Status::Ok();
      }
      return Mismatch(p);
    case PropType::kSysTime:
      if (auto* v = std::get_if<uint64_t>(&p.value)) return Put64(out, *v), Status::Ok();
      return Mismatch(p);
    case PropType::kString:
      if (auto* v = std::get_if<std::u16string>(&p.value)) return PutUtf16(out, *v), Status::Ok();
      return Mismatch(p);
    case PropType::kGuid:
    case PropType::kBinary:
      if (auto* v = std::get_if<std::vector<uint8_t>>(&p.value)) return PutBytes(out, *v), Status::Ok();
      if (auto* v = std::get_if<std::shared_ptr<const pst::ValueSource>>(&p.value); v && *v) {
        // A part of the message the converter holds too: named, not sent.
        const auto* part = dynamic_cast<const mail::PartSource*>(v->get());
        if (part != nullptr && message != nullptr && part->text() == message && p.type == PropType::kBinary) {
          Put32(out, kTextWindow);
          Put64(out, part->offset());
          Put64(out, part->length());
          Put8(out, static_cast<uint8_t>(part->encoding()));
          Put64(out, part->size());
          return Status::Ok();
        }
        std::vector<uint8_t> bytes;
        Status s = pst::ReadWhole(**v, &bytes);
        if (s.ok()) PutBytes(out, bytes);
        return s;
      }
      return Mismatch(p);
    case PropType::kMvInt32:
      if (auto* v = std::get_if<std::vector<int32_t>>(&p.value)) {
        Put32(out, static_cast<uint32_t>(v->size()));
        for (int32_t x : *v) Put32(out, static_cast<uint32_t>(x));
        return Status::Ok();
      }
      return Mismatch(p);
    case PropType::kMvString:
      if (auto* v = std::get_if<std::vector<std::u16string>>(&p.value)) {
        Put32(out, static_cast<uint32_t>(v->size()));
        for (const auto& s : *v) PutUtf16(out, s);
        return Status::Ok();
      }
      return Mismatch(p);
    case PropType::kMvBinary:
      if (auto* v = std::get_if<std::vector<std::vector<uint8_t>>>(&p.value)) {
        Put32(out, static_cast<uint32_t>(v->size()));
        for (const auto& b : *v) PutBytes(out, b);
        return Status::Ok();
      }
      return Mismatch(p);
    case PropType::kObject:
      break;
  }
  return Status::InvalidArgument("property 0x" + std::to_string(p.tag()) + " is of a type the worker cannot send");
}

Status PutProps(std::string* out, const std::vector<Property>& props, const std::string* message) {
  Put32(out, static_cast<uint32_t>(props.size()));
  for (const Property& p : props) {
    Put16(out, p.id);
    Put16(out, static_cast<uint16_t>(p.type));
    Put8(out, p.named ? 1 : 0);
    if (p.named) {
      out->append(reinterpret_cast<const char*>(p.name.property_set.data()), p.name.property_set.size());
      if (p.name.kind == pst::PropertyName::Kind::kId) {
        Put8(out, 0);
        Put32(out, p.name.id);
      } else {
        Put8(out, 1);
        PutUtf16(out, p.name.name);
      }
    }
    Status s = PutValue(out, p, message);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

Status PutMessage(std::string* out, const MessageContent& m, int depth, const std::string* message) {
  if (depth > kMaxDepth) return Status::InvalidArgument("embedded messages nested too deep to send");
  Status s = PutProps(out, m.props, message);
  if (!s.ok()) return s;
  Put32(out, static_cast<uint32_t>(m.recipients.size()));
  for (const auto& r : m.recipients) {
    s = PutProps(out, r.props, message);
    if (!s.ok()) return s;
  }
  Put32(out, static_cast<uint32_t>(m.attachments.size()));
  for (const auto& a : m.attachments) {
    s = PutProps(out, a.props, message);
    if (!s.ok()) return s;
    Put8(out, a.embedded ? 1 : 0);
    if (a.embedded) {
      s = PutMessage(out, *a.embedded, depth + 1, message);
      if (!s.ok()) return s;
    }
  }
  return Status::Ok();
}

void PutHeader(std::string* out, const char (&tag)[4], size_t at) {
  // The length is filled in once the payload is there.
  const uint32_t length = static_cast<uint32_t>(out->size() - at - kHeaderSize);
  std::memcpy(out->data() + at, tag, 4);
  for (int i = 0; i < 4; ++i) (*out)[at + 4 + i] = static_cast<char>(length >> (8 * i));
}

// Reads the payload front to back; every read checks what is left.
class Reader {
 public:
  // `message`: the text the answer is about, for the values that are
  // windows on it (null: none may be).
  Reader(std::string_view data, std::shared_ptr<const std::string> message)
      : data_(data), message_(std::move(message)) {}

  const std::shared_ptr<const std::string>& message() const { return message_; }

  size_t left() const { return data_.size() - pos_; }
  bool Get8(uint8_t* v) {
    if (left() < 1) return false;
    *v = static_cast<uint8_t>(data_[pos_++]);
    return true;
  }
  bool Get16(uint16_t* v) {
    uint64_t x;
    if (!GetN(2, &x)) return false;
    *v = static_cast<uint16_t>(x);
    return true;
  }
  bool Get32(uint32_t* v) {
    uint64_t x;
    if (!GetN(4, &x)) return false;
    *v = static_cast<uint32_t>(x);
    return true;
  }
  bool Get64(uint64_t* v) { return GetN(8, v); }
  bool GetRaw(size_t n, std::string_view* out) {
    if (left() < n) return false;
    *out = data_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  // A count of items of at least `min_size` bytes each: never more than
  // the bytes left could hold.
  bool GetCount(size_t min_size, uint32_t* n) { return Get32(n) && uint64_t{*n} * min_size <= left(); }
  bool GetText(std::string* s) {
    uint32_t n;
    std::string_view raw;
    if (!Get32(&n) || !GetRaw(n, &raw)) return false;
    s->assign(raw);
    return true;
  }
  bool GetUtf16(std::u16string* s) {
    uint32_t n;
    std::string_view raw;
    if (!Get32(&n) || !GetRaw(size_t{n} * 2, &raw)) return false;
    s->resize(n);
    if constexpr (std::endian::native == std::endian::little) {
      if (n != 0) std::memcpy(s->data(), raw.data(), size_t{n} * 2);  // the wire's order already
      return true;
    }
    for (uint32_t i = 0; i < n; ++i) {
      (*s)[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
    }
    return true;
  }
  bool GetBytes(std::vector<uint8_t>* b) {
    uint32_t n;
    std::string_view raw;
    if (!Get32(&n) || !GetRaw(n, &raw)) return false;
    b->assign(raw.begin(), raw.end());
    return true;
  }

 private:
  bool GetN(int n, uint64_t* v) {
    if (left() < static_cast<size_t>(n)) return false;
    uint64_t x = 0;
    for (int i = 0; i < n; ++i) x |= uint64_t{static_cast<uint8_t>(data_[pos_ + i])} << (8 * i);
    pos_ += n;
    *v = x;
    return true;
  }

  std::string_view data_;
  std::shared_ptr<const std::string> message_;
  size_t pos_ = 0;
};

// Room made ahead for a count read from the answer: items take more memory
// than their bytes on the wire, so a false count must not reserve much.
size_t Reserve(uint32_t n) { return std::min<size_t>(n, 256); }

Status Bad(const std::string& what) { return Status::Corrupt("import answer: " + what); }

Status GetValue(Reader& r, Property* p) {
  switch (p->type) {
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kBoolean:
    case PropType::kInt64: {
      uint64_t v;
      if (!r.Get64(&v)) break;
      p->value = static_cast<int64_t>(v);
      return Status::Ok();
    }
    case PropType::kDouble: {
      uint64_t bits;
      if (!r.Get64(&bits)) break;
      double d;
      std::memcpy(&d, &bits, 8);
      p->value = d;
      return Status::Ok();
    }
    case PropType::kSysTime: {
      uint64_t v;
      if (!r.Get64(&v)) break;
      p->value = v;
      return Status::Ok();
    }
    case PropType::kString: {
      std::u16string s;
      if (!r.GetUtf16(&s)) break;
      p->value = std::move(s);
      return Status::Ok();
    }
    case PropType::kGuid:
    case PropType::kBinary: {
      if (p->type == PropType::kBinary) {
        uint32_t n = 0;
        Reader ahead = r;
        if (ahead.Get32(&n) && n == kTextWindow) {
          uint64_t offset, length, size;
          uint8_t encoding;
          r = ahead;
          if (!r.Get64(&offset) || !r.Get64(&length) || !r.Get8(&encoding) || !r.Get64(&size)) break;
          // Decoding never makes a part longer than its encoded text.
          if (!r.message() || encoding > 3 || size > length || offset > r.message()->size() ||
              length > r.message()->size() - offset) {
            return Bad("a value names a part outside the message");
          }
          p->value = std::shared_ptr<const pst::ValueSource>(mail::PartSource::WithSize(
              r.message(), offset, length, static_cast<mail::TransferEncoding>(encoding), size));
          return Status::Ok();
        }
      }
      std::vector<uint8_t> b;
      if (!r.GetBytes(&b)) break;
      if (p->type == PropType::kGuid && b.size() != 16) return Bad("a GUID value is not 16 bytes");
      p->value = std::move(b);
      return Status::Ok();
    }
    case PropType::kMvInt32: {
      uint32_t n;
      if (!r.GetCount(4, &n)) break;
      std::vector<int32_t> v(n);  // four bytes each, checked against the bytes left
      for (auto& x : v) {
        uint32_t u = 0;
        r.Get32(&u);
        x = static_cast<int32_t>(u);
      }
      p->value = std::move(v);
      return Status::Ok();
    }
    case PropType::kMvString: {
      uint32_t n;
      if (!r.GetCount(4, &n)) break;
      std::vector<std::u16string> v;
      v.reserve(Reserve(n));
      for (uint32_t i = 0; i < n; ++i) {
        if (!r.GetUtf16(&v.emplace_back())) return Bad("a multi-valued text runs past the end");
      }
      p->value = std::move(v);
      return Status::Ok();
    }
    case PropType::kMvBinary: {
      uint32_t n;
      if (!r.GetCount(4, &n)) break;
      std::vector<std::vector<uint8_t>> v;
      v.reserve(Reserve(n));
      for (uint32_t i = 0; i < n; ++i) {
        if (!r.GetBytes(&v.emplace_back())) return Bad("a multi-valued binary runs past the end");
      }
      p->value = std::move(v);
      return Status::Ok();
    }
    case PropType::kObject:
      break;
  }
  return Bad("a property value runs past the end");
}

Status GetProps(Reader& r, std::vector<Property>* props) {
  uint32_t n;
  // A property takes at least five bytes besides its value.
  if (!r.GetCount(5, &n)) return Bad("the property count exceeds the answer");
  props->reserve(Reserve(n));
  for (uint32_t i = 0; i < n; ++i) {
    Property& p = props->emplace_back();
    uint16_t type;
    uint8_t named;
    if (!r.Get16(&p.id) || !r.Get16(&type) || !r.Get8(&named)) return Bad("a property runs past the end");
    if (!KnownType(type)) return Bad("unknown property type " + std::to_string(type));
    if (named > 1) return Bad("a bad named-property flag");
    p.type = static_cast<PropType>(type);
    p.named = named == 1;
    if (p.named) {
      std::string_view guid;
      uint8_t kind;
      if (!r.GetRaw(16, &guid) || !r.Get8(&kind)) return Bad("a property name runs past the end");
      std::memcpy(p.name.property_set.data(), guid.data(), 16);
      if (kind == 0) {
        p.name.kind = pst::PropertyName::Kind::kId;
        if (!r.Get32(&p.name.id)) return Bad("a property name runs past the end");
      } else if (kind == 1) {
        p.name.kind = pst::PropertyName::Kind::kString;
        if (!r.GetUtf16(&p.name.name)) return Bad("a property name runs past the end");
      } else {
        return Bad("a bad property-name kind");
      }
    }
    Status s = GetValue(r, &p);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

Status GetMessage(Reader& r, MessageContent* m, int depth) {
  if (depth > kMaxDepth) return Bad("embedded messages nested too deep");
  Status s = GetProps(r, &m->props);
  if (!s.ok()) return s;
  uint32_t n;
  if (!r.GetCount(4, &n)) return Bad("the recipient count exceeds the answer");
  m->recipients.reserve(Reserve(n));
  for (uint32_t i = 0; i < n; ++i) {
    s = GetProps(r, &m->recipients.emplace_back().props);
    if (!s.ok()) return s;
  }
  if (!r.GetCount(5, &n)) return Bad("the attachment count exceeds the answer");
  m->attachments.reserve(Reserve(n));
  for (uint32_t i = 0; i < n; ++i) {
    pst::AttachmentContent& a = m->attachments.emplace_back();
    s = GetProps(r, &a.props);
    if (!s.ok()) return s;
    uint8_t embedded;
    if (!r.Get8(&embedded) || embedded > 1) return Bad("a bad embedded-message flag");
    if (embedded) {
      a.embedded = std::make_unique<MessageContent>();
      s = GetMessage(r, a.embedded.get(), depth + 1);
      if (!s.ok()) return s;
    }
  }
  return Status::Ok();
}

}  // namespace

void AppendRequest(uint64_t ticket, std::string_view temp_path, std::string_view message, std::string* out) {
  out->append(RequestPrefix(ticket, temp_path, message.size()));
  out->append(message);
}

std::string RequestPrefix(uint64_t ticket, std::string_view temp_path, size_t message_size) {
  std::string out;
  out.append(kRequestTag, 4);
  Put32(&out, static_cast<uint32_t>(8 + 4 + temp_path.size() + message_size));
  Put64(&out, ticket);
  Put32(&out, static_cast<uint32_t>(temp_path.size()));
  out.append(temp_path);
  return out;
}

Status AppendAnswer(const ImportAnswer& a, std::string* out, const std::string* message) {
  const size_t at = out->size();
  out->resize(at + kHeaderSize);
  Put64(out, a.ticket);
  Put8(out, static_cast<uint8_t>(a.status.code()));
  PutText(out, a.status.message());
  Put8(out, a.date ? 1 : 0);
  Put64(out, a.date.value_or(0));
  Put8(out, (a.clean ? 1 : 0) | (a.original_attached ? 2 : 0));
  PutText(out, a.kept_original);
  Status s = PutMessage(out, a.content, 0, message);
  if (!s.ok()) {
    out->resize(at);
    return s;
  }
  PutHeader(out, kAnswerTag, at);
  return Status::Ok();
}

Status ReadHeader(std::string_view buffer, FrameKind kind, size_t max_payload,
                  std::optional<size_t>* payload_length) {
  payload_length->reset();
  if (buffer.size() < kHeaderSize) return Status::Ok();
  const char* tag = kind == FrameKind::kRequest ? kRequestTag : kAnswerTag;
  if (std::memcmp(buffer.data(), tag, 3) != 0) return Status::Corrupt("not an import frame");
  if (buffer[3] != tag[3]) {
    return Status::Corrupt("import frame of format version " + std::to_string(static_cast<uint8_t>(buffer[3])) +
                           ", expected " + std::to_string(kVersion));
  }
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= uint32_t{static_cast<uint8_t>(buffer[4 + i])} << (8 * i);
  if (length > max_payload) {
    return Status::TooLarge("import frame of " + std::to_string(length) + " bytes, more than the " +
                            std::to_string(max_payload) + " allowed");
  }
  *payload_length = length;
  return Status::Ok();
}

Status DecodeRequest(std::string_view payload, uint64_t* ticket, std::string_view* temp_path,
                     std::string_view* message) {
  Reader r(payload, nullptr);
  uint32_t path_size = 0;
  if (!r.Get64(ticket) || !r.Get32(&path_size)) return Status::Corrupt("import request cut short");
  if (path_size > payload.size() - 12) return Status::Corrupt("import request with a path past its end");
  *temp_path = payload.substr(12, path_size);
  *message = payload.substr(12 + path_size);
  return Status::Ok();
}

Status DecodeAnswer(std::string_view payload, ImportAnswer* a, std::shared_ptr<const std::string> text) {
  Reader r(payload, std::move(text));
  uint8_t code, has_date, bits;
  std::string message;
  uint64_t date;
  if (!r.Get64(&a->ticket) || !r.Get8(&code) || !r.GetText(&message) || !r.Get8(&has_date) ||
      !r.Get64(&date) || !r.Get8(&bits) || !r.GetText(&a->kept_original)) {
    return Bad("the answer is cut short");
  }
  using Code = Status::Code;
  switch (static_cast<Code>(code)) {
    case Code::kOk: a->status = Status::Ok(); break;
    case Code::kIoError: a->status = Status::IoError(message); break;
    case Code::kCorrupt: a->status = Status::Corrupt(message); break;
    case Code::kInvalidArgument: a->status = Status::InvalidArgument(message); break;
    case Code::kNotFound: a->status = Status::NotFound(message); break;
    case Code::kTooLarge: a->status = Status::TooLarge(message); break;
    default: return Bad("unknown status code " + std::to_string(code));
  }
  if (has_date > 1 || bits > 3 || (has_date == 0 && date != 0)) return Bad("bad flags");
  if (code == 0 && !message.empty()) return Bad("a success with an error text");
  a->date = has_date ? std::optional<uint64_t>(date) : std::nullopt;
  a->clean = (bits & 1) != 0;
  a->original_attached = (bits & 2) != 0;
  a->content = MessageContent();
  Status s = GetMessage(r, &a->content, 0);
  if (!s.ok()) return s;
  if (r.left() != 0) return Bad(std::to_string(r.left()) + " bytes after the message");
  return Status::Ok();
}

}  // namespace tollan::wire
