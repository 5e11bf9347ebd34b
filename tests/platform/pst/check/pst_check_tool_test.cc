// The pst-check tool: output lines and exit status for a sound file, a
// damaged file and unusable input.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/pst/check/scratch_pst.h"

namespace {

using pst::check::testing::FixturePath;
using pst::check::testing::ScratchPst;

struct ToolRun {
  int status = -1;
  std::string out;
};

ToolRun RunTool(const std::string& args) {
  std::string cmd = std::string(TOLLAN_BINARY_DIR) + "/tools/pst-check/pst-check " + args + " 2>/dev/null";
  ToolRun run;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) run.out.append(buf, n);
  int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(PstCheckToolTest, SoundFilePrintsOneSummaryLine) {
  ToolRun run = RunTool("'" + FixturePath("sample-one-message.pst") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "ok: 52 nodes, 61 blocks, 7 folders, 1 messages\n");
}

TEST(PstCheckToolTest, VerboseShowsTheNodeTree) {
  ToolRun run = RunTool("-v '" + FixturePath("sample-one-message.pst") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("folder 0x8082 \"Sample1\" (0 subfolders, 1 messages)"), std::string::npos) << run.out;
}

TEST(PstCheckToolTest, DamagedFilePrintsProblemsAndExitsOne) {
  ScratchPst copy(FixturePath("sample-one-message.pst"));
  copy.FlipByte(0x30);
  ToolRun run = RunTool("'" + copy.path() + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("offset 0x4: header: dwCRCPartial mismatch", 0), 0u) << run.out;
}

TEST(PstCheckToolTest, UsageAndUnreadableInputExitTwo) {
  EXPECT_EQ(RunTool("").status, 2);
  EXPECT_EQ(RunTool("-x file.pst").status, 2);
  EXPECT_EQ(RunTool("/nonexistent/none.pst").status, 2);
  EXPECT_EQ(RunTool(std::string(TOLLAN_SOURCE_DIR) + "/CMakeLists.txt").status, 2);
}

}  // namespace
