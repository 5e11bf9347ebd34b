// Benchmarks of the DBX reader on a generated folder of 100,000 messages:
// opening it (decoding the whole index and every record) and reading every
// message body, each next to the time it takes to simply read the same file
// from start to end, so the results can be read as ratios.
//
// The folder is generated once into the system's temporary directory and
// kept there for later runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "reader/dbx/session.h"
#include "tests/support/dbxgen/store.h"
#include "tests/support/dbxgen/synth.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMessages = 100000;
constexpr size_t kMessageSize = 2048;

// The path of the generated Inbox, generating it on first use.
const std::string& FolderPath() {
  static const std::string path = [] {
    const fs::path dir = fs::temp_directory_path() / "kestrel-dbx-bench-100k";
    const fs::path inbox = dir / "Inbox.dbx";
    const fs::path done = dir / "complete";
    if (!fs::exists(done)) {
      fs::remove_all(dir);
      dbxgen::StoreSpec spec;
      spec.folders = dbxgen::StandardFolders();
      dbxgen::SynthOptions synth;
      synth.message_size = kMessageSize;
      spec.folders[2].source = [synth](size_t position, dbxgen::Message& out) {
        if (position >= kMessages) return false;
        out = dbxgen::SynthesizeMessage(position, synth);
        return true;
      };
      auto report = dbxgen::WriteStore(dir, spec);
      if (!report.ok()) {
        std::fprintf(stderr, "cannot generate the folder: %s\n", report.status().message().c_str());
        std::exit(1);
      }
      std::FILE* f = std::fopen(done.c_str(), "w");
      if (f) std::fclose(f);
    }
    return inbox.string();
  }();
  return path;
}

// Baseline: the file read from start to end in 1 MiB pieces.
void BM_SequentialRead(benchmark::State& state) {
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
BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond);

// Opening the folder: header, folder info, the index walk and every record.
void BM_OpenFolder(benchmark::State& state) {
  const std::string& path = FolderPath();
  uint64_t records = 0;
  for (auto _ : state) {
    dbx::DbxSession session;
    dbx::DbxFolderContents contents;
    dbx::DbxFolderOpen open = session.OpenFolderPath(path, false, &contents);
    if (!open.status.ok() || contents.messages.size() != kMessages) {
      state.SkipWithError(("open failed: " + open.status.ToString()).c_str());
      return;
    }
    records += contents.messages.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(records));
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}
BENCHMARK(BM_OpenFolder)->Unit(benchmark::kMillisecond);

// Reading every message body of the open folder as segments, as the object
// model does.
void BM_ReadAllBodies(benchmark::State& state) {
  const std::string& path = FolderPath();
  dbx::DbxSession session;
  dbx::DbxFolderContents contents;
  if (!session.OpenFolderPath(path, false, &contents).status.ok()) {
    state.SkipWithError("open failed");
    return;
  }
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (const dbx::DbxMessage& m : contents.messages) {
      dbx::DbxBody body;
      if (!session.ReadBody(m.body_position, &body).ok() || !body.found) {
        state.SkipWithError("body read failed");
        return;
      }
      bytes += body.JoinedSize();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReadAllBodies)->Unit(benchmark::kMillisecond);

// Reading every message body of the open folder as one text each.
void BM_ReadAllBodyTexts(benchmark::State& state) {
  const std::string& path = FolderPath();
  dbx::DbxSession session;
  dbx::DbxFolderContents contents;
  if (!session.OpenFolderPath(path, false, &contents).status.ok()) {
    state.SkipWithError("open failed");
    return;
  }
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (const dbx::DbxMessage& m : contents.messages) {
      dbx::DbxBodyText body;
      if (!session.ReadBodyText(m.body_position, &body).ok() || !body.found) {
        state.SkipWithError("body read failed");
        return;
      }
      bytes += body.text.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReadAllBodyTexts)->Unit(benchmark::kMillisecond);

}  // namespace
