// Salvaged bodies: what a damaged chain still gives, and nothing else.
#include "reader/dbx/body_salvage.h"

#include <gtest/gtest.h>

#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

using testing::DbxImage;

TEST(BodySalvageTest, KeepsWhatTheChainStillHolds) {
  const std::string a(512, 'a'), b(512, 'b'), c = "tail";
  struct Case {
    const char* name;
    void (*damage)(DbxImage&);  // applied to the chain 0x3000 -> 0x4000 -> 0x5000
    std::string text;
    const char* damage_has;  // "" when the chain is whole
  };
  const Case cases[] = {
      {"whole", [](DbxImage&) {}, a + b + c, ""},
      // The case: a link into the middle of other text.
      {"link into text", [](DbxImage& i) { i.Put32(0x300C, 0x4100); }, a,
       "the chain leads to offset 16640, where no body block is; 512 bytes read"},
      {"block that does not name itself", [](DbxImage& i) { i.Put32(0x4000, 0x1234); }, a,
       "where no body block is"},
      {"middle length damaged, chain goes on", [](DbxImage& i) { i.Put32(0x4008, 1631071585); },
       a + b + c, "used length of 1631071585, taken as a full block"},
      {"last length damaged", [](DbxImage& i) { i.Put32(0x5008, 40000); }, a + b,
       "the body block at offset 20480 has a used length of 40000; 1024 bytes read"},
      {"length and link damaged", [](DbxImage& i) { i.Put32(0x4008, 0x80000000); i.Put32(0x400C, 7); },
       a, "used length of 2147483648; 512 bytes read"},
      {"loop", [](DbxImage& i) { i.Put32(0x500C, 0x3000); }, a + b + c, "leads back to the block at offset 12288"},
      {"past the end", [](DbxImage& i) { i.Put32(0x500C, 0x7FFF0000); }, a + b + c, "past the end of the file"},
      {"file cut inside the last block", [](DbxImage& i) { i.bytes().resize(0x5000 + 16 + 2); }, a + b,
       "the file ends inside the body block at offset 20480"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    DbxImage image(kFolderFileKind);
    image.Block(0x3000, 512, 0x4000, a);
    image.Block(0x4000, 512, 0x5000, b);
    image.Block(0x5000, 4, 0, c);
    image.Grow(0x6000);
    t.damage(image);
    MemorySource source(image.bytes());
    DbxSalvagedBody body;
    ASSERT_TRUE(SalvageBodyText(source, 0x3000, &body).ok());
    EXPECT_TRUE(body.found);
    EXPECT_EQ(body.text, t.text);
    EXPECT_EQ(body.whole(), std::string(t.damage_has).empty());
    EXPECT_NE(body.damage.find(t.damage_has), std::string::npos) << body.damage;
  }
}

TEST(BodySalvageTest, NoFirstBlockNoBody) {
  DbxImage image(kFolderFileKind);
  image.Block(0x3000, 10, 0, "0123456789");
  MemorySource source(image.bytes());
  for (uint32_t position : {0u, 8u, 0x3004u, 0x7FFFFFF0u}) {
    DbxSalvagedBody body;
    ASSERT_TRUE(SalvageBodyText(source, position, &body).ok());
    EXPECT_FALSE(body.found);
    EXPECT_TRUE(body.text.empty());
    EXPECT_TRUE(body.damage.empty());
  }
}

}  // namespace
}  // namespace dbx
