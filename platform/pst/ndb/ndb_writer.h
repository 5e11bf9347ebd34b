// NdbWriter: the node database layer of a Unicode PST file ([MS-PST] 2.2).
// It allocates space, writes data blocks, data trees and subnode trees as they
// are handed over, keeps the node and block B-tree entries in memory, and on
// Close writes the B-trees, the allocation maps, the density list and the
// header. The layers above never see offsets or pages, only node and block ids.
//
// Blocks are written with the "no encryption" encoding (bCryptMethod 0).
//
// Failures: a call that fails leaves the writer as it was before the call
// (blocks it had written are dropped), so Close still produces a complete
// file of everything stored by the calls that succeeded. A failed Close may
// be retried; no other call is accepted after it.
//
// Output safety: the header, which makes the file a PST, is written last by
// Close; until then the file starts with zeros. A writer destroyed without a
// successful Close removes its file.
#ifndef TOLLAN_PLATFORM_PST_NDB_NDB_WRITER_H_
#define TOLLAN_PLATFORM_PST_NDB_NDB_WRITER_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/pst/status.h"
#include "platform/pst/value_source.h"

namespace pst {

using Nid = uint32_t;  // low 5 bits: node type; high 27 bits: index
using Bid = uint64_t;  // 0 means "none"

// A node's content as the layers above build it: its data stream (any size;
// empty for none) and the subnodes it owns, each possibly with subnodes of
// its own (an attachment's embedded message, for example). A data stream
// too large to hold whole comes from `source` instead (then `data` is
// empty): it is read into the blocks as they are written.
// (The default member initializers let clang with libstdc++ accept the
// recursive pair type.)
struct NodeData {
  std::vector<uint8_t> data = {};
  std::vector<std::pair<Nid, NodeData>> subnodes = {};
  std::shared_ptr<const ValueSource> source = {};

  uint64_t data_size() const { return source ? source->size() : data.size(); }
};

class NdbWriter {
 public:
  struct SubnodeEntry {
    Nid nid = 0;
    Bid data = 0;
    Bid sub = 0;
  };

  // Creates a new, empty PST file at `path` (replacing any file there). Until
  // Close succeeds the file is not a valid PST.
  static Status Create(const std::string& path, std::unique_ptr<NdbWriter>* out);
  virtual ~NdbWriter() = default;

  // Writes `bytes` as one data block, or as an XBLOCK / XXBLOCK tree over data
  // blocks when it does not fit one block, and returns the root block id
  // (0 for empty input). More than 4 GiB - 1 bytes give kTooLarge. A tree
  // that no node (or subnode) refers to when Close runs is left out.
  virtual Status WriteData(std::span<const uint8_t> bytes, Bid* bid) = 0;
  // The same for a value read from `source`, block by block: the blocks are
  // those WriteData writes for the same bytes.
  virtual Status WriteData(const ValueSource& source, Bid* bid) = 0;

  // Writes a subnode tree (one SLBLOCK, or an SIBLOCK over SLBLOCKs) for the
  // given entries (any order) and returns its root block id (0 for none).
  // Each entry's `data` must be 0 or a data tree and its `sub` 0 or a
  // subnode tree from this writer; nids must be distinct (kInvalidArgument).
  // At most 173,400 entries (kTooLarge).
  virtual Status WriteSubnodes(std::vector<SubnodeEntry> entries, Bid* bid) = 0;

  // Adds a node to the node B-tree, or replaces the node of that id; the blocks
  // of a replaced version are freed unless something else still refers to
  // them (blocks are reference counted; the BBT's cRef is, as in files
  // Outlook writes, one more than the references). `data` and `sub` follow
  // the rules of WriteSubnodes' entries; nid 0 is refused.
  virtual Status PutNode(Nid nid, Nid parent, Bid data, Bid sub) = 0;

  // Writes `content` (data tree and subnode trees, recursively) and puts it as
  // node `nid`.
  virtual Status PutNode(Nid nid, Nid parent, const NodeData& content) = 0;

  virtual bool HasNode(Nid nid) const = 0;

  // A node id of the given type (0..31) not used before in this file; the
  // header's per-type counters (rgnid) follow it and also move past every id
  // given to PutNode. 0 for a type above 31.
  virtual Nid NewNid(uint8_t nid_type) = 0;

  // Writes the B-trees, maps, density list and header. Afterwards the file is
  // a complete PST; no further call is allowed.
  virtual Status Close() = 0;

  // Bytes written to the file so far (after Close, the file's size).
  virtual uint64_t FileSize() const = 0;
};

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_NDB_NDB_WRITER_H_
