// The file-list batch end to end over the real store, with an in-memory
// session: the driver, the skip table and XtractDBX together.
#include "converter/wizard/file_list_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "converter/engine/texts.h"
#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

class VectorList : public FileListView {
 public:
  std::vector<std::string> rows;
  std::vector<int32_t> selected;
  int32_t Rows() override { return static_cast<int32_t>(rows.size()); }
  std::string Cell(int32_t row) override { return rows[row]; }
  void SelectRow(int32_t row) override { selected.push_back(row); }
};

TEST(FileListSourceTest, RealStoreIntoOneAndIntoSeparatePsts) {
  const std::string store = std::string(TOLLAN_SHARED_DIR) + "/fixtures/real-store/";
  fs::path out = fs::temp_directory_path() / ("filelist-" + std::to_string(getpid()));
  fs::create_directories(out);
  for (bool single : {true, false}) {
    FakePage page;
    page.one_pst = single;
    page.each_pst = !single;
    page.folder_answer = out.string();
    FakeWorld world;
    VectorList list;
    for (const char* f : {"Folders.dbx", "Inbox.dbx", "Offline.dbx", "Outbox.dbx"}) {
      list.rows.push_back(store + f);
    }
    EngineEnv env;
    env.sessions = [&] { return std::make_unique<FakeSession>(&world); };
    env.timestamp = [] { return std::string("1.1.26 0.0.00"); };
    FileListSource source(&page, &list, env);
    PageState state;
    BatchDriver(&page, &source, env.sessions, env.timestamp).Run(&state);

    ASSERT_EQ(world.stores.size(), 1u) << single;
    ASSERT_EQ(world.items.size(), 1u);
    EXPECT_EQ(list.selected, (std::vector<int32_t>{0, 1, 2, 3}));
    if (single) {
      EXPECT_EQ(world.stores[0]->display_name, "Outlook Express Messages : Created - 1.1.26 0.0.00");
      EXPECT_EQ(world.items[0].folder_path,
                "\\\\Outlook Express Messages : Created - 1.1.26 0.0.00\\Inbox");
    } else {
      EXPECT_EQ(world.items[0].folder_path, "\\\\Inbox : Created - 1.1.26 0.0.00\\Inbox");
    }
    EXPECT_EQ(world.logoffs, 1);
    EXPECT_EQ(state.report.MessagesConverted(), 1);
    EXPECT_EQ(state.report.files.size(), 4u);
    ASSERT_EQ(page.boxes.size(), 1u);
    EXPECT_EQ(page.boxes[0].text, ClosingText());
    EXPECT_TRUE(fs::is_empty(out));
  }
  fs::remove_all(out);
}

}  // namespace
}  // namespace tollan
