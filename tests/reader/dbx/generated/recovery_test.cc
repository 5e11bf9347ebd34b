// The recovery scan on generated stores: every kind of index damage, messages
// deleted before compacting, and files cut at every structure boundary. What
// comes back is compared byte for byte with what the undamaged file holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/recovery_scan.h"
#include "tests/reader/dbx/generated/generated_store.h"
#include "tests/support/dbxgen/named_damage.h"
#include "tests/support/dbxgen/synth.h"
#include "tests/support/dbxgen/test_bytes.h"

namespace dbxgen::testing {
namespace {

constexpr std::size_t kBlock = 528;

StoreSpec InboxStore(std::size_t count, std::size_t size) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  SynthOptions synth;
  synth.seed = 11;
  synth.message_size = size;
  for (std::size_t i = 0; i < count; ++i) {
    spec.folders[2].messages.push_back(SynthesizeMessage(i, synth));
  }
  return spec;
}

struct Recovered {
  dbx::DbxRecoveryScan scan;
  std::vector<std::string> texts;  // per scan.messages
};

Recovered Scan(dbx::ByteSource& source) {
  Recovered r;
  EXPECT_TRUE(dbx::ScanFolderFile(source, &r.scan).ok());
  for (const auto& m : r.scan.messages) {
    std::string text;
    EXPECT_TRUE(dbx::ReadRecoveredText(source, m, &text).ok());
    EXPECT_EQ(text.size(), m.text_size);
    r.texts.push_back(std::move(text));
  }
  return r;
}

// Checks that nothing was invented: each complete text is one of `bodies`,
// each incomplete one a prefix of one, no chain comes back twice. Returns the
// body positions that came back complete and exact.
std::set<uint32_t> ExpectOnlyTrueBodies(const Recovered& r,
                                        const std::map<uint32_t, std::string>& bodies) {
  std::set<uint32_t> exact, seen;
  for (std::size_t i = 0; i < r.texts.size(); ++i) {
    const auto& m = r.scan.messages[i];
    EXPECT_TRUE(seen.insert(m.body_position).second) << "twice: " << m.body_position;
    auto it = bodies.find(m.body_position);
    if (it == bodies.end()) {
      ADD_FAILURE() << "a chain at " << m.body_position << " that no message began";
      continue;
    }
    if (m.incomplete) {
      EXPECT_EQ(it->second.compare(0, r.texts[i].size(), r.texts[i]), 0);
    } else if (r.texts[i] == it->second) {
      exact.insert(m.body_position);
    } else {
      ADD_FAILURE() << "complete chain at " << m.body_position << " differs from its message";
    }
  }
  return exact;
}

// Body positions and texts of the undamaged Inbox, as an export reads them.
std::map<uint32_t, std::string> Export(const FolderFileReport& report,
                                       const std::vector<Message>& messages) {
  std::map<uint32_t, std::string> bodies;
  for (std::size_t i = 0; i < report.body_offsets.size(); ++i) {
    bodies[report.body_offsets[i]] = messages[i].text;
  }
  return bodies;
}

TEST_F(GeneratedStoreTest, EveryIndexDamageGivesBackEveryIntactBody) {
  const std::size_t kCount = 52;
  StoreSpec clean = InboxStore(kCount, 1500);
  FolderFileReport sound = Write(clean).folder_files[2];
  std::map<uint32_t, std::string> bodies;
  {
    dbx::DbxFolderContents contents;
    ASSERT_EQ(Open("Inbox.dbx", &contents).status.code(), 0);
    for (const auto& m : contents.messages) bodies[m.body_position] = Body(m.body_position).JoinedText();
    ASSERT_EQ(bodies.size(), kCount);
  }
  for (const char* kind :
       {"cyclic-tree", "overfull-node", "deep-tree", "truncated", "truncated-half",
        "truncated-header", "wrong-signature", "wrong-kind", "unknown-kind", "root-zero",
        "root-mid-node"}) {
    SCOPED_TRACE(kind);
    StoreSpec spec = InboxStore(kCount, 1500);
    ASSERT_TRUE(ApplyDamage(kind, spec, 2, 1).ok());
    std::filesystem::remove_all(dir_);
    FolderFileReport damaged = Write(spec).folder_files[2];
    // The same messages lie where they lay (the damage changes the index and
    // what follows it), unless a different fan-out moved the index.
    if (damaged.body_offsets != sound.body_offsets) {
      bodies = Export(damaged, spec.folders[2].messages);
    }
    std::string bytes = ReadAll(damaged.path);
    dbx::MemorySource source(bytes);
    Recovered r = Scan(source);
    std::set<uint32_t> exact = ExpectOnlyTrueBodies(r, bodies);
    std::size_t intact = 0;
    for (const auto& [at, text] : bodies) {
      const std::size_t blocks = (text.size() + 511) / 512;
      if (at + blocks * kBlock <= bytes.size()) {
        ++intact;
        EXPECT_TRUE(exact.count(at)) << "intact body at " << at << " not recovered";
      }
    }
    std::printf("damage %-16s intact %2zu/%zu, back %2zu: index %zu, record %zu, orphan %zu, "
                "incomplete %zu\n",
                kind, intact, kCount, exact.size(), r.scan.Count(dbx::RecoveryOrigin::kIndex),
                r.scan.Count(dbx::RecoveryOrigin::kRecord),
                r.scan.Count(dbx::RecoveryOrigin::kOrphan), r.scan.IncompleteCount());
  }
}

TEST_F(GeneratedStoreTest, DeletedMessagesComeBackAsOrphansAndNothingElse) {
  StoreSpec spec = InboxStore(12, 0);
  for (std::size_t position : {2, 5, 11}) {
    spec.folders[2].messages[position].damage.deleted = true;
  }
  FolderFileReport report = Write(spec).folder_files[2];
  ASSERT_EQ(report.deleted_bodies.size(), 3u);
  std::unique_ptr<dbx::FileSource> file;
  ASSERT_TRUE(dbx::FileSource::Open(report.path.string(), false, &file).ok());
  Recovered r = Scan(*file);
  EXPECT_TRUE(r.scan.index_walked);
  EXPECT_EQ(r.scan.Count(dbx::RecoveryOrigin::kIndex), 9u);
  EXPECT_EQ(r.scan.Count(dbx::RecoveryOrigin::kRecord), 0u);
  EXPECT_EQ(r.scan.IncompleteCount(), 0u);
  EXPECT_EQ(r.scan.rejected, 0u);
  std::vector<std::string> orphans;
  for (std::size_t i = 0; i < r.texts.size(); ++i) {
    if (r.scan.messages[i].origin == dbx::RecoveryOrigin::kOrphan) orphans.push_back(r.texts[i]);
  }
  EXPECT_EQ(orphans, (std::vector<std::string>{spec.folders[2].messages[2].text,
                                               spec.folders[2].messages[5].text,
                                               spec.folders[2].messages[11].text}));

  // Nothing deleted: the scan finds exactly what the index lists.
  std::filesystem::remove_all(dir_);
  report = Write(InboxStore(12, 0)).folder_files[2];
  file.reset();
  ASSERT_TRUE(dbx::FileSource::Open(report.path.string(), false, &file).ok());
  dbx::DbxRecoveryScan scan;
  ASSERT_TRUE(dbx::ScanFolderFile(*file, &scan).ok());
  EXPECT_EQ(scan.Count(dbx::RecoveryOrigin::kIndex), 12u);
  EXPECT_EQ(scan.BeyondIndexCount(), 0u);
}

TEST_F(GeneratedStoreTest, RecordsTheIndexLostGiveTheirFlagsAndDates) {
  StoreSpec spec = InboxStore(4, 700);
  ASSERT_TRUE(ApplyDamage("root-zero", spec, 2, 0).ok());
  FolderFileReport report = Write(spec).folder_files[2];
  std::string bytes = ReadAll(report.path);
  dbx::MemorySource source(bytes);
  Recovered r = Scan(source);
  ASSERT_EQ(r.scan.Count(dbx::RecoveryOrigin::kRecord), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.texts[i], spec.folders[2].messages[i].text);
    ExpectMessage(spec.folders[2].messages[i], r.scan.messages[i].record);
  }
}

