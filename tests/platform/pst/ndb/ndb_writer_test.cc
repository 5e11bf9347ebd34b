// Round trips through the node database writer, checked by the independent
// ReadBack: data trees of every shape, nested subnodes, multi-level B-trees,
// node replacement and reference counts, argument errors, and I/O failures.
#include "platform/pst/ndb/ndb_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/pst/ndb/file.h"
#include "platform/pst/ndb/writer_internal.h"
#include "tests/platform/pst/ndb/read_back.h"

namespace pst {
namespace {

using ndb::testing::Content;
using ndb::testing::ReadBack;
using ndb::testing::ToContent;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "ndb_" + name + "_" + std::to_string(getpid()) + ".pst";
}

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

class NdbWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(NdbWriter::Create(path_, &w_).ok());
  }
  void TearDown() override {
    w_.reset();
    unlink(path_.c_str());
  }
  // Closes the writer and loads the file, failing the test on any fault.
  void CloseAndRead() {
    Status s = w_->Close();
    ASSERT_TRUE(s.ok()) << s.ToString();
    s = rb_.Open(path_);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }
  Content Read(Nid nid) {
    Content c;
    Status s = rb_.ReadNode(nid, &c);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return c;
  }

  std::string path_;
  std::unique_ptr<NdbWriter> w_;
  ReadBack rb_;
};

TEST_F(NdbWriterTest, EmptyFileIsComplete) {
  CloseAndRead();
  EXPECT_TRUE(rb_.nodes().empty());
  EXPECT_TRUE(rb_.blocks().empty());
  EXPECT_EQ(rb_.file_eof(), 0x4400u + 253952u);
  // Initial node id counters of a new store.
  EXPECT_EQ(rb_.rgnid(0x02), 0x400u);
  EXPECT_EQ(rb_.rgnid(0x03), 0x4000u);
  EXPECT_EQ(rb_.rgnid(0x04), 0x10000u);
  EXPECT_EQ(rb_.rgnid(0x08), 0x8000u);
  EXPECT_EQ(rb_.rgnid(0x0D), 0x400u);
}

TEST_F(NdbWriterTest, HeaderFieldsAsOutlookWritesThem) {
  NodeData d;
  d.data = Bytes(1000, 1);
  ASSERT_TRUE(w_->PutNode(0x21, 0, d).ok());
  CloseAndRead();
  auto h = rb_.bytes();
  auto zero = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (h[i] != 0) return false;
    }
    return true;
  };
  EXPECT_EQ(h[14], 0x01);  // bPlatformCreate
  EXPECT_EQ(h[15], 0x01);  // bPlatformAccess
  EXPECT_TRUE(zero(16, 32));    // dwReserved1, dwReserved2, bidUnused
  EXPECT_TRUE(zero(172, 184));  // qwUnused, ROOT dwReserved
  EXPECT_TRUE(zero(249, 256));  // ROOT bReserved, wReserved; dwAlign
  EXPECT_TRUE(zero(514, 516));  // rgbReserved
  EXPECT_TRUE(zero(528, 564));  // rgbReserved2, bReserved, rgbReserved3
  // rgbFM: the one AMap has a free run longer than 255 units; no AMap beyond.
  EXPECT_EQ(h[256], 0xFF);
  EXPECT_TRUE(zero(257, 384));
  for (size_t i = 384; i < 512; ++i) ASSERT_EQ(h[i], 0xFF) << i;  // rgbFP: no PMap has free pages
  // Page ids continue after the block ids.
  uint64_t next_b = 0, next_p = 0;
  for (int i = 7; i >= 0; --i) {
    next_b = next_b << 8 | h[516 + i];
    next_p = next_p << 8 | h[32 + i];
  }
  EXPECT_GT(next_b, rb_.blocks().rbegin()->first);
  EXPECT_GT(next_p, next_b);
}

