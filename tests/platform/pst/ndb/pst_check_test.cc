// The writer's files judged by pst-check's node database checks, written
// independently from the same format description: header, B-trees, blocks,
// data and subnode trees, reference counts and allocation maps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/report.h"
#include "platform/pst/check/source.h"
#include "platform/pst/ndb/ndb_writer.h"

namespace pst {
namespace {

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

check::Report CheckNdb(const std::string& path) {
  check::Report report;
  std::string error;
  auto source = check::FileSource::Open(path, &error);
  if (!source) {
    report.fatal = error;
    return report;
  }
  check::NdbChecker checker(*source, &report);
  if (checker.ReadHeader()) checker.CheckAll();
  return report;
}

std::string Problems(const check::Report& r) {
  std::string out = r.fatal;
  for (const auto& p : r.problems) out += "\n" + p.ToString();
  return out;
}

TEST(PstCheckOfWriterTest, VariedFileHasNoNodeDatabaseProblems) {
  std::string path = ::testing::TempDir() + "ndb_pstcheck_" + std::to_string(getpid()) + ".pst";
  std::unique_ptr<NdbWriter> w;
  ASSERT_TRUE(NdbWriter::Create(path, &w).ok());
  // Parents first: the root folder is its own parent.
  ASSERT_TRUE(w->PutNode(0x122, 0x122, NodeData{Bytes(100, 7), {}}).ok());
  ASSERT_TRUE(w->PutNode(0x8022, 0x122, NodeData{Bytes(100, 8), {}}).ok());
  for (size_t size : {size_t{0}, size_t{1}, size_t{8176}, size_t{8177}, size_t{1021 * 8176 + 1}}) {
    NodeData d;
    d.data = Bytes(size, static_cast<uint32_t>(size));
    ASSERT_TRUE(w->PutNode(w->NewNid(0x04), 0x8022, d).ok());
  }
  NodeData nested;
  nested.data = Bytes(500, 1);
  NodeData attach;
  attach.data = Bytes(20000, 2);
  attach.subnodes.push_back({0x692, NodeData{Bytes(40, 3), {}}});
  nested.subnodes.push_back({0x8045, attach});
  for (Nid i = 0; i < 400; ++i) nested.subnodes.push_back({(0x900 + i) << 5 | 0x1F, NodeData{Bytes(i, i), {}}});
  ASSERT_TRUE(w->PutNode(0x1FFFE4, 0x8022, nested).ok());
  for (int i = 0; i < 3000; ++i) {
    NodeData small;
    small.data = Bytes(i % 300, i);
    ASSERT_TRUE(w->PutNode(w->NewNid(0x04), 0x8022, small).ok());
  }
  ASSERT_TRUE(w->PutNode(0x1FFFE4, 0x8022, NodeData{Bytes(10, 9), {}}).ok());  // replace
  // Rewrites that reuse freed space.
  for (int round = 0; round < 100; ++round) {
    NodeData folder;
    folder.data = Bytes(100 + (round * 997) % 20000, round);
    folder.subnodes.push_back({0x3F, NodeData{Bytes((round * 331) % 9000, round), {}}});
    ASSERT_TRUE(w->PutNode(0x8022, 0x122, folder).ok());
  }
  Status s = w->Close();
  ASSERT_TRUE(s.ok()) << s.ToString();

  check::Report r = CheckNdb(path);
  EXPECT_TRUE(r.fatal.empty() && r.problems.empty()) << Problems(r);
  EXPECT_EQ(r.stats.nodes, 3008u);
  unlink(path.c_str());
}

}  // namespace
}  // namespace pst
