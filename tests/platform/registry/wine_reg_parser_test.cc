// Tests of the Wine registry text parser.
#include "platform/registry/wine_reg_parser.h"

#include <gtest/gtest.h>

#include "platform/registry/text.h"

namespace registry {
namespace {

std::string Header() { return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"; }

std::u16string StringOf(const RawValue* v) {
  std::u16string text = LeBytesToUtf16(v->data);
  return text;
}

TEST(WineRegParserTest, RefusesTextWithoutHeader) {
  MemoryKey root("");
  Status s = ParseWineRegistry("[Software] 0\n\"a\"=\"b\"\n", &root, nullptr);
  EXPECT_EQ(s.code(), Status::Code::kCorrupt);
  EXPECT_NE(s.message().find("WINE REGISTRY"), std::string::npos);
  EXPECT_EQ(ParseWineRegistry("", &root, nullptr).code(), Status::Code::kCorrupt);
}

TEST(WineRegParserTest, ReadsEveryValueForm) {
  MemoryKey root("");
  WineParseReport report;
  std::string text = Header() +
                     "[Software\\\\Vendor\\\\App] 1700000000\n"
                     "#time=1d9c1a2b3c4d5e6\n"
                     "@=\"default\"\n"
                     "\"Str\"=\"C:\\\\dir\\\\\\\"q\\\"\"\n"
                     "\"Dw\"=dword:ffffffff\n"
                     "\"Exp\"=str(2):\"%USERPROFILE%\\\\x\"\n"
                     "\"Multi\"=str(7):\"a\\0b\\0\"\n"
                     "\"Bin\"=hex:01,02,\\\n"
                     "  03,04\n"
                     "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\n"
                     "\"Empty\"=hex(0):\n";
  ASSERT_TRUE(ParseWineRegistry(text, &root, &report).ok());
  EXPECT_EQ(report.skipped_lines, 0u) << (report.warnings.empty() ? "" : report.warnings[0]);
  EXPECT_EQ(report.keys, 1u);
  EXPECT_EQ(report.values, 8u);

  MemoryKey* app = root.Child("software")->Child("VENDOR")->Child("app");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(StringOf(app->FindValue("")), std::u16string(u"default\0", 8));
  EXPECT_EQ(app->FindValue("")->type, kRegSz);
  EXPECT_EQ(StringOf(app->FindValue("str")), std::u16string(u"C:\\dir\\\"q\"\0", 11));
  EXPECT_EQ(app->FindValue("Dw")->type, kRegDword);
  EXPECT_EQ(app->FindValue("Dw")->data, std::string(4, '\xff'));
  EXPECT_EQ(app->FindValue("Exp")->type, kRegExpandSz);
  EXPECT_EQ(StringOf(app->FindValue("Exp")), std::u16string(u"%USERPROFILE%\\x\0", 16));
  EXPECT_EQ(app->FindValue("Multi")->type, kRegMultiSz);
  EXPECT_EQ(StringOf(app->FindValue("Multi")), std::u16string(u"a\0b\0\0", 5));
  EXPECT_EQ(app->FindValue("Bin")->type, kRegBinary);
  EXPECT_EQ(app->FindValue("Bin")->data, std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(app->FindValue("Quad")->type, kRegQword);
  EXPECT_EQ(app->FindValue("Quad")->data.size(), 8u);
  EXPECT_EQ(app->FindValue("Empty")->type, kRegNone);
  EXPECT_TRUE(app->FindValue("Empty")->data.empty());
}

TEST(WineRegParserTest, DecodesEscapesAndUtf8) {
  MemoryKey root("");
  std::string text = Header() +
                     "[Key\\\\Caf\\x00e9 \\]x] 0\n"
                     "\"a\"=\"\\x20ac\\t\\n\\101\\e\"\n"
                     "\"b\"=\"\\x00414\"\n"  // at most 4 hex digits
                     "\"c\"=\"\xc3\xbc\"\n"    // raw UTF-8
                     "\"d\"=\"\xfc\"\n";       // not UTF-8: taken as Latin-1
  ASSERT_TRUE(ParseWineRegistry(text, &root, nullptr).ok());
  MemoryKey* key = root.Child("key") ? root.Child("key")->Child("CAF\xc3\x89 ]X") : nullptr;
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->name(), "Caf\xc3\xa9 ]x");
  EXPECT_EQ(StringOf(key->FindValue("a")), std::u16string(u"\u20ac\t\nA\x1b\0", 6));
  EXPECT_EQ(StringOf(key->FindValue("b")), std::u16string(u"A4\0", 3));
  EXPECT_EQ(StringOf(key->FindValue("c")), std::u16string(u"\u00fc\0", 2));
  EXPECT_EQ(StringOf(key->FindValue("d")), std::u16string(u"\u00fc\0", 2));
}

TEST(WineRegParserTest, SkipsBadLinesAndKeepsTheRest) {
  MemoryKey root("");
  WineParseReport report;
  std::string text = Header() +
                     "\"orphan\"=\"before any key\"\n"
                     "[A] 0\n"
                     "\"ok1\"=dword:1\n"
                     "\"bad\"=dword:123456789\n"
                     "\"unterminated\"=\"abc\n"
                     "\"weird\"=blob:00\n"
                     "garbage line\n"
                     "\"hex\"=hex:zz\n"
                     "[Broken\\\\\\\\Path] 0\n"
                     "\"lost\"=\"value of a skipped key\"\n"
                     "[Unclosed\n"
                     "[A] 0\n"
                     "\"ok2\"=\"x\"\n";
  ASSERT_TRUE(ParseWineRegistry(text, &root, &report).ok());
  EXPECT_EQ(report.skipped_lines, 9u);
  ASSERT_FALSE(report.warnings.empty());
  EXPECT_EQ(report.warnings[0], "line 4: value outside a key");
  MemoryKey* a = root.Child("a");
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a->FindValue("ok1"), nullptr);
  EXPECT_NE(a->FindValue("ok2"), nullptr);
  EXPECT_EQ(a->values().size(), 2u);
  EXPECT_EQ(root.child_count(), 1u);
}

TEST(WineRegParserTest, KeysMergeWithoutRegardToCaseAndEnumerateSorted) {
  MemoryKey root("");
  std::string text = Header() +
                     "[Software\\\\beta] 0\n\"x\"=\"1\"\n"
                     "[SOFTWARE\\\\Alpha] 0\n"
                     "[software\\\\BETA] 0\n\"X\"=\"2\"\n\"y\"=\"3\"\n"
                     "[Software\\\\Gamma] 0\n\"v\"=\"keep\"\n\"v\"=-\n";
  ASSERT_TRUE(ParseWineRegistry(text, &root, nullptr).ok());
  MemoryKey* software = root.Child("Software");
  ASSERT_EQ(software->child_count(), 3u);
  EXPECT_EQ(software->name(), "Software");  // the first spelling is kept
  EXPECT_EQ(software->ChildAt(0)->name(), "Alpha");
  EXPECT_EQ(software->ChildAt(1)->name(), "beta");
  EXPECT_EQ(software->ChildAt(2)->name(), "Gamma");
  EXPECT_EQ(software->ChildAt(3), nullptr);
  MemoryKey* beta = software->Child("Beta");
  ASSERT_EQ(beta->values().size(), 2u);
  EXPECT_EQ(StringOf(beta->FindValue("x")), std::u16string(u"2\0", 2));
  EXPECT_TRUE(software->Child("gamma")->values().empty());  // "=-" deletes
}

TEST(WineRegParserTest, RefusesKeysNestedTooDeeply) {
  MemoryKey root("");
  WineParseReport report;
  std::string deep = "[k";
  for (size_t i = 0; i < kMaxKeyDepth; ++i) deep += "\\\\k";
  std::string text = Header() + deep + "] 0\n\"v\"=\"x\"\n";
  ASSERT_TRUE(ParseWineRegistry(text, &root, &report).ok());
  EXPECT_EQ(report.skipped_lines, 2u);
  EXPECT_EQ(root.child_count(), 0u);
}

TEST(WineRegParserTest, HandlesCrLfAndMissingFinalNewline) {
  MemoryKey root("");
  std::string text = "WINE REGISTRY Version 2\r\n[A] 0\r\n\"b\"=hex:01,\\\r\n  02\r\n\"c\"=dword:2";
  ASSERT_TRUE(ParseWineRegistry(text, &root, nullptr).ok());
  EXPECT_EQ(root.Child("A")->FindValue("b")->data, std::string("\x01\x02", 2));
  EXPECT_EQ(root.Child("A")->FindValue("c")->data, std::string("\x02\0\0\0", 4));
}

}  // namespace
}  // namespace registry
