// Fuzz target: reading messages back from any bytes must fail cleanly —
// never crash, hang or read outside the input. It reads the contents table
// of the usual folders and the digest of every message they list, through
// one MessageReader, as a read-back does (its buffers serve one message
// after another). Seeds: fuzz_pst_readback.seeds.sh.
#include <cstddef>
#include <cstdint>

#include "platform/pst/check/source.h"
#include "platform/pst/readback/message_reader.h"
#include "platform/pst/readback/node_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pst::check::MemorySource source(data, size);
  pst::readback::NodeReader ndb(source);
  std::string error;
  if (!ndb.Open(&error)) return 0;
  pst::readback::MessageReader reader(ndb);
  for (uint32_t folder : {0x122u, 0x8022u, 0x8042u, 0x8062u, 0x8082u, 0x80A2u}) {
    std::vector<uint32_t> nids;
    if (!pst::readback::ReadFolderOrder(ndb, folder, &nids, &error)) continue;
    for (size_t i = 0; i < nids.size() && i < 64; ++i) {
      pst::check::Subnode node;
      pst::readback::MessageDigest digest;
      if (ndb.FindNode(nids[i], &node)) reader.Read(node, &digest, &error);
    }
  }
  return 0;
}
