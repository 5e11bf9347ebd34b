#include "converter/engine/report_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tollan {
namespace {

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

RunReport OneOfEach() {
  RunReport r;
  FileOutcome bad;
  bad.dbx_path = "/s/Broken.dbx";
  bad.state = FileOutcome::State::kFailed;
  bad.error = "not a folder file";
  r.files.push_back(bad);
  MessageNote n;
  n.folder_file = "/s/Inbox.dbx";
  n.number = 7;
  n.subject = "Re: \"budget\", part 2";
  n.sender = "Ann <a@x.org>";
  n.date = FormatReportDate(37622.5);  // 2003-01-01 12:00
  n.what = MessageNote::What::kKeptOriginal;
  n.why = "line one\r\nline two";
  r.messages.push_back(n);
  return r;
}

TEST(ReportFileTest, RowsQuotedAsCsvWantsThem) {
  EXPECT_EQ(ReportCsv(OneOfEach()),
            "folder file,message number,subject,sender,date,what happened,why\r\n"
            "/s/Broken.dbx,,,,,folder file not converted,not a folder file\r\n"
            "/s/Inbox.dbx,7,\"Re: \"\"budget\"\", part 2\",Ann <a@x.org>,2003-01-01 12:00:00,"
            "kept with its original attached,\"line one\r\nline two\"\r\n");
  EXPECT_FALSE(ReportHasEntries(RunReport()));
  EXPECT_EQ(FormatReportDate(0), "");
}

TEST(ReportFileTest, NeverReplacesAFile) {
  auto dir = std::filesystem::path(testing::TempDir()) / "report_file_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / kReportFileName) << "the user's";
  std::string path;
  ASSERT_TRUE(WriteReportBeside(OneOfEach(), dir.string(), &path).ok());
  EXPECT_EQ(path, (dir / "conversion-report (2).csv").string());
  EXPECT_EQ(Slurp(path), ReportCsv(OneOfEach()));
  EXPECT_EQ(Slurp(dir / kReportFileName), "the user's");
  EXPECT_FALSE(WriteReportFile(OneOfEach(), (dir / kReportFileName).string()).ok());
  EXPECT_EQ(Slurp(dir / kReportFileName), "the user's");
  // Nothing but the two reports: no temporary file stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

}  // namespace
}  // namespace tollan
