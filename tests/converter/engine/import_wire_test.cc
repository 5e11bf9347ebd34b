// The import frames: what a worker sends comes back whole, and a damaged or
// hostile answer is refused with a reason instead of read past its end.
#include "converter/engine/import_wire.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "converter/engine/import_one.h"

namespace tollan::wire {
namespace {

std::string ReadCorpus(const std::string& name) {
  std::ifstream in(std::string(TOLLAN_SOURCE_DIR) + "/tests/platform/mail/corpus/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every value type, a named property of each kind, and an embedded message.
ImportAnswer RichAnswer() {
  ImportAnswer a;
  a.ticket = 77;
  a.date = 0x01D0000012345678ULL;
  a.clean = false;
  a.original_attached = true;
  a.kept_original = "a reason";
  auto& p = a.content.props;
  p.push_back(pst::MakeInt32(0x0E07, -5));
  p.push_back(pst::MakeBool(0x0E1B, true));
  p.push_back(pst::MakeInt64(0x0E08, int64_t{1} << 40));
  p.push_back({0x1000, pst::PropType::kDouble, false, {}, 2.5});
  p.push_back(pst::MakeTime(0x0039, 123456789));
  p.push_back(pst::MakeString(0x0037, u"Subject \u00e9\u4e2d"));
  p.push_back({0x0E58, pst::PropType::kGuid, false, {}, std::vector<uint8_t>(16, 0xAB)});
  p.push_back({0x1001, pst::PropType::kMvInt32, false, {}, std::vector<int32_t>{1, -2}});
  p.push_back({0x1002, pst::PropType::kMvString, false, {}, std::vector<std::u16string>{u"a", u""}});
  p.push_back({0x1003, pst::PropType::kMvBinary, false, {}, std::vector<std::vector<uint8_t>>{{1, 2}, {}}});
  pst::Property by_id{0, pst::PropType::kInt32, true, {}, int64_t{9}};
  by_id.name.property_set[0] = 0x20;
  by_id.name.id = 0x8503;
  p.push_back(by_id);
  pst::Property by_name{0, pst::PropType::kString, true, {}, std::u16string(u"v")};
  by_name.name.kind = pst::PropertyName::Kind::kString;
  by_name.name.name = u"X-Header";
  p.push_back(by_name);
  a.content.recipients.push_back({{pst::MakeString(0x3001, u"Ann")}});
  pst::AttachmentContent att;
  att.props.push_back(pst::MakeBinary(0x3701, {0, 1, 2, 255}));
  att.embedded = std::make_unique<pst::MessageContent>();
  att.embedded->props.push_back(pst::MakeString(0x0037, u"inner"));
  a.content.attachments.push_back(std::move(att));
  return a;
}

std::string Payload(const std::string& frame) { return frame.substr(kHeaderSize); }

TEST(ImportWire, AnswerComesBackWhole) {
  // A hand-built answer with every type, and real imports of the corpus.
  std::vector<ImportAnswer> answers;
  answers.push_back(RichAnswer());
  for (const char* name : {"mixed_attachments.eml", "forwarded_nested.eml", "signed.eml", "related.eml",
                           "damaged/missing_close_boundary.eml"}) {
    answers.push_back(ImportOneMessage(3, ReadCorpus(name), mail::ImportOptions()));
    ASSERT_TRUE(answers.back().status.ok()) << name;
  }
  for (const ImportAnswer& a : answers) {
    std::string frame;
    ASSERT_TRUE(AppendAnswer(a, &frame).ok());
    std::optional<size_t> length;
    ASSERT_TRUE(ReadHeader(frame, FrameKind::kAnswer, 1 << 30, &length).ok());
    ASSERT_EQ(*length, frame.size() - kHeaderSize);
    ImportAnswer b;
    ASSERT_TRUE(DecodeAnswer(Payload(frame), &b).ok());
    EXPECT_EQ(b.ticket, a.ticket);
    EXPECT_EQ(b.date, a.date);
    EXPECT_EQ(b.clean, a.clean);
    EXPECT_EQ(b.original_attached, a.original_attached);
    EXPECT_EQ(b.kept_original, a.kept_original);
    // Encoding again gives the same bytes: nothing was lost or changed.
    std::string again;
    ASSERT_TRUE(AppendAnswer(b, &again).ok());
    EXPECT_EQ(again, frame);
  }
  ImportAnswer b;
  std::string frame;
  ASSERT_TRUE(AppendAnswer(RichAnswer(), &frame).ok());
  ASSERT_TRUE(DecodeAnswer(Payload(frame), &b).ok());
  EXPECT_EQ(std::get<std::u16string>(b.content.attachments[0].embedded->props[0].value), u"inner");
  EXPECT_EQ(b.content.props[11].name.name, u"X-Header");
}

TEST(ImportWire, LargeAttachmentCrossesAsAWindowOnTheMessage) {
  // 400 KB in base64: the answer names where the part is in the text both
  // sides hold; the converter's side decodes the bytes of an import in
  // memory. Without that text, or a shorter one, the answer is refused.
  std::string raw;
  for (uint32_t i = 0, x = 3; i < 400000; ++i) raw += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  gchar* b64 = g_base64_encode(reinterpret_cast<const guchar*>(raw.data()), raw.size());
  auto text = std::make_shared<const std::string>(
      std::string("Subject: big\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n") + b64 + "\r\n");
  g_free(b64);
  std::string frame;
  ImportAnswer a = ImportOneMessage(9, text, mail::ImportOptions());
  ASSERT_TRUE(a.status.ok());
  ASSERT_TRUE(AppendAnswer(a, &frame, text.get()).ok());
  EXPECT_LT(frame.size(), 4096u);
  const struct {
    std::shared_ptr<const std::string> text;
    bool ok;
  } cases[] = {{text, true}, {nullptr, false}, {std::make_shared<const std::string>(text->substr(0, 1000)), false}};
  for (const auto& c : cases) {
    ImportAnswer b;
    EXPECT_EQ(DecodeAnswer(Payload(frame), &b, c.text).ok(), c.ok);
    if (!c.ok) continue;
    ASSERT_EQ(b.content.attachments.size(), 1u);
    const auto& value = b.content.attachments[0].props;
    const pst::Property* data = nullptr;
    for (const auto& p : value) data = p.tag() == 0x37010102 ? &p : data;
    ASSERT_NE(data, nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(pst::ReadWhole(*std::get<std::shared_ptr<const pst::ValueSource>>(data->value), &bytes).ok());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), raw);
  }
}

TEST(ImportWire, DamagedAnswersAreRefused) {
  std::string frame;
  ASSERT_TRUE(AppendAnswer(RichAnswer(), &frame).ok());
  const std::string payload = Payload(frame);
  ImportAnswer out;
  // Cut anywhere, or with a byte too many: refused, never over-read.
  for (size_t n = 0; n < payload.size(); ++n) {
    EXPECT_FALSE(DecodeAnswer(payload.substr(0, n), &out).ok()) << n;
  }
  EXPECT_FALSE(DecodeAnswer(payload + "x", &out).ok());

  // A count far beyond the bytes present (first property count, after the
  // fixed fields: ticket 8, code 1, text 4+0, date flag 1, date 8, bits 1,
  // reasons 4+8).
  std::string big = payload;
  const size_t props_at = 8 + 1 + 4 + 1 + 8 + 1 + 4 + 8;
  big[props_at + 3] = '\x7F';
  EXPECT_FALSE(DecodeAnswer(big, &out).ok());
  // An unknown property type (the first property's type field).
  std::string bad_type = payload;
  bad_type[props_at + 4 + 2] = '\x0D';
  bad_type[props_at + 4 + 3] = '\x00';
  EXPECT_FALSE(DecodeAnswer(bad_type, &out).ok());

  // Headers: another version, the other direction, a length over the limit.
  std::optional<size_t> length;
  std::string other_version = frame;
  other_version[3] = 2;
  EXPECT_NE(ReadHeader(other_version, FrameKind::kAnswer, 1 << 30, &length).ToString().find("version 2"),
            std::string::npos);
  std::string request;
  AppendRequest(5, "", "hello", &request);
  EXPECT_FALSE(ReadHeader(request, FrameKind::kAnswer, 1 << 30, &length).ok());
  EXPECT_FALSE(ReadHeader(frame, FrameKind::kAnswer, 16, &length).ok());
  EXPECT_TRUE(ReadHeader(frame.substr(0, 7), FrameKind::kAnswer, 1 << 30, &length).ok());
  EXPECT_FALSE(length.has_value());

  // Embedded messages nested past the limit.
  ImportAnswer deep;
  pst::MessageContent* m = &deep.content;
  for (int i = 0; i <= kMaxDepth + 1; ++i) {
    m->attachments.emplace_back();
    m->attachments.back().embedded = std::make_unique<pst::MessageContent>();
    m = m->attachments.back().embedded.get();
  }
  std::string deep_frame;
  EXPECT_FALSE(AppendAnswer(deep, &deep_frame).ok());
  EXPECT_TRUE(deep_frame.empty());
}

TEST(ImportWire, RequestCarriesTheBytesAndTheTemporaryFile) {
  for (const std::string path : {"", "/out/12_Grüße.eml"}) {
    std::string frame;
    AppendRequest(42, path, std::string("a\0b", 3), &frame);
    const std::string prefix = RequestPrefix(42, path, 3);
    EXPECT_EQ(frame.substr(0, prefix.size()), prefix);
    uint64_t ticket = 0;
    std::string_view message, temp_path;  // point into `payload`
    const std::string payload = Payload(frame);
    ASSERT_TRUE(DecodeRequest(payload, &ticket, &temp_path, &message).ok());
    EXPECT_EQ(ticket, 42u);
    EXPECT_EQ(temp_path, path);
    EXPECT_EQ(message, std::string_view("a\0b", 3));
    // A path longer than what follows it is refused.
    if (!path.empty()) {
      EXPECT_FALSE(DecodeRequest(payload.substr(0, 12 + path.size() / 2), &ticket, &temp_path, &message).ok());
    }
  }
}

}  // namespace
}  // namespace tollan::wire
