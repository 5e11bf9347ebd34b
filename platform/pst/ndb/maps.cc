// Allocation map bookkeeping and map page encoding (see maps.h).
#include "platform/pst/ndb/maps.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/pst/ndb/btree.h"
#include "platform/pst/ndb/format.h"

namespace pst::ndb {
namespace {

constexpr uint32_t kUnitsPerInterval = kPageDataSize * 8;  // 3968

uint8_t CapByte(uint32_t v) { return static_cast<uint8_t>(std::min<uint32_t>(v, 255)); }

}  // namespace

AllocationMap::AllocationMap(uint64_t intervals)
    : intervals_(intervals), bits_(intervals * kPageDataSize, 0) {
  for (uint64_t i = 0; i < intervals_; ++i) {
    MarkUsed(IntervalStart(i), MapPagesIn(i) * kPageSize);
  }
}

void AllocationMap::MarkUsed(uint64_t ib, uint64_t size) {
  uint64_t i = IntervalOf(ib);
  uint64_t first = (ib - IntervalStart(i)) / kAMapBitBytes;
  uint64_t count = size / kAMapBitBytes;
  uint8_t* b = bits_.data() + i * kPageDataSize;
  for (uint64_t u = first; u < first + count; ++u) b[u / 8] |= static_cast<uint8_t>(0x80 >> (u % 8));
}

uint32_t AllocationMap::FreeSlots(uint64_t i) const {
  const uint8_t* b = Bits(i);
  uint32_t used = 0;
  for (size_t k = 0; k < kPageDataSize; ++k) used += static_cast<uint32_t>(std::popcount(b[k]));
  return kUnitsPerInterval - used;
}

uint32_t AllocationMap::LongestFreeRun(uint64_t i) const {
  const uint8_t* b = Bits(i);
  uint32_t best = 0, run = 0;
  for (uint32_t u = 0; u < kUnitsPerInterval; ++u) {
    if (b[u / 8] & (0x80 >> (u % 8))) {
      run = 0;
    } else {
      best = std::max(best, ++run);
    }
  }
  return best;
}

uint64_t AllocationMap::FreeBytes() const {
  uint64_t total = 0;
  for (uint64_t i = 0; i < intervals_; ++i) total += uint64_t{FreeSlots(i)} * kAMapBitBytes;
  return total;
}

std::vector<uint8_t> BuildMapPages(const AllocationMap& map, uint64_t i) {
  std::vector<uint8_t> out(MapPagesIn(i) * kPageSize, 0);
  const uint64_t base = IntervalStart(i);
  auto page_at = [&](uint64_t ib) { return out.data() + (ib - base); };

  std::memcpy(page_at(base), map.Bits(i), kPageDataSize);
  FinishPage(page_at(base), kPtypeAMap, base, base);
  if (HasPMap(i)) {
    std::memset(page_at(PMapOffset(i)), 0xFF, kPageDataSize);
    FinishPage(page_at(PMapOffset(i)), kPtypePMap, PMapOffset(i), PMapOffset(i));
  }
  if (HasFMap(i)) {
    // One byte per AMap, starting with this interval's.
    uint8_t* page = page_at(FMapOffset(i));
    for (uint64_t k = 0; k < kPageDataSize && i + k < map.intervals(); ++k) {
      page[k] = CapByte(map.LongestFreeRun(i + k));
    }
    FinishPage(page, kPtypeFMap, FMapOffset(i), FMapOffset(i));
  }
  if (HasFPMap(i)) {
    for (uint64_t ib : {PackedFPMapOffset(i), FPMapOffset(i)}) {
      std::memset(page_at(ib), 0xFF, kPageDataSize);
      FinishPage(page_at(ib), kPtypeFPMap, ib, ib);
    }
  }
  return out;
}

void BuildDensityList(const AllocationMap& map, uint64_t bid, uint8_t* page) {
  struct Entry {
    uint32_t page_num;
    uint32_t free_slots;
  };
  std::vector<Entry> entries;
  for (uint64_t i = 0; i < map.intervals(); ++i) {
    uint32_t free_slots = map.FreeSlots(i);
    if (free_slots > 0) entries.push_back({static_cast<uint32_t>(i), free_slots});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.free_slots < b.free_slots; });
  constexpr size_t kMaxEntries = 476 / 4;
  if (entries.size() > kMaxEntries) entries.resize(kMaxEntries);

  std::memset(page, 0, kPageSize);
  page[0] = 0x01;  // DFBackfillComplete
  page[1] = static_cast<uint8_t>(entries.size());
  Put32(page + 4, static_cast<uint32_t>(map.intervals() - 1));  // ulCurrentPage
  for (size_t k = 0; k < entries.size(); ++k) {
    Put32(page + 8 + 4 * k, (entries[k].page_num & 0xFFFFF) | (entries[k].free_slots << 20));
  }
  FinishPage(page, kPtypeDList, kDListOffset, bid);
}

void BuildHeaderFreeMaps(const AllocationMap& map, uint8_t* rgb_fm, uint8_t* rgb_fp) {
  std::memset(rgb_fm, 0, 128);
  for (uint64_t i = 0; i < 128 && i < map.intervals(); ++i) rgb_fm[i] = CapByte(map.LongestFreeRun(i));
  std::memset(rgb_fp, 0xFF, 128);
}

}  // namespace pst::ndb
