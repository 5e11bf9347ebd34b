// Tests of the Wine prefix source: loading, link keys, the derived
// environment and host path translation.
#include "platform/registry/wine_source.h"

#include <gtest/gtest.h>

#include <cstdio>

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
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::unique_ptr<WineRegistrySource> OpenPrefix(const std::string& prefix) {
  std::unique_ptr<WineRegistrySource> source;
  Status s = WineRegistrySource::Open(prefix, &source);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return source;
}

TEST(WineSourceTest, MissingPrefixFailsAndMissingFilesAreEmpty) {
  TempDir dir;
  std::unique_ptr<WineRegistrySource> source;
  Status s = WineRegistrySource::Open(dir.path() + "/nowhere", &source);
  EXPECT_EQ(s.code(), Status::Code::kNotFound);
  EXPECT_NE(s.message().find("nowhere"), std::string::npos);

  source = OpenPrefix(dir.path());
  ASSERT_NE(source, nullptr);
  std::unique_ptr<RegistryKey> key;
  EXPECT_TRUE(source->OpenKey(RootKey::kCurrentUser, "", &key).ok());
  EXPECT_EQ(key->SubkeyCount(), 0u);
  EXPECT_EQ(source->OpenKey(RootKey::kCurrentUser, "Identities", &key).code(),
            Status::Code::kNotFound);
}

TEST(WineSourceTest, CorruptFileNamesTheFile) {
  TempDir dir;
  dir.Write("user.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\Identities]\n");
  std::unique_ptr<WineRegistrySource> source;
  Status s = WineRegistrySource::Open(dir.path(), &source);
  EXPECT_EQ(s.code(), Status::Code::kCorrupt);
  EXPECT_NE(s.message().find("user.reg"), std::string::npos);
}

TEST(WineSourceTest, RootsAreSeparateAndPathsIgnoreCase) {
  TempDir dir;
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{A}")}).User("Identities\\{A}");
  reg.Machine("Software\\Microsoft\\Outlook Express", {Sz("MediaVer", "6,0,2900,5512")});
  registry_test::WriteWinePrefix(reg, dir.path());
  auto source = OpenPrefix(dir.path());
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(source->OpenKey(RootKey::kLocalMachine, "SOFTWARE\\microsoft\\outlook express", &key).ok());
  RawValue value;
  ASSERT_TRUE(key->FindValue("mediaver", &value));
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(source->OpenKey(RootKey::kCurrentUser, "Software\\Microsoft\\Outlook Express", &key).code(),
            Status::Code::kNotFound);
  ASSERT_TRUE(source->OpenKey(RootKey::kCurrentUser, "identities", &key).ok());
  std::string name;
  ASSERT_TRUE(key->SubkeyNameAt(0, &name));
  EXPECT_EQ(name, "{A}");
  EXPECT_FALSE(key->SubkeyNameAt(1, &name));
}

