// Synthesized messages: determinism, variety, structure and size control.
#include "tests/support/dbxgen/synth.h"

#include <gtest/gtest.h>

#include <set>

namespace dbxgen {
namespace {

TEST(SynthTest, SameSeedSameMessagesOtherSeedOtherMessages) {
  SynthOptions one;
  SynthOptions two;
  two.seed = 2;
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(SynthesizeEml(i, one), SynthesizeEml(i, one));
    EXPECT_NE(SynthesizeEml(i, one), SynthesizeEml(i, two));
  }
}

TEST(SynthTest, EveryKindIsAWellFormedMessage) {
  SynthOptions options;
  std::set<SynthKind> kinds;
  for (std::size_t i = 0; i < 3 * kSynthKindCount; ++i) {
    kinds.insert(SynthKindOf(i, options));
    Message m = SynthesizeMessage(i, options);
    const std::string& t = m.text;
    SCOPED_TRACE(t.substr(0, 600));
    std::size_t body = t.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_NE(t.find("\r\nDate: "), std::string::npos);
    EXPECT_NE(t.find("MIME-Version: 1.0\r\n"), std::string::npos);
    // Only CR LF line ends, and no line longer than RFC 5322 allows.
    for (std::size_t at = 0; at < t.size();) {
      std::size_t end = t.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      EXPECT_LE(end - at, 998u);
      EXPECT_EQ(t.substr(at, end - at).find('\n'), std::string::npos);
      at = end + 2;
    }
    // Multipart boundaries are closed.
    std::size_t b = t.find("boundary=\"");
    if (b != std::string::npos) {
      std::string boundary = t.substr(b + 10, t.find('"', b + 10) - b - 10);
      EXPECT_NE(t.find("--" + boundary + "--\r\n"), std::string::npos);
    }
    EXPECT_FALSE(m.subject->empty());
    EXPECT_NE(m.sender_addr->find('@'), std::string::npos);
    EXPECT_NE(*m.date_created, EmlDefaults().fallback_date);
    EXPECT_EQ(m.subject->find("=?"), std::string::npos);  // decoded
    SynthKind kind = SynthKindOf(i, options);
    EXPECT_EQ((*m.flags & kFlagAttachment) != 0,
              kind == SynthKind::kAttachment || kind == SynthKind::kSigned);
    EXPECT_EQ((*m.flags & kFlagNewsPosting) != 0, kind == SynthKind::kNews);
  }
  EXPECT_EQ(kinds.size(), static_cast<std::size_t>(kSynthKindCount));
}

TEST(SynthTest, MessageSizeIsMetWithinFivePercent) {
  for (std::size_t size : {4096u, 5120u, 20000u}) {
    SynthOptions options;
    options.message_size = size;
    for (std::size_t i = 0; i < 2 * kSynthKindCount; ++i) {
      std::size_t got = SynthesizeEml(i, options).size();
      EXPECT_NEAR(static_cast<double>(got), static_cast<double>(size), size * 0.05)
          << "message " << i;
    }
  }
}

TEST(SynthTest, CharsetsShowUpInTheText) {
  SynthOptions options;
  std::string all;
  for (std::size_t i = 0; i < kSynthKindCount; ++i) all += SynthesizeEml(i, options);
  for (const char* needle : {"charset=\"iso-8859-1\"", "charset=\"koi8-r\"",
                             "charset=\"iso-2022-jp\"", "charset=\"utf-8\"", "=?utf-8?B?",
                             "=?iso-8859-1?Q?", "Content-Transfer-Encoding: base64",
                             "multipart/alternative", "text/html"}) {
    EXPECT_NE(all.find(needle), std::string::npos) << needle;
  }
}

}  // namespace
}  // namespace dbxgen
