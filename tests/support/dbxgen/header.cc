// File header bytes; see header.h.
#include "tests/support/dbxgen/header.h"

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

std::string FileHeader(uint32_t kind, uint32_t info_length, const FileDamage& damage) {
  std::string header(kHeaderSize, '\0');
  PutU32(header, 0x00, damage.wrong_signature ? kSignature - 1 : kSignature);
  PutU32(header, 0x04, damage.kind.value_or(kind));
  // The rest of the class identity that the kind word begins.
  static const unsigned char kClassTail[12] = {0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E,
                                               0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
  for (int i = 0; i < 12; ++i) header[0x08 + i] = static_cast<char>(kClassTail[i]);
  PutU32(header, 0x14, 5);
  PutU32(header, 0x18, 5);
  PutU32(header, kHeaderInfoLength, info_length);
  PutU32(header, kHeaderFirstChunk, static_cast<uint32_t>(kHeaderSize + info_length));
  PutU32(header, 0x64, 1);
  return header;
}

void PatchHeader(FileSink& sink, uint32_t root_offset, uint32_t record_count,
                 uint32_t used_length) {
  sink.Patch(kHeaderFileLength, U32Bytes(used_length));
  sink.Patch(kHeaderRootCount, U32Bytes(record_count));
  sink.Patch(kHeaderRootOffset, U32Bytes(root_offset));
}

}  // namespace dbxgen
