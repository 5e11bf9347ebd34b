// Tests of the breadth-first file search and the path helpers.
#include "converter/discovery/path_logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "converter/discovery/dbx_search.h"
#include "converter/discovery/path_names.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

class PathLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("pathlogger-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    fs::remove_all(root_);
  }
  void Touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
  }
  // The tree A/ (a1, a2), A/B/ (b1), A/C/ (none), A/B/D/ (d1).
  std::string MakeTree() {
    Touch(root_ / "A" / "a1");
    Touch(root_ / "A" / "a2");
    Touch(root_ / "A" / "B" / "b1");
    fs::create_directories(root_ / "A" / "C");
    Touch(root_ / "A" / "B" / "D" / "d1");
    return (root_ / "A").string();
  }
  static std::vector<std::string> Items(const KeyedList<std::string>& l) { return l.items(); }

  fs::path root_;
};

TEST_F(PathLoggerTest, WalksBreadthFirstWithKeysAndPointers) {
  const std::string a = MakeTree();
  int yields = 0;
  pathLogger logger([&] { ++yields; });
  logger.PathLogInit();
  logger.set_fullFileNamesOnly(false);
  ASSERT_TRUE(logger.LogPath(a));
  EXPECT_EQ(Items(logger.pathNames()),
            (std::vector<std::string>{a + "/", a + "/B/", a + "/C/", a + "/B/D/"}));
  EXPECT_EQ(Items(logger.fullFileNames()),
            (std::vector<std::string>{a + "/a1", a + "/a2", a + "/B/b1", a + "/B/D/d1"}));
  EXPECT_EQ(Items(logger.fileNames()), (std::vector<std::string>{"a1", "a2", "b1", "d1"}));
  EXPECT_EQ(logger.pathPointers().items(), (std::vector<int32_t>{1, 1, 2, 4}));
  EXPECT_EQ(logger.Count(), 5);
  // Keys: the start folder K0, later folders by position, files by number.
  EXPECT_EQ(logger.pathNames().KeyAt(1), "K0");
  EXPECT_EQ(logger.pathNames().KeyAt(2), "K2");
  EXPECT_EQ(logger.pathNames().KeyAt(4), "K4");
  EXPECT_EQ(logger.fullFileNames().KeyAt(1), "K1");
  EXPECT_EQ(logger.fileNames().KeyAt(4), "K4");
  EXPECT_GT(yields, 8);
}

TEST_F(PathLoggerTest, FullNamesOnlyAndTrailingSeparatorAreEquivalent) {
  const std::string a = MakeTree();
  pathLogger with, without;
  with.PathLogInit();
  without.PathLogInit();
  with.LogPath(a + "/");
  without.LogPath(a);
  EXPECT_EQ(Items(with.pathNames()), Items(without.pathNames()));
  EXPECT_EQ(Items(with.fullFileNames()), Items(without.fullFileNames()));
  EXPECT_TRUE(without.fileNames().Empty());
  EXPECT_TRUE(without.pathPointers().Empty());
}

TEST_F(PathLoggerTest, MissingAndEmptyStartFolders) {
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath((root_ / "nope").string());
  EXPECT_TRUE(logger.pathNames().Empty());
  EXPECT_EQ(logger.Count(), 0);

  fs::create_directories(root_ / "empty");
  logger.LogPath((root_ / "empty").string());
  EXPECT_EQ(logger.pathNames().Count(), 1u);
  EXPECT_TRUE(logger.fullFileNames().Empty());
  EXPECT_EQ(logger.Count(), 1);
}

TEST_F(PathLoggerTest, SecondWalkNeedsInit) {
  const std::string a = MakeTree();
  pathLogger logger;
  logger.PathLogInit();
  EXPECT_TRUE(logger.LogPath(a));
  EXPECT_FALSE(logger.LogPath(a));
  EXPECT_EQ(logger.fullFileNames().Count(), 4u);
  logger.PathLogInit();
  EXPECT_TRUE(logger.LogPath(a));
  EXPECT_EQ(logger.fullFileNames().Count(), 4u);
}

TEST_F(PathLoggerTest, UnreadableFolderIsSkippedAndCounted) {
  const std::string a = MakeTree();
  // Permissions do not bind root, so B's failure is injected in the listing.
  pathLogger logger(nullptr, [&](const std::string& path, FolderListing* out) {
    return path != a + "/B/" && ListFolderOnDisk(path, out);
  });
  logger.PathLogInit();
  logger.LogPath(a);
  EXPECT_EQ(logger.UnreadableFolders(), 1);
  // B's own files and its subfolder are out of reach; the rest is complete.
  EXPECT_EQ(Items(logger.fullFileNames()), (std::vector<std::string>{a + "/a1", a + "/a2"}));
  EXPECT_EQ(logger.pathNames().Count(), 3u);
}

TEST_F(PathLoggerTest, SymlinkedFoldersAreNotFollowed) {
  const std::string a = MakeTree();
  fs::create_directory_symlink(root_ / "A", root_ / "A" / "B" / "loop");
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(a);
  EXPECT_EQ(logger.pathNames().Count(), 4u);
}

TEST(PathNamesTest, FileNameIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(GetFileNameFromPath("C:\\Mail\\Inbox.dbx", '\\'), "Inbox.dbx");
  EXPECT_EQ(GetFileNameFromPath("Inbox.dbx", '\\'), "Inbox.dbx");
  EXPECT_EQ(GetFileNameFromPath("C:\\Mail\\", '\\'), "");
  EXPECT_EQ(GetFileNameFromPath("C:/Mail/Inbox.dbx", '\\'), "C:/Mail/Inbox.dbx");
  EXPECT_EQ(GetFileNameFromPath("/home/u/Mail/Inbox.dbx"), "Inbox.dbx");
  EXPECT_EQ(WithTrailingSeparator("/a"), "/a/");
  EXPECT_EQ(WithTrailingSeparator("/a/"), "/a/");
}

}  // namespace
}  // namespace tollan

namespace tollan {
namespace {

TEST(DbxSearchTest, KeepsDbxFilesInAnyCaseInWalkOrder) {
  namespace fs = std::filesystem;
  fs::path root = fs::temp_directory_path() / ("dbxsearch-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "sub");
  // A name that begins with a non-ASCII letter comes after the ASCII ones,
  // on Windows too.
  for (const char* name : {"Ärchiv.dbx", "Inbox.dbx", "notes.txt", "X.DBX", "sub/Sent Items.dbx", "sub/a.dbx.bak"}) {
    std::ofstream(root / name) << "x";
  }
  DbxSearchResult r = FindDbxFiles(root.string());
  EXPECT_EQ(r.files, (std::vector<std::string>{root.string() + "/Inbox.dbx", root.string() + "/X.DBX",
                                               root.string() + "/Ärchiv.dbx", root.string() + "/sub/Sent Items.dbx"}));
  EXPECT_EQ(r.unreadable_folders, 0);
  EXPECT_TRUE(HasDbxExtension(" a.Dbx  "));
  EXPECT_FALSE(HasDbxExtension("dbx"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace tollan
