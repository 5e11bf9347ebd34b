// Tests of the ANSI registry calls and of choosing a registry source.
#include "platform/registry/ansi_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/registry/selection.h"
#include "platform/registry/wine_source.h"
#include "tests/platform/registry/registry_test_util.h"

namespace registry {
namespace {

using registry_test::Dword;
using registry_test::Raw;
using registry_test::Sz;
using registry_test::TempDir;
using registry_test::TestRegistry;

class AnsiRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestRegistry reg;
    reg.User("Identities", {Sz("Name", "Caf\xc3\xa9 \xe2\x82\xac \xd0\x98"), Dword("Num", 5),
                            Raw("Multi", kRegMultiSz, std::string("a\0\0\0b\0\0\0\0\0", 10)),
                            Sz("Big", std::string(600, 'x')), Sz("Fits", std::string(1023, 'y'))});
    reg.User("Identities\\" + std::string(300, 'k'));
    reg.User("Identities\\Caf\xc3\xa9");
    registry_test::WriteWinePrefix(reg, dir_.path());
    ASSERT_TRUE(WineRegistrySource::Open(dir_.path(), &source_).ok());
    ASSERT_TRUE(CodePage::Open(CodePage::kDefaultName, &cp_).ok());
    ansi_ = std::make_unique<AnsiRegistry>(*source_, *cp_);
  }

  TempDir dir_;
  std::unique_ptr<WineRegistrySource> source_;
  std::unique_ptr<CodePage> cp_;
  std::unique_ptr<AnsiRegistry> ansi_;
};

TEST_F(AnsiRegistryTest, StringsComeBackInTheCodePageWithTheirNul) {
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(ansi_->OpenKey(RootKey::kCurrentUser, "identities", &key), kErrorSuccess);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(ansi_->QueryValue(*key, "NAME", &type, &data, 1024), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, std::string("Caf\xe9 \x80 ?\0", 9));
  ASSERT_EQ(ansi_->QueryValue(*key, "Num", &type, &data, 1024), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, std::string("\x05\0\0\0", 4));
  ASSERT_EQ(ansi_->QueryValue(*key, "Multi", &type, &data, 1024), kErrorSuccess);
  EXPECT_EQ(data, std::string("a\0b\0\0", 5));
  EXPECT_EQ(ansi_->QueryValue(*key, "Missing", &type, &data, 1024), kErrorFileNotFound);
}

TEST_F(AnsiRegistryTest, BufferLimitsAreThoseOfTheCaller) {
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(ansi_->OpenKey(RootKey::kCurrentUser, "Identities", &key), kErrorSuccess);
  uint32_t type = 0;
  std::string data = "stale";
  // 600 characters and a NUL are 601 ANSI bytes (1202 bytes as stored).
  EXPECT_EQ(ansi_->QueryValue(*key, "Big", &type, &data, 601), kErrorSuccess);
  EXPECT_EQ(ansi_->QueryValue(*key, "Big", &type, &data, 600), kErrorMoreData);
  EXPECT_EQ(data, "");
  EXPECT_EQ(ansi_->QueryValue(*key, "Fits", &type, &data, 1024), kErrorSuccess);

  std::string name;
  ASSERT_EQ(ansi_->EnumKey(*key, 0, &name, 512), kErrorSuccess);
  EXPECT_EQ(name, "Caf\xe9");
  EXPECT_EQ(ansi_->EnumKey(*key, 1, &name, 300), kErrorMoreData);
  EXPECT_EQ(ansi_->EnumKey(*key, 1, &name, 301), kErrorSuccess);
  EXPECT_EQ(ansi_->EnumKey(*key, 2, &name, 512), kErrorNoMoreItems);
  // An ANSI name goes back to the registry's own text.
  EXPECT_EQ(ansi_->OpenKey(RootKey::kCurrentUser, "Identities\\CAF\xc9", &key), kErrorSuccess);
  EXPECT_EQ(ansi_->OpenKey(RootKey::kCurrentUser, "Nothing", &key), kErrorFileNotFound);
}

