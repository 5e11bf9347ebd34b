// B-tree page building (see btree.h).
#include "platform/pst/ndb/btree.h"

#include <cstring>
#include <vector>

#include "platform/pst/ndb/crc.h"
#include "platform/pst/ndb/format.h"

namespace pst::ndb {
namespace {

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Splits `n` entries over as few pages of at most `per_page` as possible,
// as evenly as possible; returns the count of each page.
std::vector<size_t> Split(uint64_t n, size_t per_page) {
  uint64_t pages = n == 0 ? 1 : CeilDiv(n, per_page);
  std::vector<size_t> counts(pages, static_cast<size_t>(n / pages));
  for (uint64_t i = 0; i < n % pages; ++i) counts[i]++;
  return counts;
}

}  // namespace

void FinishPage(uint8_t* page, uint8_t ptype, uint64_t ib, uint64_t bid) {
  uint8_t* t = page + kPageDataSize;
  t[0] = ptype;
  t[1] = ptype;
  bool signed_page = ptype == kPtypeBbt || ptype == kPtypeNbt || ptype == kPtypeDList;
  Put16(t + 2, signed_page ? ComputeSig(ib, bid) : 0);
  Put32(t + 4, Crc32(0, page, kPageDataSize));
  Put64(t + 8, bid);
}

uint64_t BTreePageCount(uint64_t n, size_t leaf_entry_size) {
  uint64_t pages = n == 0 ? 1 : CeilDiv(n, kBtEntriesSize / leaf_entry_size);
  uint64_t total = pages;
  while (pages > 1) {
    pages = CeilDiv(pages, kBtEntriesSize / kBtEntrySize);
    total += pages;
  }
  return total;
}

Status WriteBTree(uint8_t ptype, std::span<const uint8_t> entries, size_t leaf_entry_size,
                  const PageSink& sink, PageRef* root) {
  struct Child {
    uint64_t key;
    PageRef ref;
  };
  std::vector<Child> level;
  uint8_t page[kPageSize];

  // Leaves.
  const uint64_t n = entries.size() / leaf_entry_size;
  size_t at = 0;
  for (size_t count : Split(n, kBtEntriesSize / leaf_entry_size)) {
    std::memset(page, 0, sizeof(page));
    if (count > 0) {
      std::memcpy(page, entries.data() + at * leaf_entry_size, count * leaf_entry_size);
    }
    page[kBtEntriesSize] = static_cast<uint8_t>(count);
    page[kBtEntriesSize + 1] = static_cast<uint8_t>(kBtEntriesSize / leaf_entry_size);
    page[kBtEntriesSize + 2] = static_cast<uint8_t>(leaf_entry_size);
    page[kBtEntriesSize + 3] = 0;
    Child c{count > 0 ? Get64(entries.data() + at * leaf_entry_size) : 0, {}};
    Status s = sink(ptype, page, &c.ref);
    if (!s.ok()) return s;
    level.push_back(c);
    at += count;
  }

  // Intermediate levels until one page remains.
  for (uint8_t depth = 1; level.size() > 1; ++depth) {
    std::vector<Child> upper;
    size_t next = 0;
    for (size_t count : Split(level.size(), kBtEntriesSize / kBtEntrySize)) {
      std::memset(page, 0, sizeof(page));
      for (size_t i = 0; i < count; ++i) {
        const Child& c = level[next + i];
        Put64(page + i * kBtEntrySize, c.key);
        Put64(page + i * kBtEntrySize + 8, c.ref.bid);
        Put64(page + i * kBtEntrySize + 16, c.ref.ib);
      }
      page[kBtEntriesSize] = static_cast<uint8_t>(count);
      page[kBtEntriesSize + 1] = static_cast<uint8_t>(kBtEntriesSize / kBtEntrySize);
      page[kBtEntriesSize + 2] = static_cast<uint8_t>(kBtEntrySize);
      page[kBtEntriesSize + 3] = depth;
      Child c{level[next].key, {}};
      Status s = sink(ptype, page, &c.ref);
      if (!s.ok()) return s;
      upper.push_back(c);
      next += count;
    }
    level = std::move(upper);
  }
  *root = level[0].ref;
  return Status::Ok();
}

}  // namespace pst::ndb
