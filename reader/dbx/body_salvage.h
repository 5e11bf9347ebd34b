// Salvaging a message body: what a damaged chain of body blocks still holds.
//
// ReadBodyChain and ReadBodyText read a chain as the object model does: a
// block with a used length that does not fit fails the read, and a block the
// chain names is taken whatever it holds. A converter that must keep every
// message it can reads the chain with SalvageBodyText instead:
//
//   dbx::DbxSalvagedBody body;
//   dbx::DbxStatus s = dbx::SalvageBodyText(source, m.body_position, &body);
//   if (!s.ok()) ...               // a device error, nothing else
//   if (!body.found) ...           // no first block: no body at all
//   if (!body.whole()) note(body.damage);  // the text is what could be read
//
// Every byte of the salvaged text is a text byte of a block of the chain, in
// chain order; nothing is made up. A block is taken only when it names its
// own offset (every body block does), and a chain that leads somewhere else
// ends there.
#ifndef TOLLAN_READER_DBX_BODY_SALVAGE_H_
#define TOLLAN_READER_DBX_BODY_SALVAGE_H_

#include <cstdint>
#include <string>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/status.h"

namespace dbx {

struct DbxSalvagedBody {
  // The first block carried its own offset. When false there is no text.
  bool found = false;
  // The stored text as far as it could be read.
  std::string text;
  // What was lost, in words a user can act on ("" when the chain was read
  // whole): where the chain broke, how many bytes were read, and what the
  // damaged block declared.
  std::string damage;
  // Blocks read, and of them those whose used length was damaged but whose
  // place in the chain shows them to be full (512 bytes).
  uint32_t blocks = 0;
  uint32_t repaired_lengths = 0;

  bool whole() const { return found && damage.empty(); }
};

// Reads the chain at `position` into *body (which starts empty):
//  - a block that does not name its own offset ends the chain before it (its
//    link is damaged); for the first block that means no body;
//  - a block whose used length is above 512 is kept as a full block when the
//    chain goes on from it to a block that names itself (every block but the
//    last holds 512 bytes), and otherwise ends the chain without its text;
//  - a chain that leads back to a block already read, or past the end of the
//    file, ends there.
// Each of these sets `damage`. Fails only when the source cannot be read.
DbxStatus SalvageBodyText(ByteSource& source, uint32_t position, DbxSalvagedBody* body);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_BODY_SALVAGE_H_
