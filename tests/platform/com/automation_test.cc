// BSTR layout, text conversion, VARIANT copying and conversion, GUID text
// and the object enumerator.

#include <cstring>

#include <gtest/gtest.h>

#include "platform/com/automation.h"
#include "platform/com/enumerator.h"
#include "platform/com/guid.h"

namespace tollan::com {
namespace {

TEST(BstrTest, LengthPrefixAndTerminatorLikeWindows) {
  BSTR text = SysAllocString(u"abc");
  ASSERT_NE(text, nullptr);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(text) - 4, 4);
  EXPECT_EQ(prefix, 6u);  // bytes, not characters
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 6u);
  EXPECT_EQ(text[3], u'\0');
  SysFreeString(text);

  // Embedded zero characters are part of the string.
  const char16_t with_zero[] = {u'a', 0, u'b'};
  BSTR zero = SysAllocStringLen(with_zero, 3);
  EXPECT_EQ(SysStringLen(zero), 3u);
  EXPECT_EQ(BstrView(zero), std::u16string_view(with_zero, 3));
  SysFreeString(zero);

  // Null is the empty string everywhere.
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
}

TEST(BstrTest, TextConversions) {
  // Windows-1252: 0x80 is the euro sign, 0xE9 e-acute, 0x81 undefined.
  EXPECT_EQ(Utf16FromAnsi("\x80\xE9\x81"), u"\u20AC\u00E9\u0081");
  EXPECT_EQ(AnsiFromUtf16(u"\u20AC\u00E9\u4E00"), "\x80\xE9?");

  // Every byte comes back, wherever it falls among runs of plain ASCII.
  std::string every;
  for (int b = 0; b < 256; ++b) every += std::string(b % 11, 'a') + static_cast<char>(b);
  const std::u16string wide = Utf16FromAnsi(every);
  ASSERT_EQ(wide.size(), every.size());
  EXPECT_EQ(wide[every.find('\x80')], u'\u20AC');
  EXPECT_EQ(AnsiFromUtf16(wide), every);
  EXPECT_EQ(AnsiFromUtf16(u"abcdefgh\u4E00ijk"), "abcdefgh?ijk");

  Bstr owned("x\xC3\xA9");
  EXPECT_EQ(owned.view(), u"xé");
  Bstr copy = owned;
  EXPECT_NE(copy.get(), owned.get());
  EXPECT_EQ(copy.utf8(), "x\xC3\xA9");
}

TEST(VariantTest, ChangeTypeCoversTheAutomationConversions) {
  Variant v = Variant::String(" 42 ");
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, v.get(), 0, VT_I4), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 42);

  // Halves round to even, as automation does.
  ASSERT_EQ(VariantChangeType(&out, Variant::Double(2.5).get(), 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, 2);
  ASSERT_EQ(VariantChangeType(&out, Variant::Double(3.5).get(), 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, 4);

  EXPECT_EQ(VariantChangeType(&out, Variant::Long(40000).get(), 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&out, Variant::String("abc").get(), 0, VT_I4), DISP_E_TYPEMISMATCH);

  ASSERT_EQ(VariantChangeType(&out, Variant::String("True").get(), 0, VT_BOOL), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  ASSERT_EQ(VariantChangeType(&out, Variant::Long(0).get(), 0, VT_BOOL), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);

  ASSERT_EQ(VariantChangeType(&out, Variant::Bool(true).get(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"True");
  VariantClear(&out);
  ASSERT_EQ(VariantChangeType(&out, Variant::Long(-7).get(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"-7");
  VariantClear(&out);

  // Date 37622.5 is 2003-01-01 12:00.
  VARIANT date;
  VariantInit(&date);
  date.vt = VT_DATE;
  date.date = 37622.5;
  ASSERT_EQ(VariantChangeType(&out, &date, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Utf8FromBstr(out.bstrVal), "2003-01-01 12:00:00");
  VariantClear(&out);
}

TEST(VariantTest, ByReferenceValuesAreReadThroughTheirAddress) {
  SHORT number = 12;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I2;
  ref.piVal = &number;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"12");
  VariantClear(&out);

  BSTR text = SysAllocString(u"hello");
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_NE(out.bstrVal, text);  // a copy the variant owns
  EXPECT_EQ(BstrView(out.bstrVal), u"hello");
  VariantClear(&out);
  VariantClear(&ref);  // a reference owns nothing
  EXPECT_EQ(BstrView(text), u"hello");
  SysFreeString(text);
}

TEST(GuidTest, RoundTripsTheRegistryForm) {
  GUID g;
  ASSERT_TRUE(GuidFromString("{91644f96-87a2-40f2-93fa-f18579b86eb4}", &g));
  EXPECT_EQ(g.Data1, 0x91644F96u);
  EXPECT_EQ(g.Data2, 0x87A2);
  EXPECT_EQ(g.Data4[0], 0x93);
  EXPECT_EQ(g.Data4[7], 0xB4);
  EXPECT_EQ(GuidToString(g), "{91644F96-87A2-40F2-93FA-F18579B86EB4}");
  ASSERT_TRUE(GuidFromString("91644F96-87A2-40F2-93FA-F18579B86EB4", &g));
  EXPECT_FALSE(GuidFromString("{91644F96-87A2-40F2-93FA-F18579B86EB}", &g));
  EXPECT_FALSE(GuidFromString("{91644F96+87A2-40F2-93FA-F18579B86EB4}", &g));
  EXPECT_FALSE(GuidFromString("{91644F96-87A2-40F2-93FA-F18579B86EBX}", &g));
}

// A countable object for the enumerator test.
class Counted final : public IDispatch {
 public:
  HRESULT COMCALL QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG COMCALL AddRef() override { return ++refs; }
  ULONG COMCALL Release() override { return --refs; }
  HRESULT COMCALL GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT COMCALL GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT COMCALL GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT COMCALL Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                         UINT*) override {
    return E_NOTIMPL;
  }
  ULONG refs = 1;
};

TEST(EnumeratorTest, HoldsItsItemsAndHandsThemOutInOrder) {
  Counted a, b;
  IEnumVARIANT* e = nullptr;
  ASSERT_EQ(CreateObjectEnumerator({&a, &b}, &e), S_OK);
  EXPECT_EQ(a.refs, 2u);

  VARIANT items[3];
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(3, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(items[0].pdispVal, &a);
  EXPECT_EQ(items[1].pdispVal, &b);
  EXPECT_EQ(a.refs, 3u);
  VariantClear(&items[0]);
  VariantClear(&items[1]);

  IEnumVARIANT* clone = nullptr;
  ASSERT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Skip(1), S_OK);
  ASSERT_EQ(e->Clone(&clone), S_OK);
  EXPECT_EQ(e->Release(), 0u);  // the clone keeps the snapshot
  EXPECT_EQ(a.refs, 2u);
  ASSERT_EQ(clone->Next(1, items, nullptr), S_OK);
  EXPECT_EQ(items[0].pdispVal, &b);
  VariantClear(&items[0]);
  EXPECT_EQ(clone->Skip(5), S_FALSE);
  clone->Release();
  EXPECT_EQ(a.refs, 1u);
  EXPECT_EQ(b.refs, 1u);
}

}  // namespace
}  // namespace tollan::com
