// Tests of the offline hive source, on hives built with hivexsh from the
// shared minimal hive.
#include "platform/registry/hive_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/registry/text.h"
#include "platform/text/utf.h"
#include "tests/platform/registry/registry_test_util.h"

namespace registry {
namespace {

using registry_test::Dword;
using registry_test::ExpandSz;
using registry_test::Sz;
using registry_test::TempDir;
using registry_test::TestRegistry;

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class HiveSourceTest : public ::testing::Test {
 protected:
  // Builds the hives inside "<tmp>/Documents and Settings/bob/".
  std::unique_ptr<HiveRegistrySource> Open(const TestRegistry& reg, bool with_software) {
    profile_ = dir_.MakeDir("Documents and Settings/bob");
    std::string ntuser = profile_ + "/NTUSER.DAT";
    std::string software = with_software ? dir_.path() + "/SOFTWARE" : "";
    std::string error = registry_test::BuildHives(reg, ntuser, software);
    EXPECT_EQ(error, "");
    std::unique_ptr<HiveRegistrySource> source;
    Status s = HiveRegistrySource::Open(ntuser, software, &source);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return source;
  }

  TempDir dir_;
  std::string profile_;
};

TEST_F(HiveSourceTest, ReadsKeysAndValuesWithoutRegardToCase) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{A}"), Dword("Count", 7),
                          registry_test::Raw("Blob", 3, std::string("\x00\x01", 2))});
  reg.User("Identities\\{B}").User("Identities\\{A}");
  auto source = Open(reg, false);
  ASSERT_NE(source, nullptr);
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(source->OpenKey(RootKey::kCurrentUser, "IDENTITIES", &key).ok());
  RawValue value;
  ASSERT_TRUE(key->FindValue("default user id", &value));
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(text::Utf16ToUtf8(LeBytesToUtf16(value.data)), std::string("{A}\0", 4));
  ASSERT_TRUE(key->FindValue("Count", &value));
  EXPECT_EQ(value.type, kRegDword);
  EXPECT_EQ(value.data, std::string("\x07\0\0\0", 4));
  ASSERT_TRUE(key->FindValue("blob", &value));
  EXPECT_EQ(value.type, kRegBinary);
  EXPECT_EQ(key->ValueCount(), 3u);
  EXPECT_FALSE(key->FindValue("missing", &value));
  ASSERT_EQ(key->SubkeyCount(), 2u);
  std::string first, second;
  ASSERT_TRUE(key->SubkeyNameAt(0, &first));
  ASSERT_TRUE(key->SubkeyNameAt(1, &second));
  EXPECT_EQ(first, "{A}");  // hives keep subkeys sorted
  EXPECT_EQ(second, "{B}");
  EXPECT_EQ(source->OpenKey(RootKey::kCurrentUser, "Identities\\{C}", &key).code(),
            Status::Code::kNotFound);
}

TEST_F(HiveSourceTest, MachineRootIsTheSoftwareHiveOnly) {
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Outlook Express", {Sz("MediaVer", "6,0,2800,1106")});
  auto source = Open(reg, true);
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(source->OpenKey(RootKey::kLocalMachine, "software\\Microsoft\\Outlook Express", &key).ok());
  RawValue value;
  EXPECT_TRUE(key->FindValue("MediaVer", &value));
  EXPECT_EQ(source->OpenKey(RootKey::kLocalMachine, "System\\Select", &key).code(),
            Status::Code::kNotFound);
  EXPECT_NE(source->Describe().find("SOFTWARE"), std::string::npos);

  auto without = Open(TestRegistry(), false);
  EXPECT_EQ(without->OpenKey(RootKey::kLocalMachine, "Software\\Microsoft", &key).code(),
            Status::Code::kNotFound);
}

TEST_F(HiveSourceTest, ProfileEnvironmentFollowsTheFolderOfTheHive) {
  auto source = Open(TestRegistry(), false);
  const Environment& env = source->environment();
  EXPECT_EQ(env.GetOr("USERPROFILE"), profile_);
  EXPECT_EQ(env.GetOr("USERNAME"), "bob");
  EXPECT_EQ(env.GetOr("APPDATA"), profile_ + "\\Application Data");
  EXPECT_EQ(env.GetOr("LOCALAPPDATA"), profile_ + "\\Local Settings\\Application Data");
  EXPECT_EQ(env.GetOr("SystemRoot"), "C:\\WINDOWS");
  EXPECT_EQ(env.Expand("%UserProfile%\\Local Settings"), profile_ + "\\Local Settings");
}

