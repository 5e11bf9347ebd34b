// ValueSource: a binary property value that is not held in memory whole (an
// attachment of hundreds of megabytes), read in pieces when it is needed. A
// property holds one through a shared pointer; the PST writer reads it
// straight into the blocks of the value's data tree, so that storing it
// takes memory for one block, not for the value.
//
// Typical use (the writer's side):
//   Status s = source->Read([&](std::span<const uint8_t> piece) {
//     return AppendToBlocks(piece);
//   });
//
// A source may be read any number of times, from any thread (one read at a
// time), and gives the same bytes each time. A read that cannot give size()
// bytes fails with a status that says why; what the sink took until then is
// to be dropped by the caller.
#ifndef TOLLAN_PLATFORM_PST_VALUE_SOURCE_H_
#define TOLLAN_PLATFORM_PST_VALUE_SOURCE_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/pst/status.h"

namespace pst {

class ValueSource {
 public:
  using Sink = std::function<Status(std::span<const uint8_t>)>;

  virtual ~ValueSource() = default;

  // The number of bytes Read gives.
  virtual uint64_t size() const = 0;

  // Hands the value to `sink` from its first byte on, in pieces of any
  // size, and stops at the first piece the sink refuses (returning its
  // status).
  virtual Status Read(const Sink& sink) const = 0;
};

// The whole value in memory, for the places that need it so (small values,
// the checks of a value's bytes); fails when the source gives other than
// size() bytes.
inline Status ReadWhole(const ValueSource& source, std::vector<uint8_t>* out) {
  out->clear();
  out->reserve(source.size());
  Status s = source.Read([out](std::span<const uint8_t> piece) {
    out->insert(out->end(), piece.begin(), piece.end());
    return Status::Ok();
  });
  if (s.ok() && out->size() != source.size()) {
    s = Status::IoError("a value read back " + std::to_string(out->size()) + " bytes of the " +
                        std::to_string(source.size()) + " it holds");
  }
  return s;
}

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_VALUE_SOURCE_H_
