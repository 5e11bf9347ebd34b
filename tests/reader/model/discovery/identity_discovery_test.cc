// Tests of Outlook Express identity discovery, each run against a Wine
// prefix and against hive files holding the same keys.
#include "reader/model/discovery/identity_discovery.h"

#include <gtest/gtest.h>

#include "platform/registry/hive_source.h"
#include "platform/registry/text.h"
#include "platform/registry/wine_source.h"
#include "tests/platform/registry/registry_test_util.h"

namespace kestrel {
namespace {

using registry::RootKey;
using registry_test::Dword;
using registry_test::ExpandSz;
using registry_test::Raw;
using registry_test::Sz;
using registry_test::TempDir;
using registry_test::TestRegistry;
using registry_test::TestValue;

constexpr char kStoreRoot[] =
    "%UserProfile%\\Local Settings\\Application Data\\Identities\\{A}\\Microsoft\\Outlook Express";

enum class Kind { kWine, kHive };

// Adds an identity key with its UserName and, unless `version` is empty, an
// Outlook Express version key holding `settings`.
void AddIdentity(TestRegistry* reg, const std::string& id, std::vector<TestValue> identity_values,
                 const std::string& version = "5.0", std::vector<TestValue> settings = {}) {
  reg->User("Identities\\" + id, std::move(identity_values));
  if (version.empty()) return;
  reg->User("Identities\\" + id + "\\Software\\Microsoft\\Outlook Express\\" + version,
            std::move(settings));
}

class DiscoveryTest : public ::testing::TestWithParam<Kind> {
 protected:
  DiscoveryResult Discover(TestRegistry reg, const std::string& code_page = "WINDOWS-1252") {
    std::unique_ptr<registry::RegistrySource> source;
    if (GetParam() == Kind::kWine) {
      reg.User("Volatile Environment",
               {Sz("USERNAME", "bob"), Sz("USERPROFILE", "C:\\users\\bob")});
      std::string prefix = dir_.MakeDir("prefix");
      registry_test::WriteWinePrefix(reg, prefix);
      std::unique_ptr<registry::WineRegistrySource> wine;
      registry::Status s = registry::WineRegistrySource::Open(prefix, &wine);
      EXPECT_TRUE(s.ok()) << s.ToString();
      source = std::move(wine);
    } else {
      std::string profile = dir_.MakeDir("Documents and Settings/bob");
      std::string error = registry_test::BuildHives(reg, profile + "/NTUSER.DAT",
                                                    dir_.path() + "/SOFTWARE");
      EXPECT_EQ(error, "");
      std::unique_ptr<registry::HiveRegistrySource> hive;
      registry::Status s =
          registry::HiveRegistrySource::Open(profile + "/NTUSER.DAT", dir_.path() + "/SOFTWARE", &hive);
      EXPECT_TRUE(s.ok()) << s.ToString();
      source = std::move(hive);
    }
    std::unique_ptr<registry::CodePage> cp;
    EXPECT_TRUE(registry::CodePage::Open(code_page, &cp).ok());
    if (source == nullptr || cp == nullptr) return {};
    registry::AnsiRegistry ansi(*source, *cp);
    return DiscoverIdentities(ansi);
  }

  // %USERPROFILE% as the source expands it, and the host folder it is.
  std::string Profile() const {
    return GetParam() == Kind::kWine ? "C:\\users\\bob"
                                     : dir_.path() + "/Documents and Settings/bob";
  }
  std::string HostProfile() const {
    return GetParam() == Kind::kWine ? dir_.path() + "/prefix/drive_c/users/bob"
                                     : dir_.path() + "/Documents and Settings/bob";
  }

