// Tests of the names and texts the engine and the driver build.
#include "converter/engine/naming.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tollan {
namespace {

TEST(NamingTest, TimestampHasNoLeadingZerosButTwoDigitSeconds) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 2026-03-05 14:07:09 UTC
  EXPECT_EQ(FormatTimestamp(1772719629), "5.3.26 14.7.09");
  // 2026-12-07 03:05:09 UTC
  EXPECT_EQ(FormatTimestamp(1796612709), "7.12.26 3.5.09");
}

TEST(NamingTest, SubjectCleaning) {
  EXPECT_EQ(SubjectTempPath("/out/", 0, ""), "/out/0_.eml");
  EXPECT_EQ(SubjectTempPath("/out/", 3, "Meeting notes"), "/out/3_Meeting notes.eml");
  EXPECT_EQ(SubjectTempPath("/out/", 7, "..."), "/out/7_.eml");
  EXPECT_EQ(SubjectTempPath("/out/", 1, "Re: a/b"), "/out/1_Re ab.eml");
  EXPECT_EQ(CleanSubject("a\x01:b\x1f?c*d\"e<f>g|h\\i.j"), "abcdefghij");
  EXPECT_EQ(CleanSubject(std::string("\0\x7f\x80 x", 5)), std::string("\0\x7f\x80 x", 5));
  EXPECT_EQ(SubjectTempPath("/out/", 2, "  spaced  "), "/out/2_spaced.eml");
}

TEST(NamingTest, LongPathsAreCutTo224Characters) {
  std::string folder = "/" + std::string(200, 'o') + "/";
  std::string p = SubjectTempPath(folder, 12, std::string(50, 's'));
  EXPECT_EQ(p.size(), 224u);
  EXPECT_EQ(p.substr(220), ".eml");
  // The cut may fall inside the first extension.
  std::string q = LimitTempPath(std::string(216, 'x') + ".eml.eml");
  EXPECT_EQ(q, std::string(216, 'x') + ".eml.eml");
  EXPECT_EQ(LimitTempPath(std::string(218, 'x') + ".eml"), std::string(218, 'x') + ".e.eml");
  // Subjects are cut on character boundaries and names stay within 255 bytes.
  std::string cyrillic;
  for (int i = 0; i < 230; ++i) cyrillic += "\xd0\x96";
  std::string c = SubjectTempPath("/o/", 1, cyrillic);
  EXPECT_LE(c.size() - 3, 255u);
  EXPECT_EQ(c.substr(c.size() - 4), ".eml");
  EXPECT_EQ(Utf8Prefix(c, Utf8Length(c)), c);
}

TEST(NamingTest, FolderNames) {
  EXPECT_EQ(FolderNameFromFileName("Inbox.dbx"), "Inbox");
  EXPECT_EQ(FolderNameFromFileName("Inbox.DBX"), "Inbox.DBX");
  EXPECT_EQ(FolderNameFromFileName("a.dbx.old.dbx"), "a.old");
  EXPECT_EQ(FolderNameFromFileName(" Sent Items.dbx "), "Sent Items");
}

TEST(NamingTest, ProgressTextRoundsHalvesToEven) {
  EXPECT_EQ(ProgressText(ProgressValue(2, 5), 2, 5), "40 % Done. 2/5 Email Message(s) Converted.");
  EXPECT_EQ(ProgressText(ProgressValue(1, 8), 1, 8), "12 % Done. 1/8 Email Message(s) Converted.");
  EXPECT_EQ(ProgressText(ProgressValue(3, 8), 3, 8), "38 % Done. 3/8 Email Message(s) Converted.");
  EXPECT_EQ(ProgressText(ProgressValue(1, 3), 1, 3), "33 % Done. 1/3 Email Message(s) Converted.");
}

TEST(NamingTest, LongPstNamesLoseOnlyNameCharacters) {
  const std::string stamp = "7.12.26 3.5.09";
  EXPECT_EQ(PstPath("/tmp/", "Inbox", stamp), "/tmp/Inbox7.12.26 3.5.09.pst");
  // 2-byte letters: the cut never splits one, and the stamp and the room for
  // a " (999)" of a free name stay.
  std::string wide;
  for (int i = 0; i < 123; ++i) wide += "\xc3\xa9";
  const std::string path = PstPath("/tmp/", wide, stamp);
  const std::string name = path.substr(5);
  EXPECT_LE(name.size() + 6, NameMax("/tmp/"));
  EXPECT_EQ(name.substr(name.size() - stamp.size() - 4), stamp + ".pst");
  EXPECT_EQ(DisplayText(name), name);  // still valid UTF-8
  EXPECT_EQ(DisplayText("caf\xe9"), "caf\xef\xbf\xbd");
}

}  // namespace
}  // namespace tollan
