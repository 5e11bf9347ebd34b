// Write speed of the node database writer next to a plain sequential write
// of the same number of bytes in the same run: many small nodes, and large
// data trees. Files go to $TMPDIR (default /tmp) and are removed afterwards.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/pst/ndb/ndb_writer.h"

namespace {

std::string BenchPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/" + name + "_" + std::to_string(getpid());
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  return v;
}

// Baseline: `total` bytes in 1 MiB pwrite calls, then fsync, as the writer's
// Close syncs too.
void SequentialWrite(benchmark::State& state, uint64_t total) {
  std::string path = BenchPath("seq");
  std::vector<uint8_t> chunk = Pattern(1 << 20);
  for (auto _ : state) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (uint64_t at = 0; at < total; at += chunk.size()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), total - at));
      if (pwrite(fd, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
        state.SkipWithError("pwrite failed");
      }
    }
    fsync(fd);
    close(fd);
  }
  unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

void BM_LargeDataTrees(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0)) << 20;
  const int count = 4;
  std::vector<uint8_t> data = Pattern(size);
  std::string path = BenchPath("large.pst");
  for (auto _ : state) {
    std::unique_ptr<pst::NdbWriter> w;
    if (!pst::NdbWriter::Create(path, &w).ok()) state.SkipWithError("create failed");
    for (int i = 0; i < count; ++i) {
      pst::Bid bid = 0;
      if (!w->WriteData(data, &bid).ok() || !w->PutNode(w->NewNid(0x04), 0x8022, bid, 0).ok()) {
        state.SkipWithError("write failed");
      }
    }
    if (!w->Close().ok()) state.SkipWithError("close failed");
  }
  unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * count));
}
BENCHMARK(BM_LargeDataTrees)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SequentialWriteLarge(benchmark::State& state) {
  SequentialWrite(state, (static_cast<uint64_t>(state.range(0)) << 20) * 4);
}
BENCHMARK(BM_SequentialWriteLarge)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SmallNodes(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const size_t size = 300;
  std::vector<uint8_t> data = Pattern(size);
  std::string path = BenchPath("small.pst");
  for (auto _ : state) {
    std::unique_ptr<pst::NdbWriter> w;
    if (!pst::NdbWriter::Create(path, &w).ok()) state.SkipWithError("create failed");
    for (int i = 0; i < count; ++i) {
      pst::NodeData node;
      node.data = data;
      if (!w->PutNode(w->NewNid(0x04), 0x8022, node).ok()) state.SkipWithError("write failed");
    }
    if (!w->Close().ok()) state.SkipWithError("close failed");
  }
  unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * count));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_SmallNodes)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SequentialWriteSmall(benchmark::State& state) {
  SequentialWrite(state, static_cast<uint64_t>(state.range(0)) * 300);
}
BENCHMARK(BM_SequentialWriteSmall)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
