// Tests of the identities report and of the options that choose its registry.
#include "reader/model/discovery/print_identities.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "tests/platform/registry/registry_test_util.h"

namespace kestrel {
namespace {

using registry_test::Dword;
using registry_test::ExpandSz;
using registry_test::Sz;
using registry_test::TempDir;
using registry_test::TestRegistry;

TestRegistry SampleRegistry() {
  TestRegistry reg;
  reg.Machine("Software\\Microsoft\\Outlook Express", {Sz("MediaVer", "6,0,2900,5512")});
  reg.User("Identities", {Sz("Default User ID", "{A}")});
  reg.User("Identities\\{A}", {Sz("UserName", "Main Identity")});
  reg.User("Identities\\{A}\\Software\\Microsoft\\Outlook Express\\5.0",
           {ExpandSz("Store Root", "%USERPROFILE%\\Mail"), Dword("Running", 1)});
  reg.User("Identities\\{B}", {Sz("Other", "x")});
  return reg;
}

TEST(PrintIdentitiesTest, ReportsAWinePrefix) {
  TempDir dir;
  TestRegistry reg = SampleRegistry();
  reg.User("Volatile Environment", {Sz("USERNAME", "bob"), Sz("USERPROFILE", "C:\\users\\bob")});
  registry_test::WriteWinePrefix(reg, dir.path());
  dir.MakeDir("drive_c/users/bob/mail");
  IdentitiesOptions options;
  options.wine_prefix = dir.path();
  std::ostringstream out, err;
  ASSERT_EQ(RunIdentitiesCommand(options, out, err), 0) << err.str();
  std::string text = out.str();
  EXPECT_NE(text.find("Registry:        Wine prefix " + dir.path()), std::string::npos) << text;
  EXPECT_NE(text.find("Outlook Express: 6,0,2900,5512"), std::string::npos) << text;
  EXPECT_NE(text.find("Default user:    Main Identity"), std::string::npos) << text;
  EXPECT_NE(text.find("Default store:   C:\\users\\bob\\Mail"), std::string::npos) << text;
  EXPECT_NE(text.find("on this host:  " + dir.path() + "/drive_c/users/bob/mail"),
            std::string::npos) << text;
  EXPECT_NE(text.find("Identities:      1"), std::string::npos) << text;
  EXPECT_NE(text.find("running: yes, background compaction: no, migration done: no"),
            std::string::npos) << text;
  EXPECT_NE(text.find("skipped {B}: no readable \"UserName\" value"), std::string::npos) << text;
}

TEST(PrintIdentitiesTest, ReportsHivesAndMissingDefaults) {
  TempDir dir;
  TestRegistry reg;
  reg.User("Software");
  std::string profile = dir.MakeDir("bob");
  ASSERT_EQ(registry_test::BuildHives(reg, profile + "/NTUSER.DAT", ""), "");
  IdentitiesOptions options;
  options.hive = profile + "/NTUSER.DAT";
  std::ostringstream out, err;
  ASSERT_EQ(RunIdentitiesCommand(options, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("registry hive " + profile + "/NTUSER.DAT"), std::string::npos);
  EXPECT_NE(out.str().find("Default store:   (none: no usable default identity)"),
            std::string::npos);
  EXPECT_NE(out.str().find("Identities:      none (no Identities key)"), std::string::npos);
}

TEST(PrintIdentitiesTest, BadOptionsAndUnreadableRegistriesFail) {
  TempDir dir;
  std::ostringstream out, err;
  IdentitiesOptions both;
  both.wine_prefix = dir.path();
  both.hive = dir.path() + "/NTUSER.DAT";
  EXPECT_EQ(RunIdentitiesCommand(both, out, err), 2);
  EXPECT_NE(err.str().find("exclude"), std::string::npos);

  IdentitiesOptions software_only;
  software_only.software_hive = dir.path() + "/SOFTWARE";
  EXPECT_EQ(RunIdentitiesCommand(software_only, out, err), 2);

  IdentitiesOptions missing;
  missing.wine_prefix = dir.path() + "/no-prefix";
  err.str("");
  EXPECT_EQ(RunIdentitiesCommand(missing, out, err), 1);
  EXPECT_NE(err.str().find("no-prefix"), std::string::npos);

  IdentitiesOptions bad_code_page;
  bad_code_page.wine_prefix = dir.path();
  bad_code_page.code_page = "NOT-A-CODEPAGE";
  EXPECT_EQ(RunIdentitiesCommand(bad_code_page, out, err), 1);
}

TEST(PrintIdentitiesTest, OptionsMapToTheRegistrySelection) {
  registry::RegistrySelection s;
  IdentitiesOptions options;
  options.hive = "/old/NTUSER.DAT";
  options.software_hive = "/old/SOFTWARE";
  options.code_page = "CP1250";
  ASSERT_TRUE(SelectionFromOptions(options, &s).ok());
  EXPECT_EQ(s.ToSpec(), "hive:/old/NTUSER.DAT,/old/SOFTWARE");
  EXPECT_EQ(s.code_page, "CP1250");

  const char* old = getenv("KESTREL_REGISTRY");
  std::string saved = old != nullptr ? old : "";
  setenv("KESTREL_REGISTRY", "wine:/from/env", 1);
  ASSERT_TRUE(SelectionFromOptions(IdentitiesOptions(), &s).ok());
  EXPECT_EQ(s.ToSpec(), "wine:/from/env");
  if (old != nullptr) setenv("KESTREL_REGISTRY", saved.c_str(), 1); else unsetenv("KESTREL_REGISTRY");
}

}  // namespace
}  // namespace kestrel
