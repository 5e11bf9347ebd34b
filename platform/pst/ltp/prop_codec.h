// Property value encoding shared by property contexts and tables: which types
// are fixed-size, how wide a table cell is, and the byte form of a value
// ([MS-PST] 2.3.3.4, [MS-OXCDATA] 2.11).
#ifndef TOLLAN_PLATFORM_PST_LTP_PROP_CODEC_H_
#define TOLLAN_PLATFORM_PST_LTP_PROP_CODEC_H_

#include <cstdint>
#include <vector>

#include "platform/pst/property.h"
#include "platform/pst/status.h"

namespace pst::ltp {

// True for types whose value is at most 4 bytes and is kept inside a PC
// record (PT_I2, PT_LONG, PT_BOOLEAN).
bool IsInlineInPc(PropType type);
// True for types of a fixed size (inline ones plus the 8-byte ones).
bool IsFixedSize(PropType type);
// Width of a table cell of this type: 1, 2, 4 or 8 (variable-size values
// take a 4-byte HNID cell).
uint8_t CellSize(PropType type);
// Whether `type` is one the writer knows.
bool IsKnownType(uint16_t type);

// Appends the stored bytes of `prop`'s value (little-endian; strings UTF-16LE
// without terminator; multi-valued variable types with the count and offset
// array). Fails when the value does not hold the alternative the type needs.
Status EncodeValue(const Property& prop, std::vector<uint8_t>* out);

// The value of a fixed-size property as a 64-bit pattern (for cells and
// inline PC values). Fails like EncodeValue.
Status FixedBits(const Property& prop, uint64_t* bits);

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_PROP_CODEC_H_
