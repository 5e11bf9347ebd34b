// The in-process server as a client sees it: libkestrel registered in a
// private registration file, objects created by class identity and by
// programmatic identifier through the COM layer, reference counts, errors
// crossing the library boundary, DllCanUnloadNow, and unregistration.
// This test links only the COM layer, never the object model.

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"
#include "platform/com/guid.h"
#include "platform/com/registration.h"
#include "reader/model/guids.h"
#include "reader/model/interfaces.h"

namespace {

using tollan::com::Bstr;
using tollan::com::ComPtr;
using tollan::com::Variant;

const std::string kRealStore = TOLLAN_SHARED_DIR "/fixtures/real-store";

using EntryPoint = HRESULT(COMCALL*)();

class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    handle_ = dlopen(KESTREL_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void SetUp() override {
    dir_ = std::filesystem::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("server_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    file_ = (dir_ / "registrations.ini").string();
    setenv("KESTREL_REGISTRATIONS", file_.c_str(), 1);
    ASSERT_EQ(Entry("DllRegisterServer")(), S_OK);
  }
  void TearDown() override {
    unsetenv("KESTREL_REGISTRATIONS");
    std::filesystem::remove_all(dir_);
  }
  static EntryPoint Entry(const char* name) {
    return reinterpret_cast<EntryPoint>(dlsym(handle_, name));
  }

  ComPtr<_OE> CreateOE() {
    ComPtr<_OE> oe;
    EXPECT_EQ(CoCreateInstance(kestrel::CLSID_OE, nullptr, CLSCTX_INPROC_SERVER, kestrel::IID__OE,
                               oe.OutVoid()),
              S_OK);
    return oe;
  }

  static void* handle_;
  std::filesystem::path dir_;
  std::string file_;
};

void* ServerTest::handle_ = nullptr;

TEST_F(ServerTest, RegistrationRecordsTheCreatableClasses) {
  tollan::com::RegistrationDatabase db;
  std::string error;
  ASSERT_TRUE(db.Load(file_, &error)) << error;
  ASSERT_EQ(db.classes().size(), 3u);
  const std::string library = std::filesystem::canonical(KESTREL_SERVER_PATH).string();
  for (const char* prog_id : {"Kestrel.OE", "Kestrel.OEFolder", "Kestrel.OEMessage"}) {
    const auto* entry = db.FindProgId(prog_id);
    ASSERT_NE(entry, nullptr) << prog_id;
    EXPECT_EQ(entry->server_path, library);
    EXPECT_EQ(tollan::com::GuidToString(entry->type_library), "{808A5547-B7B3-46D2-99E0-22A293E3F95A}");
  }
  EXPECT_EQ(tollan::com::GuidToString(db.FindProgId("Kestrel.OE")->clsid),
            "{91644F96-87A2-40F2-93FA-F18579B86EB4}");
  EXPECT_EQ(tollan::com::GuidToString(db.FindProgId("Kestrel.OEFolder")->clsid),
            "{0AAA3024-F698-4617-B048-BF00274E7CE4}");
  EXPECT_EQ(tollan::com::GuidToString(db.FindProgId("Kestrel.OEMessage")->clsid),
            "{EF01A6F9-3CA1-4653-A9A9-1DEF09C2CC0D}");
  const auto* library_entry = db.FindTypeLibrary(kestrel::LIBID_Kestrel);
  ASSERT_NE(library_entry, nullptr);
  EXPECT_EQ(library_entry->version, "2.0");
  EXPECT_EQ(library_entry->help_string, "Outlook Express - access folders and messages");
  // Registering twice leaves one entry per class.
  ASSERT_EQ(Entry("DllRegisterServer")(), S_OK);
  ASSERT_TRUE(db.Load(file_, &error));
  EXPECT_EQ(db.classes().size(), 3u);
}

TEST_F(ServerTest, OECreatedByClassIdentityReadsTheStore) {
  ComPtr<_OE> oe = CreateOE();
  ASSERT_TRUE(oe);
  EXPECT_EQ(oe->AddRef(), 2u);
  EXPECT_EQ(oe->Release(), 1u);
  EXPECT_EQ(Entry("DllCanUnloadNow")(), S_FALSE);

  Bstr dir(kRealStore.c_str());
  BSTR raw = dir.get();
  ASSERT_EQ(oe->put_OEStore(&raw), S_OK);
  LONG result = -1;
  ASSERT_EQ(oe->OpenStore(nullptr, nullptr, &result), S_OK);
  ASSERT_EQ(result, 0);
  ComPtr<_OEFolders> folders;
  ASSERT_EQ(oe->get_OEFolders(folders.Out()), S_OK);
  ComPtr<_OEFolder> inbox;
  ASSERT_EQ(folders->get_Item(Variant::String("Inbox").get(), inbox.Out()), S_OK);
  ASSERT_TRUE(inbox);
  ASSERT_EQ(inbox->OpenFolder(nullptr, &result), S_OK);
  ASSERT_EQ(result, 0);
  ComPtr<_OEMessages> messages;
  inbox->get_OEMessages(messages.Out());
  LONG first = 1;
  ComPtr<_OEMessage> message;
  ASSERT_EQ(messages->get_Item(&first, message.Out()), S_OK);
  ComPtr<_OEMsgSegments> segments;
  ASSERT_EQ(message->get_OEMsgSegments(segments.Out()), S_OK);
  LONG count = 0;
  segments->get_Count(&count);
  size_t total = 0;
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<_OEMsgSegment> segment;
    ASSERT_EQ(segments->get_Item(Variant::Long(i).get(), segment.Out()), S_OK);
    BSTR text = nullptr;
    segment->get_msgText(&text);
    total += SysStringLen(text);
    SysFreeString(text);
  }
  EXPECT_EQ(total, 10139u);

  // An error inside the library reaches this client's error object.
  ComPtr<_OEMsgSegment> bad;
  const HRESULT hr = segments->get_Item(Variant::Long(count + 1).get(), bad.Out());
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  EXPECT_EQ(error.number, 9);
  EXPECT_EQ(error.source, "OEMsgSegments.Item");

  // The folder outlives OE and its collection.
  oe.Reset();
  folders.Reset();
  BSTR name = nullptr;
  ASSERT_EQ(inbox->get_FolderName(&name), S_OK);
  EXPECT_EQ(tollan::com::BstrView(name), u"Inbox");
  SysFreeString(name);
  inbox->CloseFolder();

  inbox.Reset();
  messages.Reset();
  message.Reset();
  segments.Reset();
  EXPECT_EQ(Entry("DllCanUnloadNow")(), S_OK);  // nothing outstanding
}

TEST_F(ServerTest, CreationByProgrammaticIdentifier) {
  ComPtr<IDispatch> folder;
  ASSERT_EQ(tollan::com::CreateObject("kestrel.oefolder", IID_IDispatch, folder.OutVoid()), S_OK);
  ComPtr<_OEFolder> typed = folder.As<_OEFolder>(kestrel::IID__OEFolder);
  ASSERT_TRUE(typed);
  BSTR source = nullptr;
  typed->get_SourceType(&source);
  EXPECT_EQ(tollan::com::BstrView(source), u"News");
  SysFreeString(source);

  ComPtr<_OEMessage> message;
  ASSERT_EQ(tollan::com::CreateObject("Kestrel.OEMessage", kestrel::IID__OEMessage, message.OutVoid()),
            S_OK);
  BSTR subject = nullptr;
  message->get_Subject(&subject);
  EXPECT_EQ(SysStringLen(subject), 0u);
  SysFreeString(subject);

  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"Kestrel.OE", &clsid), S_OK);
  EXPECT_TRUE(clsid == kestrel::CLSID_OE);
  // Collections and items that only members hand out are not creatable.
  ComPtr<IUnknown> none;
  EXPECT_EQ(tollan::com::CreateObject("Kestrel.OEFolders", IID_IUnknown, none.OutVoid()),
            CO_E_CLASSSTRING);
  tollan::com::TakeError(CO_E_CLASSSTRING);
  IClassFactory* factory = nullptr;
  using GetClassObject = HRESULT(COMCALL*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(dlsym(handle_, "DllGetClassObject"));
  EXPECT_EQ(get(kestrel::CLSID_OEFolders, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ServerTest, LockServerKeepsTheLibraryLoaded) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(kestrel::CLSID_OE, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.OutVoid()),
            S_OK);
  ComPtr<IUnknown> aggregate;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                    aggregate.OutVoid()),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->LockServer(1), S_OK);
  factory.Reset();
  EXPECT_EQ(Entry("DllCanUnloadNow")(), S_FALSE);
  ASSERT_EQ(CoGetClassObject(kestrel::CLSID_OE, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.OutVoid()),
            S_OK);
  factory->LockServer(0);
  factory.Reset();
  EXPECT_EQ(Entry("DllCanUnloadNow")(), S_OK);
}

