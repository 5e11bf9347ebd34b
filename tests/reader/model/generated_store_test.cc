// The object model over stores written by the dbxgen generator, for what
// the real store does not show: inactive folders, a folder whose message
// body cannot be located (result 1005), segment lengths of a multi-block
// body, and a message whose body chain has no valid first block.

#include <filesystem>

#include <gtest/gtest.h>

#include "reader/model/component.h"
#include "reader/model/oe.h"
#include "tests/reader/model/model_test_support.h"
#include "tests/support/dbxgen/store.h"

namespace kestrel::testing {
namespace {

class GeneratedStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetThreadState();
    baseline_ = LiveObjects();
    dir_ = std::filesystem::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("generated_store_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);

    dbxgen::StoreSpec spec;
    spec.folders = dbxgen::StandardFolders();
    dbxgen::Folder archive = dbxgen::UserFolder(20, "Archive");
    archive.record.flags = 0;  // not active
    spec.folders.push_back(archive);
    dbxgen::Folder& inbox = spec.folders[2];
    dbxgen::Message readable;
    readable.subject = "three blocks";
    readable.text = "Subject: three blocks\r\n\r\n" + std::string(1300 - 25, 'x');
    readable.segment_lengths = {512, 512, 276};
    inbox.messages.push_back(readable);
    dbxgen::Message unreadable;
    unreadable.subject = "lost body";
    unreadable.text = "Subject: lost body\r\n\r\nbody\r\n";
    unreadable.damage.unreadable_body_position = 8;
    inbox.messages.push_back(unreadable);
    auto report = dbxgen::WriteStore(dir_, spec);
    ASSERT_TRUE(report.ok()) << report.status().message();

    oe_ = ComPtr<_OE>::Attach(new OE(DiscoveryResult{}));
    SetStore(oe_.get(), dir_.string());
  }
  void TearDown() override {
    oe_.Reset();
    ResetThreadState();
    EXPECT_EQ(LiveObjects(), baseline_);
    std::filesystem::remove_all(dir_);
  }

  LONG FolderCount(bool inactive) {
    VARIANT_BOOL flag = inactive ? VARIANT_TRUE : VARIANT_FALSE;
    LONG result = -1;
    EXPECT_EQ(oe_->OpenStore(&flag, nullptr, &result), S_OK);
    EXPECT_EQ(result, 0);
    ComPtr<_OEFolders> folders;
    oe_->get_OEFolders(folders.Out());
    LONG count = 0;
    folders->get_Count(&count);
    return count;
  }

  long baseline_ = 0;
  std::filesystem::path dir_;
  ComPtr<_OE> oe_;
};

TEST_F(GeneratedStoreTest, InactiveFoldersAreListedOnlyOnRequest) {
  EXPECT_EQ(FolderCount(false), 7);
  ComPtr<_OEFolders> folders;
  oe_->get_OEFolders(folders.Out());
  ComPtr<_OEFolder> archive;
  folders->get_Item(Variant::String("archive").get(), archive.Out());
  EXPECT_FALSE(archive);

  EXPECT_EQ(FolderCount(true), 8);
  oe_->get_OEFolders(folders.Out());
  folders->get_Item(Variant::Long(20).get(), archive.Out());
  ASSERT_TRUE(archive);
  VARIANT_BOOL active = VARIANT_TRUE;
  archive->get_IsActive(&active);
  EXPECT_EQ(active, VARIANT_FALSE);
  BSTR parent = nullptr;
  archive->get_ChildOf(&parent);
  EXPECT_EQ(Take(parent), "Local Folders");

  // The same through late binding, with the flag passed by name.
  Call call = Invoke(oe_.get(), "OpenStore", DISPATCH_METHOD, {Value(false)}, {"bInactive"});
  ASSERT_EQ(call.hr, S_OK);
  Call count = Invoke(ObjectOf<IDispatch>(Invoke(oe_.get(), "OEFolders", DISPATCH_PROPERTYGET),
                                          IID_IDispatch)
                          .get(),
                      "Count", DISPATCH_PROPERTYGET);
  EXPECT_EQ(count.result.get()->lVal, 7);
}

TEST_F(GeneratedStoreTest, UnreadableBodyGives1005AndTheRestIsRead) {
  ASSERT_EQ(FolderCount(false), 7);
  ComPtr<_OEFolders> folders;
  oe_->get_OEFolders(folders.Out());
  ComPtr<_OEFolder> inbox;
  folders->get_Item(Variant::String("Inbox").get(), inbox.Out());
  LONG result = -1;
  ASSERT_EQ(inbox->OpenFolder(nullptr, &result), S_OK);
  EXPECT_EQ(result, 1005);
  ComPtr<_OEMessages> messages;
  inbox->get_OEMessages(messages.Out());
  LONG count = 0;
  messages->get_Count(&count);
  ASSERT_EQ(count, 2);

  LONG first = 1;
  ComPtr<_OEMessage> readable;
  messages->get_Item(&first, readable.Out());
  ComPtr<_OEMsgSegments> segments;
  ASSERT_EQ(readable->get_OEMsgSegments(segments.Out()), S_OK);
  ASSERT_TRUE(segments);
  LONG parts = 0;
  segments->get_Count(&parts);
  ASSERT_EQ(parts, 3);
  const SHORT expected[] = {512, 512, 276};
  std::string text;
  for (LONG p = 1; p <= parts; ++p) {
    ComPtr<_OEMsgSegment> segment;
    segments->get_Item(Variant::Long(p).get(), segment.Out());
    SHORT length = 0;
    segment->get_msgSegmentLen(&length);
    EXPECT_EQ(length, expected[p - 1]);
    BSTR piece = nullptr;
    segment->get_msgText(&piece);
    text += Take(piece);
  }
  EXPECT_EQ(text, "Subject: three blocks\r\n\r\n" + std::string(1300 - 25, 'x'));

  // The message whose body cannot be located: none at the first read, the
  // empty collection afterwards.
  LONG second = 2;
  ComPtr<_OEMessage> lost;
  messages->get_Item(&second, lost.Out());
  BSTR subject = nullptr;
  lost->get_Subject(&subject);
  EXPECT_EQ(Take(subject), "lost body");
  ComPtr<_OEMsgSegments> none;
  ASSERT_EQ(lost->get_OEMsgSegments(none.Out()), S_OK);
  EXPECT_FALSE(none);
  ASSERT_EQ(lost->get_OEMsgSegments(none.Out()), S_OK);
  ASSERT_TRUE(none);
  none->get_Count(&parts);
  EXPECT_EQ(parts, 0);
  inbox->CloseFolder();
}

}  // namespace
}  // namespace kestrel::testing
