// PstFile write throughput: 100,000 messages of about 4 KB, and 1,000
// messages with a 1 MB attachment, each next to a plain sequential write of
// the same number of bytes in the same run (the baseline). Counters report
// messages per second, bytes per second and the peak resident set size
// (ru_maxrss) of the process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/pst/pst_file.h"

namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;  // kilobytes on Linux
}

pst::MessageContent SmallMessage(int i) {
  pst::MessageContent m;
  m.props = {pst::MakeString(0x0037, u"Benchmark message " + std::u16string(1, u'a' + i % 26)),
             pst::MakeString(0x0042, u"Sender Name"),
             pst::MakeString(0x0E04, u"Receiver Name"),
             pst::MakeInt32(0x0E07, 1),
             pst::MakeTime(0x0039, 0x01D5000000000000ull + i),
             pst::MakeTime(0x0E06, 0x01D5000000000000ull + i),
             pst::MakeString(0x1000, std::u16string(1900, u'x'))};  // ~3.8 KB body
  return m;
}

pst::MessageContent LargeMessage(const std::vector<uint8_t>& data) {
  pst::MessageContent m;
  m.props = {pst::MakeString(0x0037, u"With attachment"), pst::MakeInt32(0x0E07, 1)};
  pst::AttachmentContent a;
  a.props = {pst::MakeInt32(0x3705, 1), pst::MakeString(0x3707, u"data.bin"),
             pst::MakeBinary(0x3701, data)};
  m.attachments.push_back(std::move(a));
  return m;
}

// Writes `bytes` in 64 KB chunks to a fresh file and syncs nothing, like the
// PST writer (both leave flushing to the OS).
void SequentialWrite(const std::string& path, uint64_t bytes) {
  std::vector<char> chunk(64 * 1024, 'z');
  FILE* f = std::fopen(path.c_str(), "wb");
  for (uint64_t done = 0; done < bytes; done += chunk.size()) {
    std::fwrite(chunk.data(), 1, std::min<uint64_t>(chunk.size(), bytes - done), f);
  }
  std::fclose(f);
}

void WritePst(benchmark::State& state, int count, bool large) {
  const std::string path = TempPath(large ? "bench_large.pst" : "bench_small.pst");
  std::vector<uint8_t> data(1024 * 1024);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 31);
  uint64_t file_size = 0;
  for (auto _ : state) {
    std::unique_ptr<pst::PstFile> pst;
    if (!pst::PstFile::Create(path, "Bench", &pst).ok()) state.SkipWithError("create failed");
    pst::FolderId folder;
    if (!pst->AddFolder(pst->IpmSubtree(), "Bulk", &folder).ok()) state.SkipWithError("folder");
    for (int i = 0; i < count; ++i) {
      pst::MessageContent m = large ? LargeMessage(data) : SmallMessage(i);
      if (!pst->AddMessage(folder, m).ok()) state.SkipWithError("add failed");
    }
    if (!pst->Close().ok()) state.SkipWithError("close failed");
    file_size = std::filesystem::file_size(path);
  }
  state.counters["messages_per_s"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_MB"] = file_size / 1e6;
  state.counters["peak_rss_MB"] = PeakRssMb();
  state.SetBytesProcessed(static_cast<int64_t>(file_size) * state.iterations());
  std::filesystem::remove(path);
}

// The baseline: the same number of bytes as the PST file of the same case.
void WriteSequential(benchmark::State& state, uint64_t bytes) {
  const std::string path = TempPath("bench_sequential.bin");
  for (auto _ : state) SequentialWrite(path, bytes);
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  std::filesystem::remove(path);
}

void BM_Pst100kSmallMessages(benchmark::State& s) { WritePst(s, 100000, false); }
void BM_Pst1kMessagesWith1MbAttachment(benchmark::State& s) { WritePst(s, 1000, true); }
// Sizes match the PST files the two cases above write (measured: about
// 0.5 GB and 1.05 GB); the ratio of bytes_per_second is the figure of merit.
void BM_Sequential500MB(benchmark::State& s) { WriteSequential(s, 500ull << 20); }
void BM_Sequential1GB(benchmark::State& s) { WriteSequential(s, 1000ull << 20); }

BENCHMARK(BM_Pst100kSmallMessages)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Sequential500MB)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Pst1kMessagesWith1MbAttachment)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Sequential1GB)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
