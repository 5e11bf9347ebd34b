// The registration file: parsing, writing, replacing, and its location.

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/com/guid.h"
#include "platform/com/registration.h"

namespace tollan::com {
namespace {

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("registration_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    file_ = (dir_ / "sub" / "registrations.ini").string();
    setenv("KESTREL_REGISTRATIONS", file_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KESTREL_REGISTRATIONS");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  std::string file_;
};

ClassRegistration SampleClass() {
  ClassRegistration c;
  GuidFromString("{91644F96-87A2-40F2-93FA-F18579B86EB4}", &c.clsid);
  c.name = "OE";
  c.prog_id = "Kestrel.OE";
  c.server_path = "/opt/lib/libkestrel.so";
  c.threading_model = "Apartment";
  GuidFromString("{808A5547-B7B3-46D2-99E0-22A293E3F95A}", &c.type_library);
  return c;
}

TEST_F(RegistrationTest, LocationFollowsTheEnvironment) {
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  EXPECT_EQ(RegistrationFilePath(), file_);
  unsetenv("KESTREL_REGISTRATIONS");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RegistrationFilePath(), "/cfg/kestrel/registrations.ini");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(RegistrationFilePath(), "/home/u/.config/kestrel/registrations.ini");
  setenv("HOME", saved_home.c_str(), 1);
}

TEST_F(RegistrationTest, SaveLoadRoundTripAndReplace) {
  RegistrationDatabase db;
  std::string error;
  ASSERT_TRUE(db.Load(file_, &error)) << error;  // missing file: empty
  EXPECT_TRUE(db.classes().empty());
  db.PutClass(SampleClass());
  ClassRegistration replaced = SampleClass();
  replaced.server_path = "/new/libkestrel.so";
  db.PutClass(replaced);  // same identity: replaces
  ASSERT_EQ(db.classes().size(), 1u);
  ASSERT_TRUE(db.Save(file_, &error)) << error;

  RegistrationDatabase again;
  ASSERT_TRUE(again.Load(file_, &error)) << error;
  const ClassRegistration* found = again.FindProgId("kestrel.oe");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->server_path, "/new/libkestrel.so");
  EXPECT_EQ(found->threading_model, "Apartment");
  EXPECT_EQ(GuidToString(found->type_library), "{808A5547-B7B3-46D2-99E0-22A293E3F95A}");
  EXPECT_TRUE(again.RemoveClass(found->clsid));
  EXPECT_FALSE(again.RemoveClass(SampleClass().clsid));
}

TEST_F(RegistrationTest, MalformedTextIsRejectedWithItsLine) {
  RegistrationDatabase db;
  db.PutClass(SampleClass());
  std::string error;
  EXPECT_FALSE(db.Parse("[Class {nonsense}]\n", &error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
  EXPECT_FALSE(db.Parse("# c\nName=x\n", &error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(db.Parse("[Class {91644F96-87A2-40F2-93FA-F18579B86EB4}\n", &error));
  EXPECT_FALSE(db.Parse("[Other {91644F96-87A2-40F2-93FA-F18579B86EB4}]\n", &error));
  EXPECT_EQ(db.classes().size(), 1u);  // unchanged by the failures
}

TEST_F(RegistrationTest, ActivationReportsWhatIsMissing) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"Kestrel.Nothing", &clsid), CO_E_CLASSSTRING);
  ErrorRecord record = TakeError(CO_E_CLASSSTRING);
  EXPECT_NE(record.description.find("Kestrel.Nothing"), std::string::npos);

  RegistrationDatabase db;
  ClassRegistration entry = SampleClass();
  entry.server_path = (dir_ / "missing.so").string();
  db.PutClass(entry);
  std::string error;
  ASSERT_TRUE(db.Save(file_, &error)) << error;
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(entry.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(object, nullptr);
  record = TakeError(CO_E_DLLNOTFOUND);
  EXPECT_NE(record.description.find("missing.so"), std::string::npos);

  GUID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  TakeError(REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace tollan::com
