// FileDamage: faults the generator can build into a whole DBX file (folder
// file or folder list), on purpose, for tests and fuzz seeds.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_DAMAGE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_DAMAGE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dbxgen/status.h"

namespace dbxgen {

struct FileDamage {
  // The last node in the file (a leaf) names the root as its first child;
  // a root without other nodes names itself.
  bool cyclic_tree = false;
  // The first node that holds 52 entries claims 60 of them. Needs a fan-out
  // of 52 and at least 52 records.
  bool overfull_node = false;
  // The first word is 0xFE12ADCE instead of 0xFE12ADCF.
  bool wrong_signature = false;
  // Written as the second word instead of the file's own kind.
  std::optional<uint32_t> kind;
  // Written as the root offset instead of the real one (0, or the middle of
  // a node, for example).
  std::optional<uint32_t> root_offset;
  // The file is cut to this many bytes after it was written.
  std::optional<uint64_t> truncate_to;
  // The file loses this many bytes at its end after it was written.
  std::optional<uint64_t> cut_tail;
  // The file is cut to half its length.
  bool cut_half = false;
  // The root offset points 12 bytes into the root node.
  bool root_into_node = false;
};

// Applies the node faults of `damage` (cyclic_tree, overfull_node) to the
// serialised index nodes of a file, listed in file order, root first.
Status DamageNodes(const FileDamage& damage, std::vector<std::string>& nodes);

// The root offset to write for a tree whose root lies at `root`.
uint32_t RootOffsetToWrite(const FileDamage& damage, uint32_t root);

// The length to cut a file of `length` bytes to, if the damage cuts it.
std::optional<uint64_t> CutLength(const FileDamage& damage, uint64_t length);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_FILE_DAMAGE_H_
