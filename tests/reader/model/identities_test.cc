// OE's identities: the snapshot taken from discovery, DefaultUser and
// DefaultStore, the identity collection's keys, and OpenStore's fall-back to
// the default identity's store folder.

#include <gtest/gtest.h>

#include "reader/model/component.h"
#include "reader/model/oe.h"
#include "tests/reader/model/model_test_support.h"

namespace kestrel::testing {
namespace {

IdentityRecord Identity(const std::string& name, const std::string& store) {
  IdentityRecord r;
  r.identity_id = "{" + name + "}";
  r.key = r.user_name = name;
  r.store_path = store;
  r.version_number = "6.0.2900.5512";
  return r;
}

class IdentitiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetThreadState();
    baseline_ = LiveObjects();
  }
  void TearDown() override {
    ResetThreadState();
    EXPECT_EQ(LiveObjects(), baseline_);
  }
  long baseline_ = 0;
};

TEST_F(IdentitiesTest, SnapshotKeysAndDefaultStore) {
  DiscoveryResult discovery;
  discovery.identities.push_back(Identity("Main Identity", "C:\\Main"));
  IdentityRecord second = Identity("Anna", "C:\\Anna");
  second.oe_running = true;
  second.migration_done = true;
  discovery.identities.push_back(second);
  discovery.default_user = "Anna";
  discovery.default_identity = second;
  discovery.default_identity_seen = true;
  ComPtr<_OE> oe = ComPtr<_OE>::Attach(new OE(discovery));

  BSTR text = nullptr;
  oe->get_DefaultUser(&text);
  EXPECT_EQ(Take(text), "Anna");
  ASSERT_EQ(oe->get_DefaultStore(&text), S_OK);
  EXPECT_EQ(Take(text), "C:\\Anna");

  ComPtr<_OEIdentities> identities;
  oe->get_OEIdentities(identities.Out());
  LONG count = 0;
  identities->get_Count(&count);
  EXPECT_EQ(count, 2);
  ComPtr<_OEIdentity> anna;
  ASSERT_EQ(identities->get_Item(Variant::String("ANNA").get(), anna.Out()), S_OK);
  VARIANT_BOOL flag = 0;
  anna->get_OERunning(&flag);
  EXPECT_EQ(flag, VARIANT_TRUE);
  anna->get_BackgroundCompact(&flag);
  EXPECT_EQ(flag, VARIANT_FALSE);
  ComPtr<_OEIdentity> first;
  ASSERT_EQ(identities->get_Item(Variant::Long(1).get(), first.Out()), S_OK);
  first->get_UserName(&text);
  EXPECT_EQ(Take(text), "Main Identity");
  // The Key property is free for the client; the collection key stays.
  Bstr renamed("Renamed");
  first->put_Key(renamed.get());
  first->get_Key(&text);
  EXPECT_EQ(Take(text), "Renamed");
  ComPtr<_OEIdentity> again;
  ASSERT_EQ(identities->get_Item(Variant::String("main identity").get(), again.Out()), S_OK);
  EXPECT_EQ(again.get(), first.get());

  // A client's own Add of an existing key, in other case, fails with 457.
  BSTR key = SysAllocString(u"ANNA");
  ComPtr<_OEIdentity> added;
  const HRESULT hr = identities->Add(&key, nullptr, &key, nullptr, nullptr, &key, &key, added.Out());
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  EXPECT_EQ(error.number, 457);
  EXPECT_EQ(error.source, "OEIdentities.Add");
  EXPECT_FALSE(added);
  SysFreeString(key);
  identities->get_Count(&count);
  EXPECT_EQ(count, 2);  // unchanged
}

TEST_F(IdentitiesTest, NoIdentitiesMeansNoDefaultStore) {
  DiscoveryResult discovery;
  discovery.default_user = "{00000000-0000-0000-0000-000000000000}";  // key not found
  ComPtr<_OE> oe = ComPtr<_OE>::Attach(new OE(discovery));
  BSTR text = nullptr;
  oe->get_DefaultUser(&text);
  EXPECT_EQ(Take(text), "{00000000-0000-0000-0000-000000000000}");
  const HRESULT hr = oe->get_DefaultStore(&text);
  EXPECT_EQ(tollan::com::TakeError(hr).number, 5);
  // OpenStore has no store directory to fall back on.
  LONG result = -1;
  ASSERT_EQ(oe->OpenStore(nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(result, 1000);
}

TEST_F(IdentitiesTest, DefaultStoreIsTheDefaultIdentitysOwnEvenWhenItsNameRepeats) {
  // Two identities named alike: the collection keeps the first, but the
  // default identity is the second, and its store is the one to convert.
  DiscoveryResult discovery;
  discovery.identities.push_back(Identity("Mail", "C:\\First"));
  IdentityRecord second = Identity("Mail", "C:\\Second");
  second.identity_id = "{Second}";
  discovery.default_user = "Mail";
  discovery.default_identity = second;
  discovery.default_identity_seen = true;
  ComPtr<_OE> oe = ComPtr<_OE>::Attach(new OE(discovery));
  BSTR text = nullptr;
  ASSERT_EQ(oe->get_DefaultStore(&text), S_OK);
  EXPECT_EQ(Take(text), "C:\\Second");
}

TEST_F(IdentitiesTest, OpenStoreFallsBackToTheDefaultIdentitysStore) {
  DiscoveryResult discovery;
  IdentityRecord main = Identity("Main Identity", "C:\\Documents and Settings\\u\\Store");
  main.store_host_path = kRealStore;  // where discovery found it on this machine
  discovery.identities.push_back(main);
  discovery.default_user = "Main Identity";
  discovery.default_identity = main;
  discovery.default_identity_seen = true;
  ComPtr<_OE> oe = ComPtr<_OE>::Attach(new OE(discovery));
  LONG result = -1;
  ASSERT_EQ(oe->OpenStore(nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);
  BSTR store = nullptr;
  oe->get_OEStore(&store);
  EXPECT_EQ(Take(store), kRealStore + "\\");
  ComPtr<_OEFolders> folders;
  oe->get_OEFolders(folders.Out());
  LONG count = 0;
  folders->get_Count(&count);
  EXPECT_EQ(count, 8);
}

}  // namespace
}  // namespace kestrel::testing
