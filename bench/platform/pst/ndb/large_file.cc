// Writes a PST of the given size through the node database writer and reads
// it back with the independent test reader, which checks every page, block,
// map page and node, then with pst-check's node database checks, whose list
// of map pages must match the layout of platform/pst/ndb/format.h page for
// page. Run by large_file_check.sh past each boundary (the first FPMap near
// 1.94 GiB, 4 GiB, the second FPMap near 9.45 GiB); too slow and too large
// for the unit tests.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/pst/ndb/format.h"
#include "platform/pst/ndb/ndb_writer.h"
#include "tests/platform/pst/ndb/read_back.h"

#ifdef PST_NDB_WITH_CHECK
#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/source.h"
#endif

namespace {

std::vector<uint8_t> NodeBytes(uint32_t seed, size_t n) {
  std::vector<uint8_t> v(n);
  std::mt19937_64 rng(seed);
  for (size_t i = 0; i + 8 <= n; i += 8) {
    uint64_t x = rng();
    for (int k = 0; k < 8; ++k) v[i + k] = static_cast<uint8_t>(x >> (8 * k));
  }
  return v;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT.pst GIB\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const double gib = std::atof(argv[2]);
  const size_t kBig = 64u << 20;
  const uint32_t big_nodes = static_cast<uint32_t>(gib * 1024 / 64) + 1;

  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<pst::NdbWriter> w;
  pst::Status s = pst::NdbWriter::Create(path, &w);
  // The parents the nodes name: a root folder (its own parent) and a child.
  if (s.ok()) s = w->PutNode(0x122, 0x122, pst::NodeData{NodeBytes(7, 200), {}});
  if (s.ok()) s = w->PutNode(0x8022, 0x122, pst::NodeData{NodeBytes(8, 200), {}});
  for (uint32_t i = 0; s.ok() && i < big_nodes; ++i) {
    pst::NodeData big;
    big.data = NodeBytes(i, kBig);
    big.subnodes.push_back({0x3F, pst::NodeData{NodeBytes(i + 1000000, 5000), {}}});
    s = w->PutNode(((0x10000 + i) << 5) | 0x04, 0x8022, big);
    // Small nodes between the big ones spread blocks over every interval.
    for (uint32_t k = 0; s.ok() && k < 200; ++k) {
      pst::NodeData small;
      small.data = NodeBytes(i * 1000 + k, 100 + k);
      s = w->PutNode(((0x400 + i * 200 + k) << 5) | 0x01, 0x8022, small);
    }
  }
  if (s.ok()) s = w->Close();
  if (!s.ok()) {
    std::fprintf(stderr, "write failed: %s\n", s.ToString().c_str());
    return 1;
  }
  std::printf("wrote %s: %llu bytes (%.2f GiB) in %.1f s\n", path.c_str(),
              static_cast<unsigned long long>(w->FileSize()), w->FileSize() / double(1ull << 30),
              Seconds(start));

  start = std::chrono::steady_clock::now();
  pst::ndb::testing::ReadBack rb;
  s = rb.Open(path);
  if (!s.ok()) {
    std::fprintf(stderr, "read-back failed: %s\n", s.ToString().c_str());
    return 1;
  }
  for (uint32_t i = 0; i < big_nodes; ++i) {
    pst::ndb::testing::Content c;
    s = rb.ReadNode(((0x10000 + i) << 5) | 0x04, &c);
    if (!s.ok() || c.data != NodeBytes(i, kBig) ||
        c.subnodes[0x3F].data != NodeBytes(i + 1000000, 5000)) {
      std::fprintf(stderr, "node %u differs: %s\n", i, s.ToString().c_str());
      return 1;
    }
  }
  uint64_t last_ib = 0;
  for (const auto& [bid, b] : rb.blocks()) last_ib = std::max(last_ib, b.ib);
  std::printf("read back %zu nodes, %zu blocks (last block at offset %llu), NBT depth %d, "
              "BBT depth %d, %llu bytes free: all checks passed in %.1f s\n",
              rb.nodes().size(), rb.blocks().size(), static_cast<unsigned long long>(last_ib),
              rb.nbt_depth(), rb.bbt_depth(), static_cast<unsigned long long>(rb.amap_free()),
              Seconds(start));

#ifdef PST_NDB_WITH_CHECK
  start = std::chrono::steady_clock::now();
  pst::check::Report report;
  std::string error;
  auto source = pst::check::FileSource::Open(path, &error);
  if (!source) {
    std::fprintf(stderr, "pst-check cannot open the file: %s\n", error.c_str());
    return 1;
  }
  pst::check::NdbChecker checker(*source, &report);
  checker.set_list_map_pages(true);
  if (checker.ReadHeader()) checker.CheckAll();
  for (const auto& p : report.problems) std::fprintf(stderr, "%s\n", p.ToString().c_str());
  std::printf("pst-check (node database): %s, %zu problems, in %.1f s\n",
              report.fatal.empty() ? "checked" : report.fatal.c_str(), report.problems.size(),
              Seconds(start));
  if (!report.ok()) return 1;

  // The map pages pst-check found against where the writer's layout puts them.
  std::vector<pst::check::MapPage> want;
  const uint64_t intervals = pst::ndb::IntervalOf(w->FileSize() - 1) + 1;
  for (uint64_t i = 0; i < intervals; ++i) {
    want.push_back({pst::ndb::IntervalStart(i), i, "AMap"});
    if (pst::ndb::HasPMap(i)) want.push_back({pst::ndb::PMapOffset(i), i, "PMap"});
    if (pst::ndb::HasFMap(i)) want.push_back({pst::ndb::FMapOffset(i), i, "FMap"});
    if (pst::ndb::HasFPMap(i)) {
      want.push_back({pst::ndb::PackedFPMapOffset(i), i, "FPMap copy"});
      want.push_back({pst::ndb::FPMapOffset(i), i, "FPMap"});
    }
  }
  size_t counts[2] = {0, 0};   // AMaps, PMaps
  for (size_t k = 0; k < std::max(want.size(), report.map_pages.size()); ++k) {
    const pst::check::MapPage* got = k < report.map_pages.size() ? &report.map_pages[k] : nullptr;
    if (k >= want.size() || got == nullptr || got->offset != want[k].offset || got->kind != want[k].kind) {
      std::fprintf(stderr, "map page %zu: pst-check lists %s at 0x%llx, the layout says %s at 0x%llx\n", k,
                   got ? got->kind.c_str() : "nothing", got ? static_cast<unsigned long long>(got->offset) : 0ull,
                   k < want.size() ? want[k].kind.c_str() : "nothing",
                   k < want.size() ? static_cast<unsigned long long>(want[k].offset) : 0ull);
      return 1;
    }
    if (got->kind == "AMap" || got->kind == "PMap") {
      ++counts[got->kind == "PMap"];
    } else {
      std::printf("  map page 0x%llx: %s (interval %llu)\n", static_cast<unsigned long long>(got->offset),
                  got->kind.c_str(), static_cast<unsigned long long>(got->interval));
    }
  }
  std::printf("map pages where the layout puts them: %zu AMaps (every 0x%llx bytes from 0x4400), %zu PMaps "
              "(the second page of every 8th interval) and the pages above\n",
              counts[0], static_cast<unsigned long long>(pst::ndb::kIntervalSize), counts[1]);
#endif
  return 0;
}