TEST_F(GeneratedStoreTest, FilesCutAtEveryBoundaryInventNothing) {
  StoreSpec spec = InboxStore(3, 1200);
  spec.folders[2].messages[1].damage.deleted = true;
  spec.folders[2].file.tree.fan_out = 2;
  FolderFileReport report = Write(spec).folder_files[2];
  const std::string bytes = ReadAll(report.path);
  std::map<uint32_t, std::string> bodies;
  std::set<uint64_t> cuts = {0, 100, 9404, bytes.size()};
  for (std::size_t i = 0; i < spec.folders[2].messages.size(); ++i) {
    const Message& m = spec.folders[2].messages[i];
    const uint32_t at = i == 1 ? report.deleted_bodies[0] : report.body_offsets[i < 1 ? 0 : i - 1];
    bodies[at] = m.text;
    const std::size_t blocks = (m.text.size() + 511) / 512;
    for (std::size_t b = 0; b <= blocks; ++b) {
      cuts.insert(at + b * kBlock);
      cuts.insert(at + b * kBlock + 17);
    }
  }
  for (uint32_t r : report.record_offsets) cuts.insert(r + 6);
  for (uint64_t cut : cuts) {
    SCOPED_TRACE(cut);
    dbx::MemorySource source(bytes.substr(0, cut));
    Recovered r = Scan(source);
    std::set<uint32_t> exact = ExpectOnlyTrueBodies(r, bodies);
    for (const auto& [at, text] : bodies) {
      if (at + (text.size() + 511) / 512 * kBlock <= cut) {
        EXPECT_TRUE(exact.count(at)) << at;
      }
    }
  }
}

}  // namespace
}  // namespace dbxgen::testing