TEST_F(NdbWriterTest, DataTreesOfEverySize) {
  const size_t kSizes[] = {0, 1, 100, 8176, 8177, 3 * 8176 + 5, 1021 * 8176, 1021 * 8176 + 1,
                           2 * 1021 * 8176 + 77};
  std::map<Nid, NodeData> written;
  Nid nid = 0x21;
  for (size_t size : kSizes) {
    NodeData d;
    d.data = Bytes(size, static_cast<uint32_t>(size));
    ASSERT_TRUE(w_->PutNode(nid, 0x21, d).ok());
    written[nid] = d;
    nid += 0x20;
  }
  CloseAndRead();
  for (const auto& [n, d] : written) {
    EXPECT_EQ(Read(n), ToContent(d)) << "node " << n << " of " << d.data.size() << " bytes";
    EXPECT_EQ(rb_.nodes().at(n).parent, 0x21u);
  }
  // The shapes: none, one external block, XBLOCK, XXBLOCK.
  auto root = [&](size_t i) { return rb_.nodes().at(0x21 + 0x20 * static_cast<Nid>(i)).data; };
  EXPECT_EQ(root(0), 0u);
  EXPECT_EQ(root(1) & 2, 0u);
  EXPECT_EQ(root(3) & 2, 0u);  // 8176 bytes still fit one block
  EXPECT_EQ(root(4) & 2, 2u);
  const uint8_t* xx = rb_.bytes().data() + rb_.blocks().at(root(7)).ib;
  EXPECT_EQ(xx[1], 2);  // cLevel 2: XXBLOCK
  const uint8_t* x = rb_.bytes().data() + rb_.blocks().at(root(6)).ib;
  EXPECT_EQ(x[1], 1);
}

