// BTH layout: the BTHHEADER item first, then the leaf items, then each index
// level bottom-up; the header names the root and the number of index levels.
#include "platform/pst/ltp/bth_builder.h"

#include <cstring>
#include <string>

namespace pst::ltp {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

std::span<uint8_t> BthLayout::Record(HeapBuilder* heap, size_t index) const {
  std::span<uint8_t> leaf = heap->Item(leaves.at(index / records_per_leaf));
  return leaf.subspan((index % records_per_leaf) * record_size, record_size);
}

size_t BthLayout::RecordOffset(const HeapBuilder& heap, size_t index) const {
  return heap.StreamOffset(leaves.at(index / records_per_leaf)) + (index % records_per_leaf) * record_size;
}

Status BuildBth(HeapBuilder* heap, uint8_t key_size, uint8_t entry_size,
                std::span<const uint8_t> records, BthLayout* layout,
                size_t reserve_after_header) {
  if (!(key_size == 2 || key_size == 4 || key_size == 8 || key_size == 16) ||
      entry_size < 1 || entry_size > 32) {
    return Status::InvalidArgument("BTH record shape " + std::to_string(key_size) + "/" +
                                   std::to_string(entry_size) + " is not allowed");
  }
  const size_t record_size = size_t{key_size} + entry_size;
  if (records.size() % record_size != 0) {
    return Status::InvalidArgument("BTH records are not a whole number of records");
  }
  *layout = BthLayout();
  layout->record_size = record_size;
  layout->records_per_leaf = HeapBuilder::kMaxItemSize / record_size;

  Hid header;
  Status s = heap->AllocateZeroed(8, &header);
  if (!s.ok()) return s;
  layout->header = header;
  if (reserve_after_header > 0) {
    s = heap->AllocateZeroed(reserve_after_header, &layout->reserved);
    if (!s.ok()) return s;
  }

  // Leaves.
  size_t count = records.size() / record_size;
  std::vector<Hid> level;
  std::vector<size_t> first_record;  // first key of each item of `level`
  for (size_t i = 0; i < count; i += layout->records_per_leaf) {
    size_t n = std::min(layout->records_per_leaf, count - i);
    Hid hid;
    s = heap->Allocate(records.subspan(i * record_size, n * record_size), &hid);
    if (!s.ok()) return s;
    level.push_back(hid);
    first_record.push_back(i);
  }
  layout->leaves = level;

  // Index levels: records of (first key of child, child HID).
  uint8_t index_levels = 0;
  const size_t index_size = size_t{key_size} + 4;
  const size_t per_index = HeapBuilder::kMaxItemSize / index_size;
  while (level.size() > 1) {
    std::vector<Hid> upper;
    std::vector<size_t> upper_first;
    for (size_t i = 0; i < level.size(); i += per_index) {
      size_t n = std::min(per_index, level.size() - i);
      std::vector<uint8_t> item(n * index_size);
      for (size_t k = 0; k < n; ++k) {
        std::memcpy(&item[k * index_size], &records[first_record[i + k] * record_size], key_size);
        Put32(&item[k * index_size + key_size], level[i + k]);
      }
      Hid hid;
      s = heap->Allocate(item, &hid);
      if (!s.ok()) return s;
      upper.push_back(hid);
      upper_first.push_back(first_record[i]);
    }
    level = std::move(upper);
    first_record = std::move(upper_first);
    ++index_levels;
  }

  // BTHHEADER: bType, cbKey, cbEnt, bIdxLevels, hidRoot.
  uint8_t* h = heap->Item(header).data();
  h[0] = 0xB5;
  h[1] = key_size;
  h[2] = entry_size;
  h[3] = index_levels;
  Put32(h + 4, level.empty() ? 0 : level[0]);
  return Status::Ok();
}

}  // namespace pst::ltp
