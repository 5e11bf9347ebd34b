// Cost of checking a PST against the cost of merely reading it: the
// Outlook-written fixture, and a copy grown (sparsely) to 512 MiB of empty
// allocation map intervals, where the map checks dominate. Each pair shares
// its file, so the ratio of the two times is the checker's overhead.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/pst/check/check.h"
#include "platform/pst/check/crc.h"

namespace {

constexpr uint64_t kCoverage = 253952;

std::string Fixture() { return std::string(TOLLAN_SHARED_DIR) + "/fixtures/real-pst/outlook-sample.pst"; }

void Put(std::vector<uint8_t>* b, size_t at, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void WriteMapPage(int fd, uint64_t ib, uint8_t ptype, size_t marked) {
  std::vector<uint8_t> page(512, 0);
  for (size_t i = 0; i < marked; ++i) page[i] = 0xFF;
  page[496] = page[497] = ptype;
  Put(&page, 500, pst::check::ComputeCrc(page.data(), 496), 4);
  Put(&page, 504, ib, 8);
  if (::pwrite(fd, page.data(), page.size(), static_cast<off_t>(ib)) != 512) std::abort();
}

// A copy of the fixture grown to `bytes` with sound, empty AMap intervals.
std::string GrownCopy(uint64_t bytes) {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / ("pst-check-bench-" + std::to_string(::getpid()) + ".pst")).string();
  std::filesystem::copy_file(Fixture(), path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  int fd = ::open(path.c_str(), O_RDWR);
  std::vector<uint8_t> h(564);
  if (::pread(fd, h.data(), h.size(), 0) != 564) std::abort();
  uint64_t eof = 0, free = 0;
  for (int i = 0; i < 8; ++i) eof |= static_cast<uint64_t>(h[184 + i]) << (8 * i);
  for (int i = 0; i < 8; ++i) free |= static_cast<uint64_t>(h[200 + i]) << (8 * i);
  uint64_t first = (eof - 0x4400) / kCoverage, amaps = (bytes - 0x4400) / kCoverage;
  for (uint64_t k = first; k < amaps; ++k) {
    uint64_t ib = 0x4400 + k * kCoverage;
    bool pmap = k % 8 == 0, fmap = k >= 128 && (k - 128) % 496 == 0;
    WriteMapPage(fd, ib, 0x84, 1 + pmap + fmap);
    if (pmap) WriteMapPage(fd, ib + 512, 0x83, 496);
    if (fmap) WriteMapPage(fd, ib + 1024, 0x82, 0);
    free += (496 * 8 - (1 + pmap + fmap) * 8) * 64;
  }
  eof = 0x4400 + amaps * kCoverage;
  if (::ftruncate(fd, static_cast<off_t>(eof)) != 0) std::abort();
  Put(&h, 184, eof, 8);
  Put(&h, 192, eof - kCoverage, 8);
  Put(&h, 200, free, 8);
  Put(&h, 4, pst::check::ComputeCrc(h.data() + 8, 471), 4);
  Put(&h, 524, pst::check::ComputeCrc(h.data() + 8, 516), 4);
  if (::pwrite(fd, h.data(), h.size(), 0) != 564) std::abort();
  ::close(fd);
  std::atexit([] { std::filesystem::remove(path); });
  return path;
}

// Baseline: read every byte of the file once, in 64 KiB preads.
void ReadAll(benchmark::State& state, const std::string& path) {
  std::vector<uint8_t> buf(64 << 10);
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY);
    uint64_t total = 0;
    ssize_t n;
    while ((n = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(total))) > 0) total += static_cast<uint64_t>(n);
    ::close(fd);
    benchmark::DoNotOptimize(total);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(total));
  }
}

void Check(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    pst::check::Report r = pst::check::CheckFile(path);
    if (!r.ok()) state.SkipWithError("file is not sound");
    benchmark::DoNotOptimize(r.stats.blocks);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(r.stats.file_size));
  }
}

void BM_ReadFixture(benchmark::State& state) { ReadAll(state, Fixture()); }
void BM_CheckFixture(benchmark::State& state) { Check(state, Fixture()); }
void BM_ReadGrown512MiB(benchmark::State& state) { ReadAll(state, GrownCopy(512u << 20)); }
void BM_CheckGrown512MiB(benchmark::State& state) { Check(state, GrownCopy(512u << 20)); }

BENCHMARK(BM_ReadFixture);
BENCHMARK(BM_CheckFixture);
BENCHMARK(BM_ReadGrown512MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckGrown512MiB)->Unit(benchmark::kMillisecond);

}  // namespace