// Gives `bytes` in pieces of `piece` bytes, `short_by` fewer than it declares.
class PiecesSource : public ValueSource {
 public:
  PiecesSource(std::vector<uint8_t> bytes, size_t piece, size_t short_by)
      : bytes_(std::move(bytes)), piece_(piece), short_by_(short_by) {}
  uint64_t size() const override { return bytes_.size(); }
  Status Read(const Sink& sink) const override {
    const size_t n = bytes_.size() - short_by_;
    for (size_t at = 0; at < n; at += piece_) {
      Status s = sink(std::span<const uint8_t>(bytes_.data() + at, std::min(piece_, n - at)));
      if (!s.ok()) return s;
    }
    return Status::Ok();
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t piece_;
  size_t short_by_;
};

TEST_F(NdbWriterTest, ValuesReadFromASourceGiveTheBlocksOfTheSameBytes) {
  // Each size as one buffer in this file and as pieces of a source in
  // another: the two files are the same, byte for byte.
  const size_t kSizes[] = {0, 1, 8176, 8177, 1021 * 8176, 1021 * 8176 + 1, 2 * 1021 * 8176 + 77};
  const std::string other = path_ + ".source";
  std::unique_ptr<NdbWriter> from_source;
  ASSERT_TRUE(NdbWriter::Create(other, &from_source).ok());
  Nid nid = 0x21;
  for (size_t size : kSizes) {
    NodeData d;
    d.data = Bytes(size, static_cast<uint32_t>(size));
    ASSERT_TRUE(w_->PutNode(nid, 0x21, d).ok());
    NodeData streamed;
    streamed.source = std::make_shared<PiecesSource>(d.data, 1000 + size % 7, 0);
    ASSERT_TRUE(from_source->PutNode(nid, 0x21, streamed).ok()) << size;
    nid += 0x20;
  }
  ASSERT_TRUE(from_source->Close().ok());
  CloseAndRead();
  std::ifstream a(path_, std::ios::binary), b(other, std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
  unlink(other.c_str());

  // A source that gives less than it declares fails its node alone.
  std::unique_ptr<NdbWriter> w;
  ASSERT_TRUE(NdbWriter::Create(other, &w).ok());
  NodeData cut;
  cut.source = std::make_shared<PiecesSource>(Bytes(9000, 1), 1000, 1);
  Status s = w->PutNode(0x21, 0x21, cut);
  EXPECT_NE(s.message().find("gave 8999 of the 9000 bytes"), std::string::npos) << s.ToString();
  EXPECT_FALSE(w->HasNode(0x21));
  EXPECT_TRUE(w->Close().ok());
  unlink(other.c_str());
}

TEST_F(NdbWriterTest, DataTreesAreStreamsOfFullBlocks) {
  // The size of a 1,000-row matrix of 122-byte rows: every leaf but the last
  // holds the full 8176 bytes, whatever the data is cut into above.
  NodeData d;
  d.data = Bytes(122 * 1000, 7);
  ASSERT_TRUE(w_->PutNode(0x21, 0x21, d).ok());
  CloseAndRead();
  EXPECT_EQ(Read(0x21), ToContent(d));
  const uint8_t* x = rb_.bytes().data() + rb_.blocks().at(rb_.nodes().at(0x21).data).ib;
  ASSERT_EQ(x[1], 1);  // an XBLOCK
  const uint16_t leaves = static_cast<uint16_t>(x[2] | x[3] << 8);
  EXPECT_EQ(leaves, 15);
  for (uint16_t i = 0; i < leaves; ++i) {
    uint64_t bid = 0;
    for (int b = 7; b >= 0; --b) bid = bid << 8 | x[8 + 8 * i + b];
    EXPECT_EQ(rb_.blocks().at(bid).cb, i + 1 < leaves ? 8176u : 122u * 1000 - 14 * 8176);
  }
}

TEST_F(NdbWriterTest, SubnodesNestedTwoLevels) {
  NodeData msg;
  msg.data = Bytes(300, 1);
  for (Nid a = 1; a <= 3; ++a) {
    NodeData attach;
    attach.data = Bytes(9000 * a, a);
    NodeData embedded;
    embedded.data = Bytes(50, 7);
    embedded.subnodes.push_back({0x692, NodeData{Bytes(10, 8), {}}});
    attach.subnodes.push_back({0x8044 + a * 0x20, embedded});
    msg.subnodes.push_back({0x8025 + a * 0x20, attach});
  }
  msg.subnodes.push_back({0x671, NodeData{}});  // a subnode without data
  ASSERT_TRUE(w_->PutNode(0x200024, 0x8022, msg).ok());
  CloseAndRead();
  EXPECT_EQ(Read(0x200024), ToContent(msg));
}

TEST_F(NdbWriterTest, ManySubnodesUseAnSiblock) {
  NodeData table;
  for (Nid i = 0; i < 1000; ++i) table.subnodes.push_back({(i << 5) | 0x1F, NodeData{Bytes(i % 40, i), {}}});
  std::shuffle(table.subnodes.begin(), table.subnodes.end(), std::mt19937(3));
  ASSERT_TRUE(w_->PutNode(0x60E, 0, table).ok());
  CloseAndRead();
  EXPECT_EQ(Read(0x60E), ToContent(table));
  const uint8_t* si = rb_.bytes().data() + rb_.blocks().at(rb_.nodes().at(0x60E).sub).ib;
  EXPECT_EQ(si[0], 2);
  EXPECT_EQ(si[1], 1);  // SIBLOCK over SLBLOCKs
}

TEST_F(NdbWriterTest, ThousandsOfNodesMakeMultiLevelTrees) {
  std::map<Nid, std::vector<uint8_t>> written;
  for (Nid i = 0; i < 6000; ++i) {
    Nid nid = w_->NewNid(0x04);
    written[nid] = Bytes(i % 700, i);
    NodeData d;
    d.data = written[nid];
    ASSERT_TRUE(w_->PutNode(nid, 0x8022, d).ok());
  }
  CloseAndRead();
  EXPECT_EQ(rb_.nodes().size(), 6000u);
  EXPECT_GE(rb_.nbt_depth(), 3);  // 15 entries a leaf, 20 a branch
  EXPECT_GE(rb_.bbt_depth(), 2);
  for (const auto& [nid, data] : written) EXPECT_EQ(Read(nid).data, data);
  EXPECT_EQ(rb_.rgnid(0x04), 0x10000u + 6000u);
}

TEST_F(NdbWriterTest, ReplacedNodeFreesItsBlocks) {
  NodeData big;
  big.data = Bytes(100000, 1);
  big.subnodes.push_back({0x3F, NodeData{Bytes(20000, 2), {}}});
  ASSERT_TRUE(w_->PutNode(0x122, 0x122, big).ok());
  NodeData small;
  small.data = Bytes(10, 3);
  ASSERT_TRUE(w_->PutNode(0x122, 0x122, small).ok());
  CloseAndRead();
  EXPECT_EQ(Read(0x122), ToContent(small));
  EXPECT_EQ(rb_.blocks().size(), 1u);  // only the new block survives
  // The freed space shows as free in the maps (ReadBack compares them).
  EXPECT_GT(rb_.amap_free(), 100000u);
}

TEST_F(NdbWriterTest, RewritingNodesReusesFreedSpace) {
  // A table rewritten after every change, as folder tables are, and a node
  // that shrinks and grows: the file stays near the size of what is live.
  NodeData table;
  for (int round = 1; round <= 300; ++round) {
    table.data = Bytes(static_cast<size_t>(round) * 100, round);  // up to 30 000 bytes
    table.subnodes = {{0x3F, NodeData{Bytes(5000 + round, round), {}}}};
    ASSERT_TRUE(w_->PutNode(0x60E, 0, table).ok());
    NodeData other;
    other.data = Bytes(round % 2 ? 20000 : 300, round);
    ASSERT_TRUE(w_->PutNode(0x60F, 0, other).ok());
  }
  EXPECT_LT(w_->FileSize(), 2u << 20);  // about 13 MiB were written in all
  CloseAndRead();  // ReadBack reports any space used twice
  EXPECT_EQ(Read(0x60E), ToContent(table));
  EXPECT_EQ(Read(0x60F).data, Bytes(300, 300));
}

TEST_F(NdbWriterTest, SmallBlocksFillTheEndsOfIntervals) {
  // Full 8 KiB blocks leave up to 8 KiB unused at the end of each interval;
  // small blocks written later go there instead of growing the file.
  NodeData big;
  big.data = Bytes(4 << 20, 1);
  ASSERT_TRUE(w_->PutNode(0x21, 0, big).ok());
  const uint64_t size = w_->FileSize();
  std::vector<NodeData> small(200);
  for (Nid i = 0; i < small.size(); ++i) {
    small[i].data = Bytes(100 + i, i);
    ASSERT_TRUE(w_->PutNode((0x400 + i) << 5 | 0x01, 0, small[i]).ok());
  }
  EXPECT_EQ(w_->FileSize(), size);
  CloseAndRead();
  EXPECT_EQ(Read(0x21), ToContent(big));
  for (Nid i = 0; i < small.size(); ++i) EXPECT_EQ(Read((0x400 + i) << 5 | 0x01), ToContent(small[i]));
}

TEST_F(NdbWriterTest, SharedBlocksAreCountedAndKeptWhileReferenced) {
  std::vector<uint8_t> bytes = Bytes(20000, 4);
  Bid shared = 0;
  ASSERT_TRUE(w_->WriteData(bytes, &shared).ok());
  Bid sub = 0;
  ASSERT_TRUE(w_->WriteSubnodes({{0x3F, shared, 0}}, &sub).ok());
  ASSERT_TRUE(w_->PutNode(0x60D, 0, shared, 0).ok());
  ASSERT_TRUE(w_->PutNode(0x60E, 0, shared, sub).ok());
  ASSERT_TRUE(w_->PutNode(0x60F, 0, shared, 0).ok());
  ASSERT_TRUE(w_->PutNode(0x60F, 0, 0, 0).ok());  // drops one reference
  Bid orphan = 0;
  ASSERT_TRUE(w_->WriteData(Bytes(500, 5), &orphan).ok());  // never used: not kept
  CloseAndRead();
  EXPECT_EQ(rb_.blocks().at(shared).cref, 4);  // two nodes, one SLENTRY, plus one
  EXPECT_EQ(rb_.blocks().count(orphan), 0u);
  EXPECT_EQ(Read(0x60E).subnodes.at(0x3F).data, bytes);
  EXPECT_TRUE(Read(0x60F).data.empty());
}

TEST_F(NdbWriterTest, RejectsBadArguments) {
  Bid data = 0, sub = 0;
  ASSERT_TRUE(w_->WriteData(Bytes(10, 1), &data).ok());
  ASSERT_TRUE(w_->WriteSubnodes({{0x3F, data, 0}}, &sub).ok());
  EXPECT_EQ(w_->PutNode(0, 0, data, 0).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(w_->PutNode(0x21, 0, 0x9998, 0).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(w_->PutNode(0x21, 0, data | 2, 0).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(w_->PutNode(0x21, 0, data, sub & ~uint64_t{2}).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(w_->PutNode(0x21, 0, sub, 0).code(), Status::Code::kInvalidArgument);  // not data
  EXPECT_EQ(w_->PutNode(0x21, 0, 0, data).code(), Status::Code::kInvalidArgument);  // not subnodes
  Bid ignored = 0;
  EXPECT_EQ(w_->WriteSubnodes({{0x3F, data, 0}, {0x3F, data, 0}}, &ignored).code(),
            Status::Code::kInvalidArgument);
  NodeData dup;
  dup.subnodes = {{0x5F, {}}, {0x5F, {}}};
  EXPECT_EQ(w_->PutNode(0x21, 0, dup).code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(w_->HasNode(0x21));
  EXPECT_EQ(w_->NewNid(32), 0u);
  // One SIBLOCK over SLBLOCKs holds 510 * 340 subnodes.
  std::vector<NdbWriter::SubnodeEntry> too_many(510 * 340 + 1);
  for (size_t i = 0; i < too_many.size(); ++i) too_many[i].nid = static_cast<Nid>(i << 5 | 0x1F);
  EXPECT_EQ(w_->WriteSubnodes(too_many, &ignored).code(), Status::Code::kTooLarge);
  ASSERT_TRUE(w_->PutNode(0x21, 0, data, sub).ok());
  CloseAndRead();
  EXPECT_EQ(rb_.nodes().size(), 1u);
  EXPECT_EQ(rb_.blocks().size(), 2u);
  EXPECT_EQ(w_->PutNode(0x41, 0, NodeData{}).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(w_->Close().code(), Status::Code::kInvalidArgument);
}

TEST_F(NdbWriterTest, NodeIdsFollowExplicitIdsAndCounters) {
  EXPECT_EQ(w_->NewNid(0x02), (0x400u << 5) | 0x02);
  ASSERT_TRUE(w_->PutNode(0x8062, 0x8022, NodeData{}).ok());  // index 0x403 of type 2
  EXPECT_EQ(w_->NewNid(0x02), (0x404u << 5) | 0x02);
  EXPECT_TRUE(w_->HasNode(0x8062));
  CloseAndRead();
  EXPECT_EQ(rb_.rgnid(0x02), 0x405u);
}

TEST_F(NdbWriterTest, NotAPstUntilClosedAndRemovedWhenAbandoned) {
  NodeData d;
  d.data = Bytes(3 << 20, 1);  // enough to be flushed to disk
  ASSERT_TRUE(w_->PutNode(0x21, 0, d).ok());
  EXPECT_GT(w_->FileSize(), 3u << 20);
  std::ifstream in(path_, std::ios::binary);
  char magic[4] = {1, 1, 1, 1};
  in.read(magic, 4);
  EXPECT_EQ(std::memcmp(magic, "\0\0\0\0", 4), 0);
  w_.reset();
  struct stat st;
  EXPECT_NE(stat(path_.c_str(), &st), 0);
}

TEST_F(NdbWriterTest, FileBeyondFirstFreeMapPage) {
  // 135 AMap intervals: the FMap page of interval 128 comes after its PMap.
  std::vector<uint8_t> chunk = Bytes(4 << 20, 9);
  for (Nid i = 0; i < 9; ++i) {
    Bid b = 0;
    ASSERT_TRUE(w_->WriteData(chunk, &b).ok());
    ASSERT_TRUE(w_->PutNode((0x500 + i) << 5 | 0x01, 0, b, 0).ok());
  }
  CloseAndRead();
  EXPECT_GT(rb_.file_eof(), 0x4400u + 129u * 253952u);
  EXPECT_EQ(Read(0x500 << 5 | 0x01).data, chunk);
  EXPECT_EQ(Read(0x508 << 5 | 0x01).data, chunk);
}

// An OutputFile that fails chosen writes.
class FailingFile : public ndb::OutputFile {
 public:
  FailingFile(std::unique_ptr<ndb::OutputFile> inner, int* writes_until_failure)
      : inner_(std::move(inner)), countdown_(writes_until_failure) {}
  Status WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (*countdown_ > 0 && --*countdown_ == 0) return Status::IoError("injected failure");
    return inner_->WriteAt(offset, bytes);
  }
  Status Truncate(uint64_t size) override { return inner_->Truncate(size); }
  Status Sync() override { return inner_->Sync(); }
  void Remove() override { inner_->Remove(); }

 private:
  std::unique_ptr<ndb::OutputFile> inner_;
  int* countdown_;
};

class NdbWriterFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempPath(std::string("fail_") +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Reopen();
  }
  void Reopen() {
    w_.reset();
    std::unique_ptr<ndb::OutputFile> file;
    ASSERT_TRUE(ndb::OpenOutputFile(path_, &file).ok());
    ndb::WriterOptions options;
    options.buffer_size = 64 * 1024;
    options.sync = false;
    countdown_ = 0;
    ASSERT_TRUE(ndb::CreateWriter(std::make_unique<FailingFile>(std::move(file), &countdown_),
                                  options, &w_)
                    .ok());
  }
  void TearDown() override {
    w_.reset();
    unlink(path_.c_str());
  }
  std::string path_;
  int countdown_ = 0;
  std::unique_ptr<NdbWriter> w_;
};

TEST_F(NdbWriterFailureTest, CloseAfterFailedCallKeepsEarlierNodes) {
  // The failing call writes a data tree (buffered and gathered writes) and
  // subnodes; each of its writes to disk fails in turn.
  NodeData before;
  before.data = Bytes(100000, 1);
  before.subnodes.push_back({0x3F, NodeData{Bytes(30000, 2), {}}});
  NodeData failing;
  failing.data = Bytes(3 << 20, 3);
  failing.subnodes.push_back({0x5F, NodeData{Bytes(200000, 5), {}}});
  NodeData after;
  after.data = Bytes(2000, 4);
  for (int nth = 1; nth <= 6; ++nth) {
    SCOPED_TRACE("failing write " + std::to_string(nth));
    Reopen();
    ASSERT_TRUE(w_->PutNode(0x21, 0, before).ok());
    countdown_ = nth;
    Status s = w_->PutNode(0x41, 0, failing);
    EXPECT_EQ(s.code(), Status::Code::kIoError);
    EXPECT_FALSE(w_->HasNode(0x41));
    countdown_ = 0;
    ASSERT_TRUE(w_->PutNode(0x61, 0, after).ok());
    s = w_->Close();
    ASSERT_TRUE(s.ok()) << s.ToString();

    ReadBack rb;
    s = rb.Open(path_);
    ASSERT_TRUE(s.ok()) << s.ToString();
    Content c;
    ASSERT_TRUE(rb.ReadNode(0x21, &c).ok());
    EXPECT_EQ(c, ToContent(before));
    ASSERT_TRUE(rb.ReadNode(0x61, &c).ok());
    EXPECT_EQ(c, ToContent(after));
    EXPECT_EQ(rb.nodes().count(0x41), 0u);
  }
}

TEST_F(NdbWriterFailureTest, FailedCloseCanBeRetried) {
  NodeData d;
  d.data = Bytes(5000, 1);
  ASSERT_TRUE(w_->PutNode(0x21, 0, d).ok());
  countdown_ = 1;
  EXPECT_EQ(w_->Close().code(), Status::Code::kIoError);
  EXPECT_EQ(w_->PutNode(0x41, 0, d).code(), Status::Code::kInvalidArgument);
  Status s = w_->Close();
  ASSERT_TRUE(s.ok()) << s.ToString();
  ReadBack rb;
  s = rb.Open(path_);
  ASSERT_TRUE(s.ok()) << s.ToString();
  Content c;
  ASSERT_TRUE(rb.ReadNode(0x21, &c).ok());
  EXPECT_EQ(c.data, d.data);
}

}  // namespace
}  // namespace pst
