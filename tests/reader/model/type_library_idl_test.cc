// The IDL that widl compiles into kestrel.dll against the type table.
#include "reader/model/type_library_idl.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace kestrel {
namespace {

TEST(TypeLibraryIdl, CheckedInFileIsWhatTheTableWrites) {
  std::ifstream in(TOLLAN_SOURCE_DIR "/reader/model/kestrel.idl", std::ios::binary);
  ASSERT_TRUE(in) << "reader/model/kestrel.idl is missing";
  std::stringstream file;
  file << in.rdbuf();
  // On a difference: kestrel typelib --idl > reader/model/kestrel.idl
  EXPECT_EQ(file.str(), FormatIdl(KestrelLibrary()));
}

TEST(TypeLibraryIdl, MembersCarryPassingDefaultsAndEscapedHelp) {
  const std::string idl = FormatIdl(KestrelLibrary());
  EXPECT_NE(idl.find("HRESULT OpenFolder([in, out] BSTR* sFoldername, [in, out, optional, "
                     "defaultvalue(-1)] VARIANT_BOOL* bLock, [out, retval] long* retval);"),
            std::string::npos);
  EXPECT_NE(idl.find("HRESULT Key([in] BSTR value);"), std::string::npos);
  EXPECT_NE(idl.find("[id(-4), propget, hidden]\n        HRESULT NewEnum([out, retval] "
                     "IUnknown** retval);"),
            std::string::npos);
  EXPECT_NE(idl.find("(i.e. less any \\\"Re:\\\" for replies etc..)"), std::string::npos);
  EXPECT_NE(idl.find("names the parent folder\\r\\n\")"), std::string::npos);
  EXPECT_NE(idl.find("uuid(0AAA3024-F698-4617-B048-BF00274E7CE4),\n        helpstring("),
            std::string::npos);
  EXPECT_NE(idl.find("coclass OEFolders\n"), std::string::npos);
  EXPECT_NE(idl.find("noncreatable\n    ]\n    coclass OEFolders"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