TEST(WineSourceTest, FollowsLinkKeys) {
  TempDir dir;
  std::string system =
      "WINE REGISTRY Version 2\n"
      "[System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment] 0\n"
      "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n"
      "\"ComSpec\"=\"C:\\\\windows\\\\system32\\\\cmd.exe\"\n"
      "[System\\\\CurrentControlSet] 0\n"
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,\\\n"
      "  4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,\\\n"
      "  6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,30,00,\\\n"
      "  30,00,31,00\n"
      "[System\\\\Loop] 0\n"
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,\\\n"
      "  4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,\\\n"
      "  6d,00,5c,00,4c,00,6f,00,6f,00,70,00\n";
  dir.Write("system.reg", system);
  auto source = OpenPrefix(dir.path());
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(source->OpenKey(RootKey::kLocalMachine,
                              "System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              &key).ok());
  EXPECT_EQ(key->ValueCount(), 2u);
  EXPECT_EQ(source->environment().GetOr("TEMP"), "C:\\windows\\temp");
  EXPECT_EQ(source->environment().GetOr("comspec"), "C:\\windows\\system32\\cmd.exe");
  // A link to itself ends instead of looping.
  EXPECT_EQ(source->OpenKey(RootKey::kLocalMachine, "System\\Loop\\x", &key).code(),
            Status::Code::kNotFound);
}

TEST(WineSourceTest, NestedLinksCannotMultiplyTheWork) {
  // "A" links to \REGISTRY\Machine\A\A\A\A\A\A\A\A: each step of the
  // target is the link again. Opening it must give up, not recurse 8^16 times.
  std::string target = "\\REGISTRY\\Machine";
  for (int i = 0; i < 8; ++i) target += "\\A";
  std::u16string units = text::Utf8ToUtf16(target);
  std::string hex;
  char buf[4];
  for (char c : Utf16ToLeBytes(units)) {
    std::snprintf(buf, sizeof(buf), "%02x", static_cast<unsigned char>(c));
    hex += (hex.empty() ? "" : ",") + std::string(buf);
  }
  TempDir dir;
  dir.Write("system.reg", "WINE REGISTRY Version 2\n[A] 0\n#link\n\"SymbolicLinkValue\"=hex(6):" +
                              hex + "\n");
  auto source = OpenPrefix(dir.path());
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(source->OpenKey(RootKey::kLocalMachine, "A", &key).code(), Status::Code::kNotFound);
  EXPECT_EQ(source->OpenKey(RootKey::kLocalMachine, "a\\b", &key).code(), Status::Code::kNotFound);
}

TEST(WineSourceTest, EnvironmentComesFromThePrefixRegistry) {
  TempDir dir;
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Windows NT\\CurrentVersion", {Sz("SystemRoot", "C:\\windows")});
  reg.Machine("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
              {ExpandSz("ProfilesDirectory", "%SystemDrive%\\users"),
               ExpandSz("ProgramData", "%SystemDrive%\\ProgramData"),
               ExpandSz("Public", "%SystemDrive%\\users\\Public")});
  reg.User(kShellFolders, {Sz("AppData", "C:\\users\\alice\\AppData\\Roaming"),
                           Sz("Local AppData", "C:\\users\\alice\\AppData\\Local")});
  reg.User(kUserShellFolders, {ExpandSz("AppData", "%USERPROFILE%\\Roaming Elsewhere")});
  reg.User("Environment", {ExpandSz("TEMP", "%USERPROFILE%\\AppData\\Local\\Temp")});
  registry_test::WriteWinePrefix(reg, dir.path());
  auto source = OpenPrefix(dir.path());
  const Environment& env = source->environment();
  EXPECT_EQ(env.GetOr("USERNAME"), "alice");
  EXPECT_EQ(env.GetOr("USERPROFILE"), "C:\\users\\alice");
  EXPECT_EQ(env.GetOr("APPDATA"), "C:\\users\\alice\\Roaming Elsewhere");  // expandable form wins
  EXPECT_EQ(env.GetOr("LOCALAPPDATA"), "C:\\users\\alice\\AppData\\Local");
  EXPECT_EQ(env.GetOr("SystemRoot"), "C:\\windows");
  EXPECT_EQ(env.GetOr("WINDIR"), "C:\\windows");
  EXPECT_EQ(env.GetOr("SystemDrive"), "C:");
  EXPECT_EQ(env.GetOr("HOMEDRIVE"), "C:");
  EXPECT_EQ(env.GetOr("HOMEPATH"), "\\users\\alice");
  EXPECT_EQ(env.GetOr("ProgramData"), "C:\\ProgramData");
  EXPECT_EQ(env.GetOr("ALLUSERSPROFILE"), "C:\\ProgramData");
  EXPECT_EQ(env.GetOr("PUBLIC"), "C:\\users\\Public");
  EXPECT_EQ(env.GetOr("TEMP"), "C:\\users\\alice\\AppData\\Local\\Temp");
}

TEST(WineSourceTest, VolatileEnvironmentWinsAndFallbacksFillTheRest) {
  TempDir dir;
  TestRegistry reg;
  reg.User("Volatile Environment", {Sz("USERNAME", "carol"), Sz("USERPROFILE", "D:\\home\\carol")});
  registry_test::WriteWinePrefix(reg, dir.path());
  auto source = OpenPrefix(dir.path());
  const Environment& env = source->environment();
  EXPECT_EQ(env.GetOr("USERNAME"), "carol");
  EXPECT_EQ(env.GetOr("USERPROFILE"), "D:\\home\\carol");
  EXPECT_EQ(env.GetOr("APPDATA"), "D:\\home\\carol\\AppData\\Roaming");
  EXPECT_EQ(env.GetOr("LOCALAPPDATA"), "D:\\home\\carol\\AppData\\Local");
  EXPECT_EQ(env.GetOr("SystemRoot"), "C:\\windows");
  EXPECT_EQ(env.GetOr("ProgramFiles"), "C:\\Program Files");
}

TEST(WineSourceTest, UserNameFromTheOnlyUserFolderWhenTheRegistryIsSilent) {
  TempDir dir;
  dir.MakeDir("drive_c/users/Public");
  dir.MakeDir("drive_c/users/dave");
  registry_test::WriteWinePrefix(TestRegistry(), dir.path());
  auto source = OpenPrefix(dir.path());
  EXPECT_EQ(source->environment().GetOr("USERNAME"), "dave");
  EXPECT_EQ(source->environment().GetOr("USERPROFILE"), "C:\\users\\dave");
  EXPECT_EQ(source->environment().GetOr("APPDATA"), "C:\\users\\dave\\AppData\\Roaming");
}

TEST(WineSourceTest, HostPathsGoThroughDosdevicesAndIgnoreCase) {
  TempDir dir;
  registry_test::WriteWinePrefix(TestRegistry(), dir.path());
  dir.MakeDir("drive_c/users/Bob/AppData/Local/Identities");
  dir.MakeDir("elsewhere/Mail");
  dir.Symlink("../drive_c", "dosdevices/c:");
  dir.Symlink(dir.path() + "/elsewhere", "dosdevices/d:");
  auto source = OpenPrefix(dir.path());
  std::string host;
  ASSERT_TRUE(source->ToHostPath("C:\\USERS\\bob\\appdata\\LOCAL\\identities\\{X}\\Outlook Express", &host).ok());
  EXPECT_EQ(host, dir.path() + "/drive_c/users/Bob/AppData/Local/Identities/{X}/Outlook Express");
  ASSERT_TRUE(source->ToHostPath("d:\\mail\\..\\MAIL\\.\\x.dbx", &host).ok());
  EXPECT_EQ(host, dir.path() + "/elsewhere/Mail/x.dbx");
  ASSERT_TRUE(source->ToHostPath("C:\\..\\..\\etc", &host).ok());
  EXPECT_EQ(host, dir.path() + "/drive_c/etc");  // ".." stops at the drive
  Status s = source->ToHostPath("E:\\x", &host);
  EXPECT_EQ(s.code(), Status::Code::kNotFound);
  EXPECT_NE(s.message().find("E:"), std::string::npos);
  EXPECT_EQ(source->ToHostPath("relative\\path", &host).code(), Status::Code::kInvalidArgument);
}

TEST(WineSourceTest, DriveCFallsBackToDriveCFolder) {
  TempDir dir;
  registry_test::WriteWinePrefix(TestRegistry(), dir.path());
  dir.MakeDir("drive_c/Windows");
  auto source = OpenPrefix(dir.path());
  std::string host;
  ASSERT_TRUE(source->ToHostPath("c:\\WINDOWS\\Temp", &host).ok());
  EXPECT_EQ(host, dir.path() + "/drive_c/Windows/Temp");
}

}  // namespace
}  // namespace registry
