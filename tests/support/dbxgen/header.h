// The 9404-byte header that starts every DBX file, in the form Outlook
// Express writes it: signature, file kind and the rest of its class
// identity, version words, the length of the block that follows, and the
// main index (root offset and record count), which Finish* patches in.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_HEADER_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_HEADER_H_

#include <cstdint>
#include <string>

#include "tests/support/dbxgen/file_damage.h"
#include "tests/support/dbxgen/file_sink.h"

namespace dbxgen {

// Header bytes for a file of `kind` whose header is followed by a block of
// `info_length` bytes. Damage to the first two words is applied here.
std::string FileHeader(uint32_t kind, uint32_t info_length, const FileDamage& damage);

// Patches the index root, its record count and the used length into a
// header already written to `sink`.
void PatchHeader(FileSink& sink, uint32_t root_offset, uint32_t record_count,
                 uint32_t used_length);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_HEADER_H_
