// The kestrel tool's component subcommands: register/unregister, the
// object-model route of folders and messages (which must print exactly what
// the direct route prints), and the type-library listing.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "reader/model/type_library.h"
#include "reader/model/type_library_listing.h"

namespace {

const std::string kRealStore = TOLLAN_SHARED_DIR "/fixtures/real-store";

struct ToolRun {
  int status = -1;
  std::string out;
};

// Runs the tool with `args`; stdout is captured, stderr appended to it.
ToolRun Kestrel(const std::string& args) {
  ToolRun run;
  const std::string command = std::string(KESTREL_TOOL_PATH) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
  run.status = pclose(pipe);
  return run;
}

class KestrelComToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("kestrel_com_tool_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    setenv("KESTREL_REGISTRATIONS", (dir_ / "registrations.ini").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KESTREL_REGISTRATIONS");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(KestrelComToolTest, ObjectModelRouteMatchesTheDirectRoute) {
  ToolRun reg = Kestrel("register");
  ASSERT_EQ(reg.status, 0) << reg.out;
  EXPECT_NE(reg.out.find("registered"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "registrations.ini"));

  for (const std::string& inactive : {std::string(), std::string(" --inactive")}) {
    ToolRun direct = Kestrel("folders" + inactive + " " + kRealStore);
    ToolRun com = Kestrel("folders --object-model" + inactive + " " + kRealStore);
    ASSERT_EQ(direct.status, 0) << direct.out;
    ASSERT_EQ(com.status, 0) << com.out;
    EXPECT_EQ(com.out, direct.out);
  }
  for (const char* file : {"Inbox.dbx", "Outbox.dbx"}) {
    ToolRun direct = Kestrel("messages " + kRealStore + "/" + file);
    ToolRun com = Kestrel("messages --object-model " + kRealStore + "/" + file);
    ASSERT_EQ(com.status, 0) << com.out;
    EXPECT_EQ(com.out, direct.out) << file;
  }
  ToolRun offline = Kestrel("messages --object-model " + kRealStore + "/Offline.dbx");
  EXPECT_NE(offline.status, 0);
  EXPECT_EQ(offline.out.rfind("1002\n", 0), 0u) << offline.out;

  ToolRun unreg = Kestrel("unregister");
  ASSERT_EQ(unreg.status, 0) << unreg.out;
  ToolRun gone = Kestrel("folders --object-model " + kRealStore);
  EXPECT_NE(gone.status, 0);
  EXPECT_NE(gone.out.find("Kestrel.OE is not registered"), std::string::npos) << gone.out;
}

TEST_F(KestrelComToolTest, RegisterRefusesALibraryThatIsNoServer) {
  ToolRun bad = Kestrel("register " + kRealStore + "/Inbox.dbx");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.out.find("cannot load"), std::string::npos) << bad.out;
}

TEST(TypeLibraryListingTest, ToolPrintsTheTableListing) {
  ToolRun run = Kestrel("typelib");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kestrel::FormatTypeLibrary(kestrel::KestrelLibrary()));
  // A few lines as a client reads them.
  EXPECT_NE(run.out.find("coclass OEMsgSegment {A6D8D932-A9DF-4518-9841-98FF2F284CC4}\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("  also answers {580B701E-2A74-4053-AAD2-AD62891DA041}\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("    7 method OpenFolder 0x60030010 (Optional ByRef bLock As Boolean = "
                         "False) As Long\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("    3 get NewEnum -4 hidden () As IUnknown\n"), std::string::npos);
  EXPECT_NE(run.out.find("6 get ChildOf 0x68030009 () As String helpstring \"If the folder is a "
                         "subfolder, names the parent folder\\r\\n\""),
            std::string::npos);
  EXPECT_NE(run.out.find("1 method Add 0x60030001 (ByRef Key As String, ByRef OERunning As "
                         "Boolean, ByRef UserName As String, ByRef BackgroundCompact As Boolean, "
                         "ByRef MigrationDone As Boolean, ByRef StorePath As String, ByRef "
                         "VersionNumber As String) As OEIdentity"),
            std::string::npos);
}

TEST(TypeLibraryTest, ClassesMembersAndIdentitiesAreConsistent) {
  const kestrel::LibraryInfo& library = kestrel::KestrelLibrary();
  ASSERT_EQ(library.classes.size(), 9u);
  int creatable = 0;
  for (const kestrel::ClassInfo& c : library.classes) {
    creatable += c.creatable;
    EXPECT_EQ(kestrel::FindClassByName(c.name), &c);
    for (size_t i = 0; i < c.members.size(); ++i) {
      // Positions run 1, 2, 3... in interface order.
      EXPECT_EQ(c.members[i].position, static_cast<int>(i) + 1) << c.name;
      // A get and a let may share a DISPID; two members of one kind never do.
      for (size_t j = i + 1; j < c.members.size(); ++j) {
        if (c.members[i].dispid == c.members[j].dispid) {
          EXPECT_NE(c.members[i].kind, c.members[j].kind) << c.name << "." << c.members[i].name;
        }
      }
    }
  }
  EXPECT_EQ(creatable, 3);
  EXPECT_EQ(kestrel::ClassOf(kestrel::ClassId::kOEMessage).members.size(), 27u);
  EXPECT_EQ(kestrel::ClassOf(kestrel::ClassId::kOEFolder).members.size(), 16u);
  EXPECT_EQ(kestrel::FindClassByName("oemsgsegments")->name, std::string("OEMsgSegments"));
  EXPECT_EQ(kestrel::FindClassByName("OEThing"), nullptr);
}

}  // namespace