TEST_F(HiveSourceTest, ShellFoldersOfTheHiveMapBelowTheProfile) {
  TestRegistry reg;
  reg.User(kShellFolders,
           {Sz("AppData", "C:\\Documents and Settings\\Robert\\Application Data"),
            Sz("Local AppData", "C:\\Documents and Settings\\Robert\\Local Settings\\Application Data")});
  reg.User("Environment", {ExpandSz("TEMP", "%USERPROFILE%\\Local Settings\\Temp")});
  auto source = Open(reg, false);
  dir_.MakeDir("Documents and Settings/bob/Local Settings/Application Data/Identities");
  dir_.MakeDir("WINDOWS/System32");
  EXPECT_EQ(source->windows_profile(), "C:\\Documents and Settings\\Robert");
  const Environment& env = source->environment();
  EXPECT_EQ(env.GetOr("USERNAME"), "Robert");
  EXPECT_EQ(env.GetOr("LOCALAPPDATA"),
            "C:\\Documents and Settings\\Robert\\Local Settings\\Application Data");
  EXPECT_EQ(env.GetOr("TEMP"), profile_ + "\\Local Settings\\Temp");

  std::string host;
  ASSERT_TRUE(source->ToHostPath(env.GetOr("LOCALAPPDATA") + "\\IDENTITIES\\{X}", &host).ok());
  EXPECT_EQ(host, profile_ + "/Local Settings/Application Data/Identities/{X}");
  ASSERT_TRUE(source->ToHostPath(env.GetOr("TEMP"), &host).ok());
  EXPECT_EQ(host, profile_ + "/Local Settings/Temp");
  // Elsewhere on the system drive: below the folder that holds "Documents and Settings".
  ASSERT_TRUE(source->ToHostPath("C:\\windows\\system32", &host).ok());
  EXPECT_EQ(host, dir_.path() + "/WINDOWS/System32");
  EXPECT_EQ(source->ToHostPath("D:\\Mail", &host).code(), Status::Code::kNotFound);
}

TEST_F(HiveSourceTest, ProfilePathsMapBelowACopiedProfileFolder) {
  // The profile folder copied on its own, without its "Documents and Settings".
  std::string profile = dir_.MakeDir("backup/Bob");
  dir_.MakeDir("backup/Bob/Local Settings/Application Data");
  ASSERT_EQ(registry_test::BuildHive({}, profile + "/NTUSER.DAT"), "");
  std::unique_ptr<HiveRegistrySource> source;
  ASSERT_TRUE(HiveRegistrySource::Open(profile + "/NTUSER.DAT", "", &source).ok());
  std::string host;
  ASSERT_TRUE(source->ToHostPath("C:\\Documents and Settings\\bob\\local settings\\"
                                 "application data\\Identities",
                                 &host).ok());
  EXPECT_EQ(host, profile + "/Local Settings/Application Data/Identities");
  // Another user's profile, or another folder of the drive, has no host folder here.
  EXPECT_FALSE(source->ToHostPath("C:\\Documents and Settings\\alice\\x", &host).ok());
  EXPECT_FALSE(source->ToHostPath("C:\\WINDOWS", &host).ok());
}

TEST_F(HiveSourceTest, FilesThatAreNotHivesFailWithTheirName) {
  std::string bogus = dir_.Write("NTUSER.DAT", "not a hive at all");
  std::unique_ptr<HiveRegistrySource> source;
  Status s = HiveRegistrySource::Open(bogus, "", &source);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find(bogus), std::string::npos);
  s = HiveRegistrySource::Open(dir_.path() + "/missing.dat", "", &source);
  EXPECT_FALSE(s.ok());
}

TEST_F(HiveSourceTest, OpensReadOnlyAndLeavesTheFileAlone) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{A}")});
  auto source = Open(reg, false);
  std::string ntuser = profile_ + "/NTUSER.DAT";
  source.reset();
  std::ifstream in(ntuser, std::ios::binary);
  std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(chmod(ntuser.c_str(), 0444), 0);
  std::unique_ptr<HiveRegistrySource> reopened;
  ASSERT_TRUE(HiveRegistrySource::Open(ntuser, "", &reopened).ok());
  std::unique_ptr<RegistryKey> key;
  EXPECT_TRUE(reopened->OpenKey(RootKey::kCurrentUser, "Identities", &key).ok());
  reopened.reset();
  std::ifstream again(ntuser, std::ios::binary);
  std::string after((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace registry
