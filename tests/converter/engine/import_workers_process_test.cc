// A worker process and its channel: bytes written in gathered parts come
// back whole and in order through a program that echoes them, however the
// channel splits them; and the way a process ended is told as it was.
#include "converter/engine/import_workers_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tollan {
namespace {

TEST(WorkerProcess, GatheredWritesComeBackWholeAndEndingsAreToldAsTheyWere) {
  std::unique_ptr<WorkerProcess> cat;
  ASSERT_TRUE(WorkerProcess::Start("/bin/cat", {}, &cat).ok());
  // More than the channel holds, so that writes stop part way into a part.
  const std::vector<std::string> parts = {std::string(3 << 20, 'a'), "", "bc", std::string(1 << 20, 'd')};
  std::string want;
  for (const auto& p : parts) want += p;
  std::string got;
  size_t written = 0;
  while (got.size() < want.size()) {
    std::vector<std::string_view> rest;
    size_t skip = written;
    for (const auto& p : parts) {
      const size_t cut = std::min(skip, p.size());
      skip -= cut;
      rest.push_back(std::string_view(p).substr(cut));
    }
    const std::optional<size_t> n = cat->Write(rest.data(), rest.size());
    ASSERT_TRUE(n.has_value());
    written += *n;
    ASSERT_NE(cat->Read(&got), WorkerProcess::ReadResult::kEnded);
    std::vector<WorkerProcess::Wait> waits = {{cat.get(), written < want.size(), false}};
    WorkerProcess::WaitForAny(&waits, std::chrono::milliseconds(1000));
  }
  EXPECT_TRUE(got == want);
  cat->CloseChannel();
  EXPECT_EQ(cat->Reap(std::chrono::milliseconds(-1)), "the import process exited with status 0");

  struct Case {
    std::string script;
    bool kill;
    std::string how;
  };
  for (const auto& c : std::vector<Case>{{"exit 3", false, "the import process exited with status 3"},
                                         {"kill -SEGV $$", false, "the import process was ended by signal 11 (SIGSEGV)"},
                                         {"exec sleep 600", true, "the import process was ended by signal 9 (SIGKILL)"}}) {
    std::unique_ptr<WorkerProcess> p;
    ASSERT_TRUE(WorkerProcess::Start("/bin/sh", {"-c", c.script}, &p).ok());
    if (c.kill) {
      EXPECT_EQ(p->Reap(std::chrono::milliseconds(50)), std::nullopt);
      p->Kill();
    }
    EXPECT_EQ(p->Reap(std::chrono::milliseconds(-1)), c.how) << c.script;
    std::string in;
    EXPECT_EQ(p->Read(&in), WorkerProcess::ReadResult::kEnded) << c.script;
  }
}

}  // namespace
}  // namespace tollan
