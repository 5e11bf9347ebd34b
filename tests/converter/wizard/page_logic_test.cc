// The page logic every front end shares, where the Qt page tests do not
// reach it: the answer of a multiple-selection open-file dialog, and the
// start page's Next.
#include "converter/wizard/page_logic.h"

#include <gtest/gtest.h>

#include "converter/wizard/file_list_page.h"
#include "converter/wizard/page_texts.h"

namespace tollan {
namespace {

using namespace std::string_literals;

TEST(PageLogicTest, OpenFileAnswerSplitsIntoFullPathsInOrder) {
  struct Case {
    std::string answer;
    std::vector<std::string> files;
  } cases[] = {
      {"C:\\a\\x.dbx\0\0"s, {"C:\\a\\x.dbx"}},
      {"C:\\a\0x.dbx\0y.dbx\0\0"s, {"C:\\a\\x.dbx", "C:\\a\\y.dbx"}},
      {"C:\\\0x.dbx\0y.dbx\0\0"s, {"C:\\x.dbx", "C:\\y.dbx"}},  // a drive root keeps one "\"
      {"C:\\a\\x.dbx"s, {"C:\\a\\x.dbx"}},                        // no final NUL
      {""s, {}},                                                  // cancelled
  };
  for (const Case& c : cases) EXPECT_EQ(SplitOpenFileNames(c.answer), c.files) << c.answer;
}

TEST(PageLogicTest, NextOpensTheChosenPageOrAsksForAnOption) {
  std::vector<std::string> asked;
  const AskFn ask = [&](const std::string& text, MsgButtons, MsgIcon, const std::string& title) {
    asked.push_back(text + "|" + title);
    return MsgAnswer::kOk;
  };
  EXPECT_EQ(NextPage(true, false, ask), StartChoice::kDefaultStore);
  EXPECT_EQ(NextPage(false, true, ask), StartChoice::kChosenFiles);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(NextPage(false, false, ask), StartChoice::kNone);
  EXPECT_EQ(asked, std::vector<std::string>{std::string(kSelectAnOptionText) + "|Tollan"});
}

}  // namespace
}  // namespace tollan