  TempDir dir_;
};

TEST_P(DiscoveryTest, NoIdentitiesKeyMeansNoIdentitiesAndNoDefaultStore) {
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Outlook Express", {Sz("MediaVer", "6,0,2900,5512")});
  DiscoveryResult r = Discover(reg);
  EXPECT_FALSE(r.identities_key_present);
  EXPECT_TRUE(r.identities.empty());
  EXPECT_EQ(r.default_user, "");
  EXPECT_EQ(r.version_number, "6,0,2900,5512");
  std::string store;
  EXPECT_FALSE(r.DefaultStore(&store));
}

TEST_P(DiscoveryTest, ReadsEveryIdentityWithItsStoreAndFlags) {
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Outlook Express", {Sz("MediaVer", "6,0,2900,5512")});
  reg.User("Identities", {Sz("Default User ID", "{B}"), Sz("Last User ID", "{A}")});
  AddIdentity(&reg, "{A}", {Sz("UserName", "Main Identity")}, "5.0",
              {ExpandSz("Store Root", kStoreRoot), Dword("Running", 1),
               Dword("Background Compaction", 1), Dword("Migration Done", 0)});
  AddIdentity(&reg, "{B}", {Sz("UserName", "  Work Mail  ")}, "5.0",
              {Sz("Store Root", "D:\\Mail\\Work"), Dword("Migration Done", 1)});
  DiscoveryResult r = Discover(reg);

  ASSERT_TRUE(r.identities_key_present);
  ASSERT_EQ(r.identities.size(), 2u);
  const IdentityRecord& a = r.identities[0];
  EXPECT_EQ(a.identity_id, "{A}");
  EXPECT_EQ(a.key, "Main Identity");
  EXPECT_EQ(a.user_name, "Main Identity");
  EXPECT_EQ(a.store_path, Profile() +
                              "\\Local Settings\\Application Data\\Identities\\{A}\\Microsoft\\"
                              "Outlook Express");
  EXPECT_EQ(a.store_host_path,
            HostProfile() + "/Local Settings/Application Data/Identities/{A}/Microsoft/Outlook Express");
  EXPECT_EQ(a.version_number, "6,0,2900,5512");
  EXPECT_TRUE(a.oe_running);
  EXPECT_TRUE(a.background_compact);
  EXPECT_FALSE(a.migration_done);

  const IdentityRecord& b = r.identities[1];
  EXPECT_EQ(b.key, "Work Mail");
  EXPECT_EQ(b.store_path, "D:\\Mail\\Work");  // no '%': as read
  EXPECT_FALSE(b.oe_running);
  EXPECT_FALSE(b.background_compact);
  EXPECT_TRUE(b.migration_done);

  EXPECT_EQ(r.default_user_id, "{B}");
  EXPECT_EQ(r.default_user, "Work Mail");
  ASSERT_NE(r.Find("WORK mail"), nullptr);
  EXPECT_EQ(r.Find("work MAIL")->identity_id, "{B}");
  EXPECT_EQ(r.Find("Nobody"), nullptr);
  std::string store;
  ASSERT_TRUE(r.DefaultStore(&store));
  EXPECT_EQ(store, "D:\\Mail\\Work");
  EXPECT_TRUE(r.skipped.empty());
}

TEST_P(DiscoveryTest, FlagsAreSetByNonZeroWholeNumbersOnly) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{1}")});
  AddIdentity(&reg, "{1}", {Sz("UserName", "dword one")}, "5.0",
              {Dword("Running", 1), Dword("Background Compaction", 0xFFFFFFFF)});
  AddIdentity(&reg, "{2}", {Sz("UserName", "text one")}, "5.0",
              {Sz("Running", "1"), Sz("Background Compaction", " 7 "), Sz("Migration Done", "0")});
  AddIdentity(&reg, "{3}", {Sz("UserName", "not numbers")}, "5.0",
              {Sz("Running", "yes"), Sz("Background Compaction", "1.5"),
               Raw("Migration Done", 3, std::string("\x01", 1))});
  AddIdentity(&reg, "{4}", {Sz("UserName", "missing")}, "5.0", {Sz("Store Root", "C:\\x")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 4u);
  EXPECT_TRUE(r.identities[0].oe_running);
  EXPECT_TRUE(r.identities[0].background_compact);  // 0xFFFFFFFF reads as -1: not zero
  EXPECT_FALSE(r.identities[0].migration_done);
  EXPECT_TRUE(r.identities[1].oe_running);
  EXPECT_TRUE(r.identities[1].background_compact);
  EXPECT_FALSE(r.identities[1].migration_done);
  // Text that is no whole number, and a binary value, count as false.
  EXPECT_FALSE(r.identities[2].oe_running);
  EXPECT_FALSE(r.identities[2].background_compact);
  EXPECT_FALSE(r.identities[2].migration_done);
  EXPECT_FALSE(r.identities[3].oe_running);
  EXPECT_FALSE(r.identities[3].background_compact);
  EXPECT_FALSE(r.identities[3].migration_done);
}

TEST_P(DiscoveryTest, OnlyTheFirstVersionKeyIsRead) {
  TestRegistry reg;
  AddIdentity(&reg, "{A}", {Sz("UserName", "Two Versions")}, "6.0",
              {Sz("Store Root", "C:\\six"), Dword("Running", 1)});
  reg.User("Identities\\{A}\\Software\\Microsoft\\Outlook Express\\5.0",
           {Sz("Store Root", "C:\\five")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 1u);
  EXPECT_EQ(r.identities[0].store_path, "C:\\five");  // "5.0" enumerates first
  EXPECT_FALSE(r.identities[0].oe_running);
}

TEST_P(DiscoveryTest, UnreadableMediaVerLeavesVersionsEmpty) {
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Outlook Express", {Dword("Other", 1)});
  AddIdentity(&reg, "{A}", {Sz("UserName", "One")});
  AddIdentity(&reg, "{B}", {Sz("UserName", "Two")});
  DiscoveryResult r = Discover(reg);
  EXPECT_EQ(r.version_number, "");
  ASSERT_EQ(r.identities.size(), 2u);
  EXPECT_EQ(r.identities[0].version_number, "");
  EXPECT_EQ(r.identities[1].version_number, "");
}

TEST_P(DiscoveryTest, SkipsIdentitiesWithoutNameOrSettings) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{C}")});
  AddIdentity(&reg, "{A}", {Sz("Other", "no user name")});
  AddIdentity(&reg, "{B}", {Sz("UserName", "No OE key")}, "");
  AddIdentity(&reg, "{C}", {Sz("UserName", " Default Without Versions ")}, "");
  reg.User("Identities\\{C}\\Software\\Microsoft\\Outlook Express", {Sz("x", "y")});
  AddIdentity(&reg, "{D}", {Sz("UserName", "Complete")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 1u);
  EXPECT_EQ(r.identities[0].key, "Complete");
  ASSERT_EQ(r.skipped.size(), 3u);
  EXPECT_EQ(r.skipped[0].identity_id, "{A}");
  EXPECT_EQ(r.skipped[1].identity_id, "{B}");
  EXPECT_EQ(r.skipped[2].identity_id, "{C}");
  // The default identity's name is taken before it is skipped.
  EXPECT_EQ(r.default_user, "Default Without Versions");
  std::string store;
  EXPECT_FALSE(r.DefaultStore(&store));
}

TEST_P(DiscoveryTest, RepeatedUserNamesKeepTheFirstIdentity) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{B}")});
  AddIdentity(&reg, "{A}", {Sz("UserName", "Main")}, "5.0", {Sz("Store Root", "C:\\first")});
  AddIdentity(&reg, "{B}", {Sz("UserName", " MAIN ")}, "5.0", {Sz("Store Root", "C:\\second")});
  AddIdentity(&reg, "{C}", {Sz("UserName", "Other")}, "5.0", {Sz("Store Root", "C:\\third")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 2u);
  EXPECT_EQ(r.identities[0].store_path, "C:\\first");
  EXPECT_EQ(r.identities[1].key, "Other");
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_EQ(r.skipped[0].identity_id, "{B}");
  EXPECT_NE(r.skipped[0].reason.find("MAIN"), std::string::npos);
  // The default store is the default identity's own, not the first Main's.
  EXPECT_EQ(r.default_user, "MAIN");
  std::string store;
  ASSERT_TRUE(r.DefaultStore(&store));
  EXPECT_EQ(store, "C:\\second");
}

TEST_P(DiscoveryTest, UserNameOfAnotherTypeSkipsTheIdentity) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{B}")});
  AddIdentity(&reg, "{A}", {Sz("UserName", "Alice")}, "5.0", {Sz("Store Root", "C:\\alice")});
  AddIdentity(&reg, "{B}", {Raw("UserName", 3, "Bob")}, "5.0", {Sz("Store Root", "C:\\bob")});
  AddIdentity(&reg, "{C}", {Dword("UserName", 42)}, "5.0", {Sz("Store Root", "C:\\n")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 2u);
  EXPECT_EQ(r.identities[0].key, "Alice");
  EXPECT_EQ(r.identities[1].key, "42");  // a number reads as its digits
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_EQ(r.skipped[0].identity_id, "{B}");
  EXPECT_NE(r.skipped[0].reason.find("type 3"), std::string::npos);
  // {B} is not the default identity under another's name.
  EXPECT_EQ(r.default_user, "{B}");
  std::string store;
  EXPECT_FALSE(r.DefaultStore(&store));
}

TEST_P(DiscoveryTest, NamesAreCutTo255CharactersThenTrimmed) {
  TestRegistry reg;
  std::string long_name = "  " + std::string(250, 'n') + "   " + std::string(40, 'z');
  AddIdentity(&reg, "{A}", {Sz("UserName", long_name)});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 1u);
  EXPECT_EQ(r.identities[0].key, std::string(250, 'n'));
}

TEST_P(DiscoveryTest, DefaultUserIdMatchesKeyNamesWithoutRegardToCase) {
  TestRegistry reg;
  reg.User("Identities", {Sz("Default User ID", "{0a1b-cd}")});
  AddIdentity(&reg, "{0A1B-CD}", {Sz("UserName", "Upper")}, "5.0", {Sz("Store Root", "C:\\up")});
  DiscoveryResult r = Discover(reg);
  EXPECT_EQ(r.default_user, "Upper");
  std::string store;
  ASSERT_TRUE(r.DefaultStore(&store));
  EXPECT_EQ(store, "C:\\up");
}

TEST_P(DiscoveryTest, StringsEndAtTheirFirstNul) {
  TestRegistry reg;
  std::string name = registry::Utf16ToLeBytes(std::u16string(u"Bob\0junk\0", 9));
  std::string root = registry::Utf16ToLeBytes(std::u16string(u"C:\\Mail\0\0", 9));
  AddIdentity(&reg, "{A}", {Raw("UserName", 1, name)}, "5.0", {Raw("Store Root", 1, root)});
  AddIdentity(&reg, "{B}", {Raw("UserName", 1, "")}, "5.0", {Raw("Store Root", 2, "")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 2u);
  EXPECT_EQ(r.identities[0].key, "Bob");
  EXPECT_EQ(r.identities[0].store_path, "C:\\Mail");
  EXPECT_EQ(r.identities[1].key, "");  // a value without data reads as empty text
  EXPECT_EQ(r.identities[1].store_path, "");
  EXPECT_EQ(r.identities[1].store_host_path, "");
}

TEST_P(DiscoveryTest, TextPassesThroughTheAnsiCodePage) {
  TestRegistry reg;
  AddIdentity(&reg, "{A}", {Sz("UserName", "\xd0\x98\xd0\xbc\xd1\x8f")});  // Cyrillic
  AddIdentity(&reg, "{B}", {Sz("UserName", "Jos\xc3\xa9 \xe2\x82\xac")});
  DiscoveryResult western = Discover(reg);
  ASSERT_EQ(western.identities.size(), 2u);
  EXPECT_EQ(western.code_page, "WINDOWS-1252");
  EXPECT_EQ(western.identities[0].key, "???");
  EXPECT_EQ(western.identities[1].key, "Jos\xc3\xa9 \xe2\x82\xac");
  DiscoveryResult cyrillic = Discover(reg, "CP1251");
  ASSERT_EQ(cyrillic.identities.size(), 2u);
  EXPECT_EQ(cyrillic.identities[0].key, "\xd0\x98\xd0\xbc\xd1\x8f");
}

TEST_P(DiscoveryTest, ExpansionKeepsUnknownNamesAndLongResults) {
  TestRegistry reg;
  // Short enough to read (1024 bytes), longer than that once expanded.
  std::string deep = "%LOCALAPPDATA%\\%LOCALAPPDATA%\\%LOCALAPPDATA%\\" + std::string(970, 'd');
  AddIdentity(&reg, "{A}", {Sz("UserName", "Deep")}, "5.0", {ExpandSz("Store Root", deep)});
  AddIdentity(&reg, "{B}", {Sz("UserName", "Odd")}, "5.0",
              {Sz("Store Root", "%NO_SUCH_VARIABLE%\\Mail")});
  DiscoveryResult r = Discover(reg);
  ASSERT_EQ(r.identities.size(), 2u);
  std::string local = Profile() + (GetParam() == Kind::kWine ? "\\AppData\\Local"
                                                             : "\\Local Settings\\Application Data");
  EXPECT_EQ(r.identities[0].store_path,
            local + "\\" + local + "\\" + local + "\\" + std::string(970, 'd'));
  EXPECT_GT(r.identities[0].store_path.size(), 1024u);
  EXPECT_EQ(r.identities[1].store_path, "%NO_SUCH_VARIABLE%\\Mail");
  EXPECT_EQ(r.identities[1].store_host_path, "");  // not a path this machine has
}

INSTANTIATE_TEST_SUITE_P(Sources, DiscoveryTest, ::testing::Values(Kind::kWine, Kind::kHive),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           return info.param == Kind::kWine ? "WinePrefix" : "Hive";
                         });

// ReadRegValue's text rules, on a Wine prefix.
class ReadRegValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestRegistry reg;
    reg.User("K", {Dword("Minus", 0xFFFFFFFF), Dword("One", 1), Raw("Short", 4, "\x02"),
                   Raw("NoData", 4, ""), Sz("Big", std::string(1100, 'b')),
                   Raw("Quad", 11, std::string(8, '\x01')), ExpandSz("Exp", "%WINDIR%")});
    registry_test::WriteWinePrefix(reg, dir_.path());
    ASSERT_TRUE(registry::WineRegistrySource::Open(dir_.path(), &source_).ok());
    ASSERT_TRUE(registry::CodePage::Open("WINDOWS-1252", &cp_).ok());
    ansi_ = std::make_unique<registry::AnsiRegistry>(*source_, *cp_);
  }

