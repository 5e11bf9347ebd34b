// Message digests: hashes of the values the writer is handed.
#include "platform/pst/readback/digest.h"

#include <xxhash.h>

#include <bit>

#include "platform/pst/ltp/prop_codec.h"

namespace pst::readback {

static_assert(std::endian::native == std::endian::little,
              "strings are hashed as their UTF-16LE bytes straight from memory");

const std::vector<DigestField>& MessageFields() {
  static const std::vector<DigestField> fields = {
      {{0x001A001F}, "message class"},
      {{0x0037001F}, "subject"},
      {{0x0C1A001F}, "sender name"},
      {{0x0C1F001F}, "sender address"},
      {{0x0042001F}, "sent-representing name"},
      {{0x0065001F}, "sent-representing address"},
      {{0x00390040}, "submit time"},
      {{0x0E060040}, "delivery time"},
      {{0x0E070003}, "message flags"},
      {{0x1000001F}, "plain body"},
      {{0x10130102, 0x1013001F}, "HTML body"},
  };
  return fields;
}

const std::vector<DigestField>& RecipientFields() {
  static const std::vector<DigestField> fields = {
      {{0x3001001F}, "recipient names"},
      {{0x3003001F, 0x39FE001F}, "recipient addresses"},
      {{0x0C150003, 0x3002001F}, "recipient types"},
  };
  return fields;
}

const std::vector<DigestField>& AttachmentFields() {
  static const std::vector<DigestField> fields = {
      {{0x3707001F, 0x3704001F}, "name"},
      {{0x37050003}, "method"},
      {{0x37010102}, "bytes"},
  };
  return fields;
}

uint64_t ValueHash(uint16_t type, const uint8_t* data, size_t n) {
  uint64_t h = XXH3_64bits_withSeed(data, n, type);
  return h == 0 ? 1 : h;
}

ValueHasher::ValueHasher(uint16_t type) : state_(XXH3_createState()) {
  XXH3_64bits_reset_withSeed(static_cast<XXH3_state_t*>(state_), type);
}
void ValueHasher::Reset(uint16_t type) {
  XXH3_64bits_reset_withSeed(static_cast<XXH3_state_t*>(state_), type);
}
ValueHasher::~ValueHasher() { XXH3_freeState(static_cast<XXH3_state_t*>(state_)); }
void ValueHasher::Update(const uint8_t* data, size_t n) {
  XXH3_64bits_update(static_cast<XXH3_state_t*>(state_), data, n);
}
uint64_t ValueHasher::Finish() {
  uint64_t h = XXH3_64bits_digest(static_cast<XXH3_state_t*>(state_));
  return h == 0 ? 1 : h;
}

uint64_t MixHash(uint64_t group, uint64_t value) {
  return XXH3_64bits_withSeed(&value, sizeof value, group);
}

namespace {

// The last property of `props` with `tag`, as the writer keeps it.
const Property* Last(const std::vector<Property>& props, uint32_t tag) {
  const Property* found = nullptr;
  for (const Property& p : props) {
    if (!p.named && p.tag() == tag) found = &p;
  }
  return found;
}

uint64_t HashOf(const Property& p) {
  const uint16_t type = static_cast<uint16_t>(p.type);
  if (auto* s = std::get_if<std::u16string>(&p.value); s && p.type == PropType::kString) {
    return ValueHash(type, reinterpret_cast<const uint8_t*>(s->data()), s->size() * 2);
  }
  if (auto* b = std::get_if<std::vector<uint8_t>>(&p.value); b && p.type == PropType::kBinary) {
    return ValueHash(type, b->data(), b->size());
  }
  if (auto* b = std::get_if<std::shared_ptr<const ValueSource>>(&p.value); b && *b && p.type == PropType::kBinary) {
    // Read again, piece by piece; a value that cannot be read hashes to 0.
    ValueHasher hasher(type);
    uint64_t n = 0;
    Status s = (*b)->Read([&](std::span<const uint8_t> piece) {
      hasher.Update(piece.data(), piece.size());
      n += piece.size();
      return Status::Ok();
    });
    return s.ok() && n == (*b)->size() ? hasher.Finish() : 0;
  }
  uint64_t bits = 0;
  if (ltp::IsFixedSize(p.type)) {
    // An ill-typed value is refused by the writer; its hash then stays 0.
    if (!ltp::FixedBits(p, &bits).ok()) return 0;
    uint8_t le[8];
    for (int i = 0; i < 8; ++i) le[i] = static_cast<uint8_t>(bits >> (8 * i));
    return ValueHash(type, le, 8);
  }
  std::vector<uint8_t> bytes;
  if (!ltp::EncodeValue(p, &bytes).ok()) return 0;
  return ValueHash(type, bytes.data(), bytes.size());
}

// The first of the field's tags that `props` holds, hashed; 0 when none.
uint64_t FieldHash(const std::vector<Property>& props, const DigestField& field,
                   const Property* fallback = nullptr) {
  for (uint32_t tag : field.tags) {
    if (const Property* p = Last(props, tag)) return HashOf(*p);
  }
  return fallback ? HashOf(*fallback) : 0;
}

}  // namespace

MessageDigest DigestOf(const MessageContent& content) {
  MessageDigest d;
  const auto& fields = MessageFields();
  const Property default_class = MakeString(0x001A, u"IPM.Note");
  for (size_t i = 0; i < kMessageValues; ++i) {
    d.values[i] = FieldHash(content.props, fields[i], i == 0 ? &default_class : nullptr);
  }
  d.recipient_count = static_cast<uint32_t>(content.recipients.size());
  for (size_t g = 0; g < kRecipientGroups; ++g) {
    uint64_t h = 0;
    for (const RecipientContent& r : content.recipients) {
      for (uint32_t tag : RecipientFields()[g].tags) {
        const Property* p = Last(r.props, tag);
        h = MixHash(h, p ? HashOf(*p) : 0);
      }
    }
    d.recipients[g] = h;
  }
  const Property embedded_method = MakeInt32(0x3705, 5);
  for (const AttachmentContent& a : content.attachments) {
    AttachmentDigest ad;
    for (size_t i = 0; i < kAttachmentValues; ++i) {
      ad.values[i] = FieldHash(a.props, AttachmentFields()[i], i == 1 && a.embedded ? &embedded_method : nullptr);
    }
    if (a.embedded) ad.embedded = std::make_unique<MessageDigest>(DigestOf(*a.embedded));
    d.attachments.push_back(std::move(ad));
  }
  return d;
}

std::string FirstDifference(const MessageDigest& want, const MessageDigest& got) {
  for (size_t i = 0; i < kMessageValues; ++i) {
    if (want.values[i] != got.values[i]) return MessageFields()[i].name;
  }
  if (want.recipient_count != got.recipient_count) return "recipient count";
  for (size_t g = 0; g < kRecipientGroups; ++g) {
    if (want.recipients[g] != got.recipients[g]) return RecipientFields()[g].name;
  }
  if (want.attachments.size() != got.attachments.size()) return "attachment count";
  for (size_t k = 0; k < want.attachments.size(); ++k) {
    const AttachmentDigest& a = want.attachments[k];
    const AttachmentDigest& b = got.attachments[k];
    const std::string which = "attachment " + std::to_string(k + 1);
    for (size_t i = 0; i < kAttachmentValues; ++i) {
      if (a.values[i] != b.values[i]) return which + " " + AttachmentFields()[i].name;
    }
    if (!a.embedded != !b.embedded) return which + " embedded message";
    if (a.embedded) {
      std::string inner = FirstDifference(*a.embedded, *b.embedded);
      if (!inner.empty()) return which + " embedded message: " + inner;
    }
  }
  return "";
}

}  // namespace pst::readback