TEST_F(AnsiRegistryTest, ExpandsWithTheSourceEnvironment) {
  std::string profile = source_->environment().GetOr("USERPROFILE");
  ASSERT_FALSE(profile.empty());
  EXPECT_EQ(ansi_->ExpandEnvironmentStrings("%USERPROFILE%\\x"), cp_->FromUtf8(profile) + "\\x");
  EXPECT_EQ(ansi_->ExpandEnvironmentStrings("%UNKNOWN%"), "%UNKNOWN%");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) setenv(name, value, 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1); else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(SelectionTest, ParsesTheRegistrySpec) {
  RegistrySelection s;
  ASSERT_TRUE(ParseRegistrySpec("wine:/srv/prefix", &s).ok());
  EXPECT_EQ(s.kind, RegistrySelection::Kind::kWinePrefix);
  EXPECT_EQ(s.path, "/srv/prefix");
  ASSERT_TRUE(ParseRegistrySpec("hive:/old/NTUSER.DAT,/old/SOFTWARE", &s).ok());
  EXPECT_EQ(s.kind, RegistrySelection::Kind::kHive);
  EXPECT_EQ(s.path, "/old/NTUSER.DAT");
  EXPECT_EQ(s.software_hive, "/old/SOFTWARE");
  EXPECT_EQ(s.ToSpec(), "hive:/old/NTUSER.DAT,/old/SOFTWARE");
  ASSERT_TRUE(ParseRegistrySpec("hive:/old/NTUSER.DAT", &s).ok());
  EXPECT_EQ(s.software_hive, "");
  EXPECT_EQ(ParseRegistrySpec("hive:", &s).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(ParseRegistrySpec("wine:", &s).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(ParseRegistrySpec("registry.pol", &s).code(), Status::Code::kInvalidArgument);
}

TEST(SelectionTest, EnvironmentChoosesSourceAndCodePage) {
  {
    ScopedEnv reg("KESTREL_REGISTRY", nullptr);
    ScopedEnv prefix("WINEPREFIX", "/tmp/some-prefix");
    ScopedEnv cp("KESTREL_CODEPAGE", "CP1251");
    RegistrySelection s;
    ASSERT_TRUE(SelectionFromEnvironment(&s).ok());
    EXPECT_EQ(s.ToSpec(), "wine:/tmp/some-prefix");
    EXPECT_EQ(s.code_page, "CP1251");
  }
  {
    ScopedEnv reg("KESTREL_REGISTRY", nullptr);
    ScopedEnv prefix("WINEPREFIX", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv cp("KESTREL_CODEPAGE", nullptr);
    RegistrySelection s;
    ASSERT_TRUE(SelectionFromEnvironment(&s).ok());
    EXPECT_EQ(s.ToSpec(), "wine:/home/someone/.wine");
    EXPECT_EQ(s.code_page, "WINDOWS-1252");
  }
  {
    ScopedEnv reg("KESTREL_REGISTRY", "hive:/x/NTUSER.DAT");
    RegistrySelection s;
    ASSERT_TRUE(SelectionFromEnvironment(&s).ok());
    EXPECT_EQ(s.kind, RegistrySelection::Kind::kHive);
  }
  {
    ScopedEnv reg("KESTREL_REGISTRY", "bogus");
    RegistrySelection s;
    Status status = SelectionFromEnvironment(&s);
    EXPECT_EQ(status.code(), Status::Code::kInvalidArgument);
    EXPECT_NE(status.message().find("KESTREL_REGISTRY"), std::string::npos);
  }
}

TEST(SelectionTest, OpensTheChosenSource) {
  TempDir dir;
  registry_test::WriteWinePrefix(TestRegistry(), dir.path());
  RegistrySelection s;
  s.path = dir.path();
  std::unique_ptr<RegistrySource> source;
  ASSERT_TRUE(OpenRegistrySource(s, &source).ok());
  EXPECT_NE(source->Describe().find(dir.path()), std::string::npos);
  s.kind = RegistrySelection::Kind::kHive;
  s.path = dir.path() + "/user.reg";  // a text file is not a hive
  EXPECT_FALSE(OpenRegistrySource(s, &source).ok());
}

}  // namespace
}  // namespace registry