  RegReadResult Read(const std::string& name, std::string* text) {
    return ReadRegValue(*ansi_, RootKey::kCurrentUser, "K", name, text);
  }

  TempDir dir_;
  std::unique_ptr<registry::WineRegistrySource> source_;
  std::unique_ptr<registry::CodePage> cp_;
  std::unique_ptr<registry::AnsiRegistry> ansi_;
};

TEST_F(ReadRegValueTest, NumbersReadAsSignedDecimal) {
  std::string text;
  EXPECT_EQ(Read("Minus", &text), RegReadResult::kRead);
  EXPECT_EQ(text, "-1");
  EXPECT_EQ(Read("One", &text), RegReadResult::kRead);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(Read("Short", &text), RegReadResult::kRead);
  EXPECT_EQ(text, "2");
  EXPECT_EQ(Read("NoData", &text), RegReadResult::kRead);
  EXPECT_EQ(text, "");
}

TEST_F(ReadRegValueTest, FailuresEmptyTheTextOtherTypesKeepIt) {
  std::string text = "before";
  EXPECT_EQ(Read("Big", &text), RegReadResult::kUnreadable);
  EXPECT_EQ(text, "");
  text = "before";
  EXPECT_EQ(Read("Missing", &text), RegReadResult::kUnreadable);
  EXPECT_EQ(text, "");
  text = "before";
  EXPECT_EQ(ReadRegValue(*ansi_, RootKey::kCurrentUser, "NoKey", "One", &text),
            RegReadResult::kUnreadable);
  EXPECT_EQ(text, "");
  text = "before";
  uint32_t type = 0;
  EXPECT_EQ(ReadRegValue(*ansi_, RootKey::kCurrentUser, "K", "Quad", &text, &type),
            RegReadResult::kUnsupportedType);
  EXPECT_EQ(text, "before");
  EXPECT_EQ(type, 11u);
  EXPECT_EQ(Read("Exp", &text), RegReadResult::kRead);
  EXPECT_EQ(text, "%WINDIR%");  // not expanded by the read
}

TEST(FlagIsSetTest, WholeNumbersOtherThanZero) {
  EXPECT_TRUE(FlagIsSet("1"));
  EXPECT_TRUE(FlagIsSet("-1"));
  EXPECT_TRUE(FlagIsSet(" +12 "));
  EXPECT_TRUE(FlagIsSet("99999999999999999999"));
  EXPECT_FALSE(FlagIsSet(""));
  EXPECT_FALSE(FlagIsSet("0"));
  EXPECT_FALSE(FlagIsSet("-000"));
  EXPECT_FALSE(FlagIsSet("-"));
  EXPECT_FALSE(FlagIsSet("1e3"));
  EXPECT_FALSE(FlagIsSet("&H1"));
  EXPECT_FALSE(FlagIsSet("1 1"));
  EXPECT_FALSE(FlagIsSet("true"));
}

TEST(IdentityKeysEqualTest, IgnoresCase) {
  EXPECT_TRUE(IdentityKeysEqual("Main Identity", "main IDENTITY"));
  EXPECT_TRUE(IdentityKeysEqual("J\xc3\xb6rg", "J\xc3\x96RG"));
  EXPECT_FALSE(IdentityKeysEqual("Main", "Main "));
}

}  // namespace
}  // namespace kestrel
