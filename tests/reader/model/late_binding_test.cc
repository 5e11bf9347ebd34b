// The object model called late-bound, through GetIDsOfNames and Invoke
// only: every member of every class by name, by-reference parameters that
// the member changes, optional parameters left out, named arguments, and
// error numbers surfacing in EXCEPINFO.

#include <gtest/gtest.h>

#include "platform/text/utf.h"
#include "reader/model/component.h"
#include "reader/model/oe.h"
#include "reader/model/type_library.h"
#include "tests/reader/model/model_test_support.h"

namespace kestrel::testing {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;

class LateBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetThreadState();
    baseline_ = LiveObjects();
    DiscoveryResult discovery;
    IdentityRecord main;
    main.key = main.user_name = "Main Identity";
    main.store_path = "C:\\Store";
    main.version_number = "6.0.2900.5512";
    discovery.identities.push_back(main);
    discovery.default_user = "Main Identity";
    discovery.default_identity = main;
    discovery.default_identity_seen = true;
    oe_ = ComPtr<IDispatch>::Attach(new OE(discovery));
  }
  void TearDown() override {
    oe_.Reset();
    ResetThreadState();
    EXPECT_EQ(LiveObjects(), baseline_);
  }

  // Sets OEStore to the real store and opens it, late-bound.
  void OpenRealStore() {
    Bstr dir(kRealStore.c_str());
    Call put = Invoke(oe_.get(), "oestore", kPut, {Value(dir.get())});
    ASSERT_EQ(put.hr, S_OK);
    Call open = Invoke(oe_.get(), "OpenStore", kMethod);
    ASSERT_EQ(open.hr, S_OK);
    ASSERT_EQ(open.result.vt(), VT_I4);
    ASSERT_EQ(open.result.get()->lVal, 0);
  }
  ComPtr<IDispatch> Get(IDispatch* object, const std::string& name, std::vector<VARIANT> args = {}) {
    Call call = Invoke(object, name, kGet, std::move(args));
    EXPECT_EQ(call.hr, S_OK) << name << ": " << call.description;
    return ObjectOf<IDispatch>(call, IID_IDispatch);
  }

  // Reads every parameterless get member of `info` on `object` and checks
  // that it answers with a value of its declared type.
  void ReadEveryProperty(IDispatch* object, const ClassInfo& info) {
    for (const MemberInfo& m : info.members) {
      if (m.kind != MemberKind::kGet || !m.params.empty()) continue;
      Call call = Invoke(object, m.name, kGet);
      ASSERT_EQ(call.hr, S_OK) << info.name << "." << m.name << ": " << call.description;
      EXPECT_EQ(call.result.vt(), VariantTypeOf(m.result)) << info.name << "." << m.name;
    }
  }

  long baseline_ = 0;
  ComPtr<IDispatch> oe_;
};

