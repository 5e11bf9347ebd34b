// HeapBuilder: lays out a heap-on-node ([MS-PST] 2.3.1) in memory. Callers
// allocate items (at most kMaxItemSize bytes each) and get their HIDs; Finish
// returns the node's data stream, one heap page per data block of a data tree:
// every page but the last fills a whole block, so a node writer that cuts the
// stream into full blocks keeps each page in its own block.
#ifndef TOLLAN_PLATFORM_PST_LTP_HEAP_BUILDER_H_
#define TOLLAN_PLATFORM_PST_LTP_HEAP_BUILDER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "platform/pst/status.h"

namespace pst::ltp {

using Hid = uint32_t;  // hidType 0 (5 bits), hidIndex (11 bits), hidBlockIndex (16 bits)

// Client signatures of the heap header (bClientSig).
enum class HeapClient : uint8_t { kTable = 0x7C, kBTree = 0xB5, kPropertyContext = 0xBC };

class HeapBuilder {
 public:
  // Bytes of data in one block of a Unicode PST (8192 minus the block trailer).
  static constexpr size_t kBlockDataSize = 8176;
  // Largest heap item; larger values go to subnodes.
  static constexpr size_t kMaxItemSize = 3580;

  HeapBuilder() = default;
  HeapBuilder(const HeapBuilder&) = delete;
  HeapBuilder& operator=(const HeapBuilder&) = delete;

  // Allocates an item holding `bytes` (may be empty) and stores its HID in
  // *hid. Fails for items over kMaxItemSize or when the heap is full.
  Status Allocate(std::span<const uint8_t> bytes, Hid* hid);
  // An item of `size` zero bytes, to be filled through Item().
  Status AllocateZeroed(size_t size, Hid* hid);

  // The bytes of an allocated item, writable until Finish.
  std::span<uint8_t> Item(Hid hid);

  // Where the bytes of item `hid` begin in the stream Finish returns: every
  // page but the last fills a whole block.
  size_t StreamOffset(Hid hid) const;

  // Serializes the heap with the given client signature and user root.
  std::vector<uint8_t> Finish(HeapClient client, Hid user_root) const;

  size_t page_count() const { return pages_.size(); }

 private:
  struct Page {
    std::vector<uint8_t> bytes;    // header + items, without the page map
    std::vector<uint16_t> starts;  // offset of each item
  };
  static size_t HeaderSize(size_t page_index);
  static size_t MapSize(size_t items) { return 4 + 2 * (items + 1); }
  // A new item of `size` bytes: a copy of `bytes`, or zeros when it is empty.
  Status Place(std::span<const uint8_t> bytes, size_t size, Hid* hid);

  std::vector<Page> pages_;
};

// HID helpers.
inline Hid MakeHid(uint32_t block_index, uint32_t item_index) {
  return (block_index << 16) | (item_index << 5);
}

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_HEAP_BUILDER_H_
