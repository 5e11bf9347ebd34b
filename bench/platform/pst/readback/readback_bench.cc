// Reading a .pst back against its digests, next to a plain sequential read
// of the same file, in the same run: prints both wall and processor times
// (on a shared machine the processor time is the steadier figure), their
// ratios and how much the read-back's peak memory grew. The digests are taken from the file
// itself first (a read-back compares them, so the timed pass does all the
// work a verifying run does).
//
// With --cold, the file's pages are dropped from the page cache before each
// timed read, so both reads come from the disk as a fresh verifying run's
// would (give a FILE on a disk, not on a memory-backed folder).
//
// usage: pst_readback_bench FILE.pst [ROUNDS] [--cold]   (bench/platform/pst/readback/readback_bench.sh)
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/pst/check/format.h"
#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/report.h"
#include "platform/pst/readback/message_reader.h"
#include "platform/pst/readback/read_back.h"

namespace {

using Clock = std::chrono::steady_clock;
using Written = std::map<uint32_t, std::vector<pst::readback::MessageDigest>>;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// VmHWM or VmRSS of this process, in KB.
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  }
  return -1;
}

// Asks the kernel to forget the file's cached pages (clean pages only; a
// file just written must be synced first).
void DropCached(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

bool PlainRead(const std::string& path, uint64_t* bytes) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  std::vector<char> buf(1 << 20);
  *bytes = 0;
  for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;) *bytes += static_cast<uint64_t>(n);
  ::close(fd);
  return true;
}

// The digests of every message of every normal folder, read from the file.
bool DigestsOf(const std::string& path, Written* written, std::string* error) {
  auto file = pst::check::FileSource::Open(path, error);
  if (!file) return false;
  pst::check::Report report;
  pst::check::NdbChecker checker(*file, &report);
  if (!checker.ReadHeader()) {
    *error = report.fatal;
    return false;
  }
  checker.CheckAll();
  pst::readback::NodeReader ndb(*file);
  if (!ndb.Open(error)) return false;
  for (const auto& [nid, node] : checker.nodes()) {
    if (pst::check::NidType(nid) != pst::check::kNidTypeNormalFolder) continue;
    std::vector<uint32_t> order;
    if (!pst::readback::ReadFolderOrder(ndb, static_cast<uint32_t>(nid), &order, error)) continue;
    auto& list = (*written)[static_cast<uint32_t>(nid)];
    for (uint32_t m : order) {
      pst::check::Subnode sub;
      list.emplace_back();
      if (!ndb.FindNode(m, &sub) || !pst::readback::ReadMessageDigest(ndb, sub, &list.back(), error)) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pst_readback_bench FILE.pst [ROUNDS] [--cold]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const bool cold = argc > 3 && std::string(argv[3]) == "--cold";
  Written written;
  std::string error;
  if (!DigestsOf(path, &written, &error)) {
    std::fprintf(stderr, "pst_readback_bench: %s\n", error.c_str());
    return 1;
  }
  uint64_t messages = 0;
  for (const auto& [folder, list] : written) messages += list.size();
  // What the set-up freed goes back to the system, so the growth measured
  // below is the read-back's own.
  malloc_trim(0);
  double best_plain = 1e9, best_back = 1e9, cpu_plain = 1e9, cpu_back = 1e9;
  long grown_kb = 0;
  uint64_t bytes = 0;
  for (int r = 0; r < rounds; ++r) {
    if (cold) DropCached(path);
    Clock::time_point t = Clock::now();
    double cpu = CpuNow();
    if (!PlainRead(path, &bytes)) return 1;
    best_plain = std::min(best_plain, Seconds(t));
    cpu_plain = std::min(cpu_plain, CpuNow() - cpu);
    // Peak memory from here on: reset the high-water mark.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS:");
    if (cold) DropCached(path);
    t = Clock::now();
    cpu = CpuNow();
    pst::readback::ReadBackReport report = pst::readback::ReadBack(path, written);
    best_back = std::min(best_back, Seconds(t));
    cpu_back = std::min(cpu_back, CpuNow() - cpu);
    grown_kb = std::max(grown_kb, StatusKb("VmHWM:") - before);
    if (!report.ok()) {
      std::fprintf(stderr, "pst_readback_bench: %llu of %llu verified\n",
                   static_cast<unsigned long long>(report.verified), static_cast<unsigned long long>(report.total));
      return 1;
    }
  }
  std::printf("file: %.1f MB, %llu messages%s\n", static_cast<double>(bytes) / 1e6,
              static_cast<unsigned long long>(messages), cold ? ", read from the disk (cache dropped)" : "");
  std::printf("plain read: %.3f s wall, %.3f s cpu (%.0f MB/s)\n", best_plain, cpu_plain,
              static_cast<double>(bytes) / 1e6 / best_plain);
  std::printf("read back:  %.3f s wall, %.3f s cpu (%.0f MB/s, %.1f us/message), peak memory grew %ld KB\n",
              best_back, cpu_back, static_cast<double>(bytes) / 1e6 / best_back,
              best_back * 1e6 / static_cast<double>(messages), grown_kb);
  std::printf("ratio read back / plain read: %.2f wall, %.2f cpu\n", best_back / best_plain, cpu_back / cpu_plain);
  return 0;
}
