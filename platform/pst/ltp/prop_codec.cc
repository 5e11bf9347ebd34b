// Byte forms of property values.
#include "platform/pst/ltp/prop_codec.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

namespace pst::ltp {
namespace {

void Append32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back((v >> (8 * i)) & 0xFF);
}

void AppendString(std::vector<uint8_t>* out, const std::u16string& s) {
  if constexpr (std::endian::native == std::endian::little) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    out->insert(out->end(), bytes, bytes + 2 * s.size());
    return;
  }
  size_t at = out->size();
  out->resize(at + 2 * s.size());
  uint8_t* p = out->data() + at;
  for (char16_t c : s) {
    *p++ = c & 0xFF;
    *p++ = c >> 8;
  }
}

Status Mismatch(const Property& prop) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "property 0x%08X holds a value of the wrong kind", prop.tag());
  return Status::InvalidArgument(buf);
}

// Multi-valued variable types: ulCount, rgulDataOffsets, then the values.
template <typename T, typename F>
void AppendMulti(std::vector<uint8_t>* out, const std::vector<T>& values, F append_one) {
  size_t base = out->size();
  Append32(out, static_cast<uint32_t>(values.size()));
  size_t offsets = out->size();
  out->resize(offsets + 4 * values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    uint32_t off = static_cast<uint32_t>(out->size() - base);
    for (int k = 0; k < 4; ++k) (*out)[offsets + 4 * i + k] = (off >> (8 * k)) & 0xFF;
    append_one(values[i]);
  }
}

}  // namespace

bool IsInlineInPc(PropType type) {
  return type == PropType::kInt16 || type == PropType::kInt32 || type == PropType::kBoolean;
}

bool IsFixedSize(PropType type) {
  return IsInlineInPc(type) || type == PropType::kDouble || type == PropType::kInt64 ||
         type == PropType::kSysTime;
}

uint8_t CellSize(PropType type) {
  switch (type) {
    case PropType::kBoolean: return 1;
    case PropType::kInt16: return 2;
    case PropType::kDouble:
    case PropType::kInt64:
    case PropType::kSysTime: return 8;
    default: return 4;
  }
}

bool IsKnownType(uint16_t type) {
  switch (static_cast<PropType>(type)) {
    case PropType::kInt16: case PropType::kInt32: case PropType::kDouble:
    case PropType::kBoolean: case PropType::kInt64: case PropType::kString:
    case PropType::kSysTime: case PropType::kGuid: case PropType::kBinary:
    case PropType::kMvInt32: case PropType::kMvString: case PropType::kMvBinary:
    case PropType::kObject:
      return true;
  }
  return false;
}

Status FixedBits(const Property& prop, uint64_t* bits) {
  switch (prop.type) {
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kBoolean:
    case PropType::kInt64:
      if (auto* v = std::get_if<int64_t>(&prop.value)) {
        uint64_t u = static_cast<uint64_t>(*v);
        if (prop.type == PropType::kInt16) u &= 0xFFFF;
        if (prop.type == PropType::kInt32) u &= 0xFFFFFFFF;
        if (prop.type == PropType::kBoolean) u = *v != 0 ? 1 : 0;
        *bits = u;
        return Status::Ok();
      }
      return Mismatch(prop);
    case PropType::kDouble:
      if (auto* v = std::get_if<double>(&prop.value)) {
        std::memcpy(bits, v, 8);
        return Status::Ok();
      }
      return Mismatch(prop);
    case PropType::kSysTime:
      if (auto* v = std::get_if<uint64_t>(&prop.value)) {
        *bits = *v;
        return Status::Ok();
      }
      return Mismatch(prop);
    default:
      return Mismatch(prop);
  }
}

Status EncodeValue(const Property& prop, std::vector<uint8_t>* out) {
  if (IsFixedSize(prop.type)) {
    uint64_t bits;
    Status s = FixedBits(prop, &bits);
    if (!s.ok()) return s;
    size_t n = prop.type == PropType::kInt16 ? 2 : prop.type == PropType::kInt32 ||
                                                         prop.type == PropType::kBoolean
                                                     ? 4
                                                     : 8;
    for (size_t i = 0; i < n; ++i) out->push_back((bits >> (8 * i)) & 0xFF);
    return Status::Ok();
  }
  switch (prop.type) {
    case PropType::kString:
      if (auto* v = std::get_if<std::u16string>(&prop.value)) {
        AppendString(out, *v);
        return Status::Ok();
      }
      return Mismatch(prop);
    case PropType::kGuid:
    case PropType::kBinary:
      if (auto* v = std::get_if<std::vector<uint8_t>>(&prop.value)) {
        if (prop.type == PropType::kGuid && v->size() != 16) {
          return Status::InvalidArgument("GUID property is not 16 bytes long");
        }
        out->insert(out->end(), v->begin(), v->end());
        return Status::Ok();
      }
      if (auto* v = std::get_if<std::shared_ptr<const ValueSource>>(&prop.value);
          v != nullptr && *v && prop.type == PropType::kBinary) {
        std::vector<uint8_t> bytes;
        Status s = ReadWhole(**v, &bytes);
        if (s.ok()) out->insert(out->end(), bytes.begin(), bytes.end());
        return s;
      }
      return Mismatch(prop);
    case PropType::kMvInt32:
      if (auto* v = std::get_if<std::vector<int32_t>>(&prop.value)) {
        for (int32_t x : *v) Append32(out, static_cast<uint32_t>(x));
        return Status::Ok();
      }
      return Mismatch(prop);
    case PropType::kMvString:
      if (auto* v = std::get_if<std::vector<std::u16string>>(&prop.value)) {
        AppendMulti(out, *v, [&](const std::u16string& s) { AppendString(out, s); });
        return Status::Ok();
      }
      return Mismatch(prop);
    case PropType::kMvBinary:
      if (auto* v = std::get_if<std::vector<std::vector<uint8_t>>>(&prop.value)) {
        AppendMulti(out, *v, [&](const std::vector<uint8_t>& b) {
          out->insert(out->end(), b.begin(), b.end());
        });
        return Status::Ok();
      }
      return Mismatch(prop);
    default:
      return Mismatch(prop);
  }
}

}  // namespace pst::ltp
