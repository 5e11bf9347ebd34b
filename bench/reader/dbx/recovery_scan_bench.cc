// The recovery scan of a 1 GB folder file next to a plain sequential read of
// the same file in the same run, so that the two rates can be compared as a
// ratio. The file holds 8 KB messages; every 64th has been deleted (body kept,
// no record, no index entry), so the scan has chains to join beyond the
// index. It is generated into the system's temporary directory at the first
// use and removed when the run ends.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/recovery_scan.h"
#include "tests/support/dbxgen/store.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMessageSize = 8192;
constexpr uint64_t kFileSize = uint64_t{1} << 30;
// A message takes its blocks (528 per 512 text bytes) and a record.
constexpr size_t kMessages = kFileSize / (kMessageSize / 512 * 528 + 512);

struct Folder {
  fs::path dir;
  std::string path;
  ~Folder() {
    std::error_code ignored;
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }
};

const std::string& FolderPath() {
  static Folder folder;
  if (!folder.path.empty()) return folder.path;
  folder.dir = fs::temp_directory_path() /
               ("kestrel-recovery-bench-" + std::to_string(::getpid()));
  dbxgen::StoreSpec spec;
  spec.folders = dbxgen::StandardFolders();
  spec.folders[2].source = [](size_t i, dbxgen::Message& out) {
    if (i >= kMessages) return false;
    out = dbxgen::Message();
    out.flags = 0x81;
    out.subject = "Message " + std::to_string(i);
    out.text = "Subject: Message " + std::to_string(i) + "\r\nFrom: a@example.com\r\n\r\n";
    out.text.resize(kMessageSize, static_cast<char>('a' + i % 26));
    out.damage.deleted = i % 64 == 63;
    return true;
  };
  auto report = dbxgen::WriteStore(folder.dir, spec);
  if (!report.ok()) {
    std::fprintf(stderr, "cannot generate the folder: %s\n", report.status().message().c_str());
    std::exit(1);
  }
  folder.path = (folder.dir / "Inbox.dbx").string();
  return folder.path;
}

// Baseline: the file read from start to end in 1 MiB pieces.
void BM_PlainRead1G(benchmark::State& state) {
  const std::string& path = FolderPath();
  std::vector<char> buffer(1 << 20);
  uint64_t total = 0;
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY);
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) total += static_cast<uint64_t>(n);
    ::close(fd);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
}
BENCHMARK(BM_PlainRead1G)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RecoveryScan1G(benchmark::State& state) {
  const std::string& path = FolderPath();
  uint64_t total = 0;
  size_t found = 0, beyond = 0;
  for (auto _ : state) {
    std::unique_ptr<dbx::FileSource> file;
    dbx::DbxRecoveryScan scan;
    if (!dbx::FileSource::Open(path, false, &file).ok() ||
        !dbx::ScanFolderFile(*file, &scan).ok()) {
      state.SkipWithError("scan failed");
      return;
    }
    total += file->size();
    found = scan.messages.size();
    beyond = scan.BeyondIndexCount();
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["messages"] = static_cast<double>(found);
  state.counters["beyond_index"] = static_cast<double>(beyond);
}
BENCHMARK(BM_RecoveryScan1G)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
