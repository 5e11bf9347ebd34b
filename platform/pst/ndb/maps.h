// The allocation maps of a finished file ([MS-PST] 2.2.2.7.2 - 2.2.2.7.6):
// AllocationMap records which 64-byte units of each AMap interval are in use,
// and the Build* functions turn it into AMap, PMap, FMap, FPMap and density
// list pages and into the header's initial free maps.
#ifndef TOLLAN_PLATFORM_PST_NDB_MAPS_H_
#define TOLLAN_PLATFORM_PST_NDB_MAPS_H_

#include <cstdint>
#include <vector>

namespace pst::ndb {

class AllocationMap {
 public:
  // A map of `intervals` AMap intervals with their own map pages marked.
  explicit AllocationMap(uint64_t intervals);

  // Marks [ib, ib + size) used; both are multiples of 64 inside one interval.
  void MarkUsed(uint64_t ib, uint64_t size);

  uint64_t intervals() const { return intervals_; }
  // The 496 AMap bytes of interval i (bit 7 of byte 0 is its first 64 bytes).
  const uint8_t* Bits(uint64_t i) const { return bits_.data() + i * 496; }
  // Unused 64-byte units in interval i.
  uint32_t FreeSlots(uint64_t i) const;
  // Longest run of unused 64-byte units in interval i.
  uint32_t LongestFreeRun(uint64_t i) const;
  // Unused bytes over all intervals (the header's cbAMapFree).
  uint64_t FreeBytes() const;

 private:
  uint64_t intervals_;
  std::vector<uint8_t> bits_;
};

// The map pages at the start of interval i, MapPagesIn(i) pages from its
// start: the AMap, then the PMap, FMap and FPMap where one is due, each at
// its place in format.h (an FPMap twice). PMaps mark every page as not
// available (this writer reserves no pages through them), so FPMaps show
// every PMap as full.
std::vector<uint8_t> BuildMapPages(const AllocationMap& map, uint64_t i);

// The density list page: AMap pages with free space, densest first
// (at most 119), marked as complete.
void BuildDensityList(const AllocationMap& map, uint64_t bid, uint8_t* page);

// The header's rgbFM (longest free run of AMaps 0..127, capped at 255, 0 past
// the end of the file) and rgbFP (all PMaps full).
void BuildHeaderFreeMaps(const AllocationMap& map, uint8_t* rgb_fm, uint8_t* rgb_fp);

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_MAPS_H_