// Without an isolated file, a class is looked up per user, then in each
// system-wide folder, then in the server shipped with the program.
TEST_F(ServerTest, LookupGoesUserThenSystemThenTheShippedServer) {
  ASSERT_EQ(Entry("DllUnregisterServer")(), S_OK);
  const std::string system_file = (dir_ / "xdg-b" / "kestrel" / "registrations.ini").string();
  ASSERT_EQ(Entry("DllRegisterServer")(), S_OK);  // into the isolated file, copied below
  std::filesystem::create_directories(dir_ / "xdg-b" / "kestrel");
  std::filesystem::copy_file(file_, system_file);
  unsetenv("KESTREL_REGISTRATIONS");
  setenv("XDG_CONFIG_HOME", (dir_ / "user").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", ((dir_ / "xdg-a").string() + ":relative:" + (dir_ / "xdg-b").string()).c_str(), 1);
  const std::vector<std::string> expected = {(dir_ / "user/kestrel/registrations.ini").string(),
                                             (dir_ / "xdg-a/kestrel/registrations.ini").string(),
                                             system_file};
  EXPECT_EQ(tollan::com::RegistrationSearchPath(), expected);
  EXPECT_TRUE(CreateOE());  // from the system-wide file

  // A per-user entry comes first: here it names a library that is gone.
  tollan::com::RegistrationDatabase user;
  std::string error;
  ASSERT_TRUE(user.Load(system_file, &error)) << error;
  tollan::com::ClassRegistration moved = *user.FindClass(kestrel::CLSID_OE);
  moved.server_path = (dir_ / "gone.so").string();
  user.PutClass(moved);
  ASSERT_TRUE(user.Save(expected[0], &error)) << error;
  ComPtr<_OE> oe;
  EXPECT_EQ(CoCreateInstance(kestrel::CLSID_OE, nullptr, CLSCTX_INPROC_SERVER, kestrel::IID__OE,
                             oe.OutVoid()),
            CO_E_DLLNOTFOUND);
  EXPECT_NE(tollan::com::TakeError(CO_E_DLLNOTFOUND).description.find("gone.so"), std::string::npos);

  // No registration anywhere: the build's own server library serves the class.
  std::filesystem::remove(expected[0]);
  std::filesystem::remove(system_file);
  ASSERT_EQ(tollan::com::BundledServerPaths().size(), 1u);
  EXPECT_EQ(tollan::com::BundledServerPaths()[0], std::filesystem::canonical(KESTREL_SERVER_PATH).string());
  EXPECT_TRUE(CreateOE());
  GUID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  ComPtr<IUnknown> none;
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, none.OutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_NE(tollan::com::TakeError(REGDB_E_CLASSNOTREG).description.find("xdg-a"), std::string::npos);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CONFIG_DIRS");
}

TEST_F(ServerTest, UnregisteredClassesCannotBeCreated) {
  ASSERT_EQ(Entry("DllUnregisterServer")(), S_OK);
  ComPtr<_OE> oe;
  EXPECT_EQ(CoCreateInstance(kestrel::CLSID_OE, nullptr, CLSCTX_INPROC_SERVER, kestrel::IID__OE,
                             oe.OutVoid()),
            REGDB_E_CLASSNOTREG);
  tollan::com::TakeError(REGDB_E_CLASSNOTREG);
  tollan::com::RegistrationDatabase db;
  std::string error;
  ASSERT_TRUE(db.Load(file_, &error));
  EXPECT_TRUE(db.classes().empty());
  EXPECT_TRUE(db.type_libraries().empty());
  // Unregistering again is no error.
  EXPECT_EQ(Entry("DllUnregisterServer")(), S_OK);
}

}  // namespace