TEST_F(LateBindingTest, NamesResolveWithoutRegardToCase) {
  for (const char* name : {"OpenStore", "openstore", "OPENSTORE"}) {
    std::u16string wide = text::Utf8ToUtf16(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = 0;
    ASSERT_EQ(oe_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_NEUTRAL, &id), S_OK);
    EXPECT_EQ(id, 0x60030007);
  }
  std::u16string method = u"OpenFolder", param = u"BLOCK", unknown = u"Nothing";
  LPOLESTR names[] = {method.data(), param.data()};
  DISPID ids[2];
  ASSERT_EQ(oe_->GetIDsOfNames(IID_NULL, names, 2, LOCALE_NEUTRAL, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60030006);
  EXPECT_EQ(ids[1], 1);  // bLock is the second parameter
  names[0] = unknown.data();
  EXPECT_EQ(oe_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_NEUTRAL, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

TEST_F(LateBindingTest, EveryMemberOfEveryClassAnswers) {
  OpenRealStore();
  ReadEveryProperty(oe_.get(), ClassOf(ClassId::kOE));

  ComPtr<IDispatch> folders = Get(oe_.get(), "OEFolders");
  ASSERT_TRUE(folders);
  ReadEveryProperty(folders.get(), ClassOf(ClassId::kOEFolders));
  Bstr inbox_name("inbox");
  ComPtr<IDispatch> inbox = Get(folders.get(), "Item", {Value(inbox_name.get())});
  ASSERT_TRUE(inbox);
  ReadEveryProperty(inbox.get(), ClassOf(ClassId::kOEFolder));  // before the open
  Call open = Invoke(inbox.get(), "OpenFolder", kMethod);
  ASSERT_EQ(open.hr, S_OK);
  EXPECT_EQ(open.result.get()->lVal, 0);
  ReadEveryProperty(inbox.get(), ClassOf(ClassId::kOEFolder));
  Call source = Invoke(inbox.get(), "SourceType", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(source.result.get()->bstrVal), "LocalStore");

  ComPtr<IDispatch> messages = Get(inbox.get(), "OEMessages");
  ReadEveryProperty(messages.get(), ClassOf(ClassId::kOEMessages));
  ComPtr<IDispatch> message = Get(messages.get(), "Item", {Value(LONG{1})});
  ASSERT_TRUE(message);
  ReadEveryProperty(message.get(), ClassOf(ClassId::kOEMessage));
  Call subject = Invoke(message.get(), "subject", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(subject.result.get()->bstrVal), "Welcome to Outlook Express 6");
  Call priority = Invoke(message.get(), "MessagePriority", kGet);
  EXPECT_EQ(priority.result.vt(), VT_I2);

  ComPtr<IDispatch> segments = Get(message.get(), "OEMsgSegments");
  ASSERT_TRUE(segments);
  ReadEveryProperty(segments.get(), ClassOf(ClassId::kOEMsgSegments));
  ComPtr<IDispatch> segment = Get(segments.get(), "Item", {Value(LONG{20})});
  ASSERT_TRUE(segment);
  ReadEveryProperty(segment.get(), ClassOf(ClassId::kOEMsgSegment));
  Call length = Invoke(segment.get(), "msgSegmentLen", kGet);
  EXPECT_EQ(length.result.get()->iVal, 10139 - 19 * 512);
  Bstr key("mine");
  ASSERT_EQ(Invoke(segment.get(), "Key", kPut, {Value(key.get())}).hr, S_OK);
  Call read_key = Invoke(segment.get(), "Key", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(read_key.result.get()->bstrVal), "mine");

  ComPtr<IDispatch> identities = Get(oe_.get(), "OEIdentities");
  ReadEveryProperty(identities.get(), ClassOf(ClassId::kOEIdentities));
  ComPtr<IDispatch> identity = Get(identities.get(), "Item", {Value(LONG{1})});
  ASSERT_TRUE(identity);
  ReadEveryProperty(identity.get(), ClassOf(ClassId::kOEIdentity));
  Call user = Invoke(identity.get(), "UserName", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(user.result.get()->bstrVal), "Main Identity");
  ASSERT_EQ(Invoke(identity.get(), "Key", kPut, {Value(key.get())}).hr, S_OK);

  ASSERT_EQ(Invoke(inbox.get(), "CloseFolder", kMethod).hr, S_OK);
  BSTR raw = SysAllocString(u"Outbox.dbx");
  ASSERT_EQ(Invoke(inbox.get(), "FolderFile", kPut, {RefTo(&raw)}).hr, S_OK);
  SysFreeString(raw);
  Call changed = Invoke(inbox.get(), "FolderFile", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(changed.result.get()->bstrVal), "Outbox.dbx");
}

TEST_F(LateBindingTest, DefaultMembersAndEnumerators) {
  OpenRealStore();
  ComPtr<IDispatch> folders = Get(oe_.get(), "OEFolders");
  // DISPID 0 with a property get is Item.
  Bstr name("DRAFTS");
  VARIANT arg = Value(name.get());
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Variant result;
  ASSERT_EQ(folders->Invoke(DISPID_VALUE, IID_NULL, LOCALE_NEUTRAL, kGet, &params, result.get(),
                            nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt(), VT_DISPATCH);
  ASSERT_NE(result.get()->pdispVal, nullptr);
  Call drafts_name = Invoke(result.get()->pdispVal, "FolderName", kGet);
  EXPECT_EQ(tollan::com::Utf8FromBstr(drafts_name.result.get()->bstrVal), "Drafts");

  // DISPID_NEWENUM hands out an enumerator over the same folders.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant enumerator;
  ASSERT_EQ(folders->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_NEUTRAL, kGet, &none,
                            enumerator.get(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(enumerator.vt(), VT_UNKNOWN);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(enumerator.get()->punkVal->QueryInterface(IID_IEnumVARIANT, e.OutVoid()), S_OK);
  int seen = 0;
  VARIANT item;
  while (e->Next(1, &item, nullptr) == S_OK) {
    ++seen;
    VariantClear(&item);
  }
  EXPECT_EQ(seen, 8);

  // The default member of an identity is UserName.
  ComPtr<IDispatch> identities = Get(oe_.get(), "OEIdentities");
  Bstr identity_name("main identity");
  ComPtr<IDispatch> identity = Get(identities.get(), "Item", {Value(identity_name.get())});
  Variant user;
  ASSERT_EQ(identity->Invoke(DISPID_VALUE, IID_NULL, LOCALE_NEUTRAL, kGet, &none, user.get(),
                             nullptr, nullptr),
            S_OK);
  EXPECT_EQ(tollan::com::Utf8FromBstr(user.get()->bstrVal), "Main Identity");
}

TEST_F(LateBindingTest, ByReferenceParametersReceiveTheMembersChanges) {
  Bstr dir(kRealStore.c_str());
  ASSERT_EQ(Invoke(oe_.get(), "OEStore", kPut, {Value(dir.get())}).hr, S_OK);

  // A string variable passed by reference gets ".dbx" appended.
  BSTR name = SysAllocString(u"Inbox");
  Call call = Invoke(oe_.get(), "OpenFolder", kMethod, {RefTo(&name)});
  ASSERT_EQ(call.hr, S_OK) << call.description;
  EXPECT_EQ(call.result.get()->lVal, 0);
  EXPECT_EQ(tollan::com::BstrView(name), u"Inbox.dbx");
  SysFreeString(name);

  // So does a Variant variable holding the string.
  Variant holder = Variant::String("Outbox");
  call = Invoke(oe_.get(), "OpenFolder", kMethod, {RefTo(holder.get())});
  ASSERT_EQ(call.hr, S_OK);
  ASSERT_EQ(holder.vt(), VT_BSTR);
  EXPECT_EQ(tollan::com::BstrView(holder.get()->bstrVal), u"Outbox.dbx");

  // A value passed by value is the member's own copy: the caller's stays.
  Bstr by_value("Inbox");
  call = Invoke(oe_.get(), "OpenFolder", kMethod, {Value(by_value.get())});
  ASSERT_EQ(call.hr, S_OK);
  EXPECT_EQ(by_value.view(), u"Inbox");

  // A missing file reports 1001.
  Bstr missing("NoSuchFolder");
  call = Invoke(oe_.get(), "OpenFolder", kMethod, {Value(missing.get())});
  ASSERT_EQ(call.hr, S_OK);
  EXPECT_EQ(call.result.get()->lVal, 1001);
  Call folders = Invoke(oe_.get(), "OEFolders", kGet);
  EXPECT_EQ(folders.result.vt(), VT_DISPATCH);
  EXPECT_EQ(folders.result.get()->pdispVal, nullptr);  // none
}

TEST_F(LateBindingTest, OptionalAndNamedArguments) {
  Bstr dir(kRealStore.c_str());
  ASSERT_EQ(Invoke(oe_.get(), "OEStore", kPut, {Value(dir.get())}).hr, S_OK);
  // Both parameters omitted, the first given, or given by name.
  EXPECT_EQ(Invoke(oe_.get(), "OpenStore", kMethod).result.get()->lVal, 0);
  EXPECT_EQ(Invoke(oe_.get(), "OpenStore", kMethod, {Value(true)}).result.get()->lVal, 0);
  Call named = Invoke(oe_.get(), "OpenStore", kMethod, {Value(true)}, {"bInactive"});
  ASSERT_EQ(named.hr, S_OK);
  EXPECT_EQ(named.result.get()->lVal, 0);
  Call named_second = Invoke(oe_.get(), "OpenStore", kMethod, {Value(false)}, {"bLock"});
  ASSERT_EQ(named_second.hr, S_OK);
  // A missing argument marked as such is its default too.
  Variant missing = Variant::Missing();
  Call marked = Invoke(oe_.get(), "OpenStore", kMethod, {*missing.get(), Value(false)});
  ASSERT_EQ(marked.hr, S_OK);

  // A required parameter cannot be left out; a text that is no Boolean fails.
  EXPECT_EQ(Invoke(oe_.get(), "OpenFolder", kMethod).hr, DISP_E_PARAMNOTOPTIONAL);
  Bstr junk("maybe");
  Call mismatch = Invoke(oe_.get(), "OpenStore", kMethod, {Value(junk.get())});
  EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(mismatch.arg_error, 0u);
  // Too many arguments, and assigning a read-only property.
  EXPECT_EQ(Invoke(oe_.get(), "OpenStore", kMethod, {Value(true), Value(true), Value(true)}).hr,
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Invoke(oe_.get(), "DefaultUser", kPut, {Value(junk.get())}).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(LateBindingTest, ErrorsSurfaceWithTheirNumbers) {
  OpenRealStore();
  ComPtr<IDispatch> folders = Get(oe_.get(), "OEFolders");
  ComPtr<IDispatch> inbox = Get(folders.get(), "Item", {Value(LONG{4})});
  ASSERT_EQ(Invoke(inbox.get(), "OpenFolder", kMethod).hr, S_OK);
  ComPtr<IDispatch> messages = Get(inbox.get(), "OEMessages");
  // Out-of-range message positions are none, not errors.
  Call none = Invoke(messages.get(), "Item", kGet, {Value(LONG{0})});
  ASSERT_EQ(none.hr, S_OK);
  EXPECT_EQ(none.result.get()->pdispVal, nullptr);
  ComPtr<IDispatch> message = Get(messages.get(), "Item", {Value(LONG{1})});
  ComPtr<IDispatch> segments = Get(message.get(), "OEMsgSegments");
  Call bad = Invoke(segments.get(), "Item", kGet, {Value(LONG{0})});
  EXPECT_EQ(bad.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(bad.error_number, 9);
  EXPECT_EQ(bad.description, "Subscript out of range: position 0 is outside 1 to 20");

  ComPtr<IDispatch> identities = Get(oe_.get(), "OEIdentities");
  Bstr nobody("Nobody");
  Call unknown = Invoke(identities.get(), "Item", kGet, {Value(nobody.get())});
  EXPECT_EQ(unknown.error_number, 5);
  Call beyond = Invoke(identities.get(), "Item", kGet, {Value(LONG{2})});
  EXPECT_EQ(beyond.error_number, 9);

  // A client's own Add of a key already present fails with 457, in any case.
  BSTR key = SysAllocString(u"MAIN IDENTITY");
  BSTR empty = SysAllocString(u"");
  VARIANT_BOOL no = VARIANT_FALSE;
  Call dup = Invoke(identities.get(), "Add", kMethod,
                    {RefTo(&key), RefTo(&no), RefTo(&key), RefTo(&no), RefTo(&no), RefTo(&empty),
                     RefTo(&empty)});
  EXPECT_EQ(dup.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(dup.error_number, 457);
  SysFreeString(key);
  key = SysAllocString(u"Second");
  Call added = Invoke(identities.get(), "Add", kMethod,
                      {RefTo(&key), RefTo(&no), RefTo(&key), RefTo(&no), RefTo(&no), RefTo(&empty),
                       RefTo(&empty)});
  ASSERT_EQ(added.hr, S_OK);
  EXPECT_NE(added.result.get()->pdispVal, nullptr);
  EXPECT_EQ(Invoke(identities.get(), "Count", kGet).result.get()->lVal, 2);
  SysFreeString(key);
  SysFreeString(empty);
}

}  // namespace
}  // namespace kestrel::testing
