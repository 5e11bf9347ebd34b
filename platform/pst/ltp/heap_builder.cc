// Heap-on-node layout: HNHDR on the first page, HNPAGEHDR or HNBITMAPHDR on the
// others, items packed after the header, the HNPAGEMAP after the last item
// ([MS-PST] 2.3.1.2 - 2.3.1.5).
#include "platform/pst/ltp/heap_builder.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace pst::ltp {
namespace {

constexpr size_t kMaxItemsPerPage = 2047;  // 11-bit hidIndex

void Put16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF; p[1] = v >> 8; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

// Fill level of a page with `free_bytes` unused ([MS-PST] 2.3.1.2).
uint8_t FillLevel(size_t free_bytes) {
  static constexpr size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024,
                                       768,  512,  256,  128,  64,   32,   16, 8};
  for (uint8_t level = 0; level < 15; ++level) {
    if (free_bytes >= kLimits[level]) return level;
  }
  return 15;
}

}  // namespace

// Page 0 carries the HNHDR (12 bytes); pages 8, 136, 264, ... an HNBITMAPHDR
// (66 bytes); every other page an HNPAGEHDR (2 bytes).
size_t HeapBuilder::HeaderSize(size_t page_index) {
  if (page_index == 0) return 12;
  if (page_index >= 8 && (page_index - 8) % 128 == 0) return 66;
  return 2;
}

Status HeapBuilder::Place(std::span<const uint8_t> bytes, size_t size, Hid* hid) {
  if (size > kMaxItemSize) {
    return Status::InvalidArgument("heap item of " + std::to_string(size) +
                                   " bytes exceeds the limit of 3580");
  }
  auto fits = [&](const Page& p) {
    size_t used = (p.bytes.size() + size + 1) & ~size_t{1};  // map is 2-aligned
    return p.starts.size() < kMaxItemsPerPage &&
           used + MapSize(p.starts.size() + 1) <= kBlockDataSize;
  };
  if (pages_.empty() || !fits(pages_.back())) {
    if (pages_.size() >= 0xFFFF) return Status::TooLarge("heap has too many pages");
    Page page;
    // A page grows to at most one block: reserved once, not grown step by step.
    page.bytes.reserve(kBlockDataSize);
    page.starts.reserve(64);
    page.bytes.assign(HeaderSize(pages_.size()), 0);
    pages_.push_back(std::move(page));
  }
  Page& page = pages_.back();
  page.starts.push_back(static_cast<uint16_t>(page.bytes.size()));
  if (bytes.empty()) {
    page.bytes.resize(page.bytes.size() + size);
  } else {
    page.bytes.insert(page.bytes.end(), bytes.begin(), bytes.end());
  }
  *hid = MakeHid(static_cast<uint32_t>(pages_.size() - 1),
                 static_cast<uint32_t>(page.starts.size()));
  return Status::Ok();
}

Status HeapBuilder::Allocate(std::span<const uint8_t> bytes, Hid* hid) {
  return Place(bytes, bytes.size(), hid);
}

Status HeapBuilder::AllocateZeroed(size_t size, Hid* hid) { return Place({}, size, hid); }

std::span<uint8_t> HeapBuilder::Item(Hid hid) {
  Page& page = pages_.at(hid >> 16);
  size_t index = ((hid >> 5) & 0x7FF) - 1;
  size_t start = page.starts.at(index);
  size_t end = index + 1 < page.starts.size() ? page.starts[index + 1] : page.bytes.size();
  return {page.bytes.data() + start, end - start};
}

size_t HeapBuilder::StreamOffset(Hid hid) const {
  const size_t page = hid >> 16;
  return page * kBlockDataSize + pages_.at(page).starts.at(((hid >> 5) & 0x7FF) - 1);
}

std::vector<uint8_t> HeapBuilder::Finish(HeapClient client, Hid user_root) const {
  std::vector<uint8_t> out;
  std::vector<uint8_t> fill(pages_.size(), 0);
  std::vector<size_t> page_starts;
  for (size_t i = 0; i < pages_.size(); ++i) {
    const Page& page = pages_[i];
    bool last = i + 1 == pages_.size();
    size_t map_size = MapSize(page.starts.size());
    size_t items_end = page.bytes.size();
    size_t map_at = (items_end + 1) & ~size_t{1};
    size_t page_size = map_at + map_size;
    if (!last) {  // pad to a full block, the map at its end
      page_size = kBlockDataSize;
      map_at = kBlockDataSize - map_size;
    }
    fill[i] = FillLevel(kBlockDataSize - items_end - map_size);
    size_t base = out.size();
    page_starts.push_back(base);
    out.resize(base + page_size, 0);
    uint8_t* p = out.data() + base;
    std::memcpy(p, page.bytes.data(), page.bytes.size());
    Put16(p, static_cast<uint16_t>(map_at));
    uint8_t* map = p + map_at;
    Put16(map, static_cast<uint16_t>(page.starts.size()));
    Put16(map + 2, 0);
    for (size_t k = 0; k < page.starts.size(); ++k) Put16(map + 4 + 2 * k, page.starts[k]);
    Put16(map + 4 + 2 * page.starts.size(), static_cast<uint16_t>(items_end));
  }
  if (pages_.empty()) {  // an empty heap still has its header and an empty map
    out.assign(12 + MapSize(0), 0);
    Put16(out.data(), 12);
    page_starts.push_back(0);
    fill.push_back(0);
  }
  // HNHDR: ibHnpm, bSig, bClientSig, hidUserRoot, rgbFillLevel (pages 0-7).
  uint8_t* h = out.data();
  h[2] = 0xEC;
  h[3] = static_cast<uint8_t>(client);
  Put32(h + 4, user_root);
  auto set_fill = [](uint8_t* levels, size_t slot, uint8_t level) {
    levels[slot / 2] |= static_cast<uint8_t>(level << (4 * (slot % 2)));
  };
  for (size_t i = 0; i < std::min<size_t>(8, fill.size()); ++i) set_fill(h + 8, i, fill[i]);
  // HNBITMAPHDR pages hold the fill levels of the 128 pages from themselves on.
  for (size_t i = 8; i < fill.size(); i += 128) {
    uint8_t* levels = out.data() + page_starts[i] + 2;
    for (size_t k = i; k < std::min(fill.size(), i + 128); ++k) set_fill(levels, k - i, fill[k]);
  }
  return out;
}

}  // namespace pst::ltp
