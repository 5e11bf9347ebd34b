// The object model over the real store, called early-bound: OpenStore and
// the folder list, folders opened and their messages read segment by
// segment, the shared store directory and open-file slot, and ownership.

#include <filesystem>

#include <gtest/gtest.h>

#include "reader/model/component.h"
#include "reader/model/guids.h"
#include "reader/model/oe.h"
#include "reader/model/oe_folders.h"
#include "reader/model/oe_msg_segments.h"
#include "tests/reader/model/model_test_support.h"

namespace kestrel::testing {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetThreadState();
    baseline_ = LiveObjects();
    oe_ = ComPtr<_OE>::Attach(new OE(DiscoveryResult{}));
  }
  void TearDown() override {
    oe_.Reset();
    ResetThreadState();
    // Every object the test made has been released again.
    EXPECT_EQ(LiveObjects(), baseline_);
  }

  LONG OpenStore(bool inactive) {
    VARIANT_BOOL flag = inactive ? VARIANT_TRUE : VARIANT_FALSE;
    LONG result = -1;
    EXPECT_EQ(oe_->OpenStore(&flag, nullptr, &result), S_OK);
    return result;
  }
  ComPtr<_OEFolders> Folders() {
    ComPtr<_OEFolders> folders;
    EXPECT_EQ(oe_->get_OEFolders(folders.Out()), S_OK);
    return folders;
  }
  static ComPtr<_OEFolder> ItemOf(_OEFolders* folders, Variant key) {
    ComPtr<_OEFolder> folder;
    EXPECT_EQ(folders->get_Item(key.get(), folder.Out()), S_OK);
    return folder;
  }
  static std::string NameOf(_OEFolder* folder) {
    BSTR name = nullptr;
    folder->get_FolderName(&name);
    return Take(name);
  }

  long baseline_ = 0;
  ComPtr<_OE> oe_;
};

TEST_F(StoreTest, OpenStoreListsTheFoldersInIndexOrder) {
  SetStore(oe_.get(), kRealStore);
  for (bool inactive : {false, true}) {
    ASSERT_EQ(OpenStore(inactive), 0);
    ComPtr<_OEFolders> folders = Folders();
    ASSERT_TRUE(folders);
    LONG count = 0;
    folders->get_Count(&count);
    // The root "Outlook Express" is not active but is always listed; every
    // other folder of this store is active, so both modes list all eight.
    ASSERT_EQ(count, 8);
    const char* names[] = {"Outlook Express", "Local Folders", "Inbox", "Outbox",
                           "Sent Items", "Deleted Items", "Drafts", "Hotmail"};
    const LONG indexes[] = {0, 1, 4, 5, 6, 7, 8, 9};
    const char* parents[] = {"", "Outlook Express", "Local Folders", "Local Folders",
                             "Local Folders", "Local Folders", "Local Folders", "Outlook Express"};
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(folders->get_NewEnum(unknown.Out()), S_OK);
    ComPtr<IEnumVARIANT> e = unknown.As<IEnumVARIANT>(IID_IEnumVARIANT);
    ASSERT_TRUE(e);
    for (int i = 0; i < 8; ++i) {
      VARIANT item;
      ASSERT_EQ(e->Next(1, &item, nullptr), S_OK);
      ComPtr<_OEFolder> folder = ComPtr<_OEFolder>::Attach(static_cast<_OEFolder*>(item.pdispVal));
      EXPECT_EQ(NameOf(folder.get()), names[i]);
      LONG index = -1;
      folder->get_FolderIndex(&index);
      EXPECT_EQ(index, indexes[i]);
      BSTR parent = nullptr;
      folder->get_ChildOf(&parent);
      EXPECT_EQ(Take(parent), parents[i]) << names[i];
      VARIANT_BOOL active = 0;
      folder->get_IsActive(&active);
      EXPECT_EQ(active, i == 0 ? VARIANT_FALSE : VARIANT_TRUE);
    }
  }
}

TEST_F(StoreTest, ItemFindsByFolderIndexOrByNameInAnyCase) {
  SetStore(oe_.get(), kRealStore);
  ASSERT_EQ(OpenStore(false), 0);
  ComPtr<_OEFolders> folders = Folders();
  // A number is a FolderIndex, never a position.
  EXPECT_EQ(NameOf(ItemOf(folders.get(), Variant::Long(4)).get()), "Inbox");
  EXPECT_EQ(NameOf(ItemOf(folders.get(), Variant::String("4")).get()), "Inbox");
  EXPECT_EQ(NameOf(ItemOf(folders.get(), Variant::Short(9)).get()), "Hotmail");
  EXPECT_FALSE(ItemOf(folders.get(), Variant::Long(2)));  // no folder 2
  EXPECT_EQ(NameOf(ItemOf(folders.get(), Variant::String("iNBOX")).get()), "Inbox");
  EXPECT_EQ(NameOf(ItemOf(folders.get(), Variant::String("SENT ITEMS")).get()), "Sent Items");
  EXPECT_FALSE(ItemOf(folders.get(), Variant::String("Nowhere")));  // none, no error
}

TEST_F(StoreTest, EveryFolderFileOpensAndItsMessagesRead) {
  SetStore(oe_.get(), kRealStore);
  ASSERT_EQ(OpenStore(true), 0);
  ComPtr<_OEFolders> folders = Folders();
  LONG count = 0;
  folders->get_Count(&count);
  int opened = 0;
  for (LONG index : {0, 1, 4, 5, 6, 7, 8, 9}) {
    ComPtr<_OEFolder> folder = ItemOf(folders.get(), Variant::Long(index));
    ASSERT_TRUE(folder);
    BSTR file = nullptr;
    folder->get_FolderFile(&file);
    const std::string file_name = Take(file);
    LONG result = -1;
    ASSERT_EQ(folder->OpenFolder(nullptr, &result), S_OK);
    ComPtr<_OEMessages> messages;
    folder->get_OEMessages(messages.Out());
    if (file_name.empty()) {
      EXPECT_EQ(result, 1004) << NameOf(folder.get());
      EXPECT_FALSE(messages);
      continue;
    }
    ++opened;
    ASSERT_EQ(result, 0) << file_name;
    ASSERT_TRUE(messages);
    LONG size = 0;
    folder->get_FileSize(&size);
    EXPECT_EQ(size, static_cast<LONG>(std::filesystem::file_size(kRealStore + "/" + file_name)));
    BSTR source = nullptr;
    folder->get_SourceType(&source);
    EXPECT_EQ(Take(source), "LocalStore");
    LONG listed = 0;
    messages->get_Count(&listed);
    EXPECT_EQ(listed, file_name == "Inbox.dbx" ? 1 : 0);
    for (LONG i = 1; i <= listed; ++i) {
      ComPtr<_OEMessage> message;
      ASSERT_EQ(messages->get_Item(&i, message.Out()), S_OK);
      ASSERT_TRUE(message);
      BSTR subject = nullptr;
      message->get_Subject(&subject);
      EXPECT_EQ(Take(subject), "Welcome to Outlook Express 6");
      DATE received = 0;
      message->get_DateReceived(&received);
      EXPECT_NEAR(received, 44542.198599537, 1e-6);  // 2021-12-12 04:45:59 UTC
      VARIANT_BOOL read = 0;
      message->get_MessageRead(&read);
      EXPECT_EQ(read, VARIANT_TRUE);

      ComPtr<_OEMsgSegments> segments;
      ASSERT_EQ(message->get_OEMsgSegments(segments.Out()), S_OK);
      ASSERT_TRUE(segments);
      LONG parts = 0;
      segments->get_Count(&parts);
      ASSERT_EQ(parts, 20);  // 10139 bytes in blocks of 512
      std::string text;
      for (LONG p = 1; p <= parts; ++p) {
        ComPtr<_OEMsgSegment> segment;
        ASSERT_EQ(segments->get_Item(Variant::Long(p).get(), segment.Out()), S_OK);
        SHORT length = 0;
        segment->get_msgSegmentLen(&length);
        EXPECT_EQ(length, p < parts ? 512 : 10139 - 19 * 512);
        BSTR piece = nullptr;
        segment->get_msgText(&piece);
        EXPECT_EQ(SysStringLen(piece), static_cast<UINT>(length));
        text += Take(piece);
      }
      EXPECT_EQ(text.size(), 10139u);
      EXPECT_EQ(text.rfind("From: \"Microsoft Outlook Express Team\" <msoe@microsoft.com>\r\n", 0), 0u);
      EXPECT_NE(text.find("Subject: Welcome to Outlook Express 6\r\n"), std::string::npos);

      // Later reads return the same collection.
      ComPtr<_OEMsgSegments> again;
      message->get_OEMsgSegments(again.Out());
      EXPECT_EQ(again.get(), segments.get());
    }
    EXPECT_EQ(folder->CloseFolder(), S_OK);
  }
  EXPECT_EQ(opened, 2);
}

TEST_F(StoreTest, MissingStoreResults) {
  // An existing directory without folders.dbx.
  SetStore(oe_.get(), TOLLAN_SHARED_DIR "/fixtures");
  EXPECT_EQ(OpenStore(false), 1001);
  EXPECT_FALSE(Folders());
  // A directory that does not exist: the look-up itself fails.
  SetStore(oe_.get(), kRealStore + "/no-such-dir");
  EXPECT_EQ(OpenStore(false), 1000);
  // No store directory and no default identity to fall back on: nothing is
  // looked for in the working directory.
  ResetThreadState();
  EXPECT_EQ(OpenStore(false), 1000);
  EXPECT_FALSE(Folders());
}

TEST_F(StoreTest, StoreDirectoryIsSharedAndEndsInBackslash) {
  ComPtr<_OE> other = ComPtr<_OE>::Attach(new OE(DiscoveryResult{}));
  SetStore(oe_.get(), "C:\\Store");
  BSTR text = nullptr;
  other->get_OEStore(&text);
  EXPECT_EQ(Take(text), "C:\\Store\\");
  SetStore(other.get(), "D:\\Mail\\");
  oe_->get_OEStore(&text);
  EXPECT_EQ(Take(text), "D:\\Mail\\");
  SetStore(oe_.get(), "");
  oe_->get_OEStore(&text);
  EXPECT_EQ(Take(text), "\\");
}

TEST_F(StoreTest, OpenFolderByNameAppendsDbxAndReportsTheFolderResult) {
  SetStore(oe_.get(), kRealStore);
  BSTR name = SysAllocString(u"Inbox");
  LONG result = -1;
  ASSERT_EQ(oe_->OpenFolder(&name, nullptr, &result), S_OK);
  EXPECT_EQ(tollan::com::BstrView(name), u"Inbox.dbx");  // the caller's variable
  EXPECT_EQ(result, 0);
  ComPtr<_OEFolders> folders = Folders();
  LONG count = 0;
  folders->get_Count(&count);
  ASSERT_EQ(count, 1);
  ComPtr<IUnknown> unknown;
  folders->get_NewEnum(unknown.Out());
  VARIANT item;
  ASSERT_EQ(unknown.As<IEnumVARIANT>(IID_IEnumVARIANT)->Next(1, &item, nullptr), S_OK);
  ComPtr<_OEFolder> folder = ComPtr<_OEFolder>::Attach(static_cast<_OEFolder*>(item.pdispVal));
  BSTR file = nullptr;
  folder->get_FolderFile(&file);
  EXPECT_EQ(Take(file), "Inbox.dbx");
  // No folder-list record stands behind it: the descriptive values are not
  // taken from the folder file's header bytes.
  EXPECT_EQ(NameOf(folder.get()), "");
  LONG index = -1, total = -1;
  folder->get_FolderIndex(&index);
  folder->get_MessageCount(&total);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(total, 0);
  ComPtr<_OEMessages> messages;
  folder->get_OEMessages(messages.Out());
  ASSERT_TRUE(messages);
  messages->get_Count(&count);
  EXPECT_EQ(count, 1);
  SysFreeString(name);

  // A name that already ends in .dbx, in any case, is left alone.
  name = SysAllocString(u"OUTBOX.DBX");
  ASSERT_EQ(oe_->OpenFolder(&name, nullptr, &result), S_OK);
  EXPECT_EQ(tollan::com::BstrView(name), u"OUTBOX.DBX");
  EXPECT_EQ(result, 0);
  SysFreeString(name);

  // A missing file gives 1001 and no folders.
  name = SysAllocString(u"Missing");
  ASSERT_EQ(oe_->OpenFolder(&name, nullptr, &result), S_OK);
  EXPECT_EQ(result, 1001);
  EXPECT_FALSE(Folders());
  SysFreeString(name);

  // A file that is not a folder file: its 1002 is passed back.
  name = SysAllocString(u"Offline");
  ASSERT_EQ(oe_->OpenFolder(&name, nullptr, &result), S_OK);
  EXPECT_EQ(result, 1002);
  SysFreeString(name);
}

TEST_F(StoreTest, ClientCreatedFolderOpensByItsFileName) {
  SetStore(oe_.get(), kRealStore);
  ComPtr<_OEFolder> folder = ComPtr<_OEFolder>::Attach(new OEFolder());
  BSTR source = nullptr;
  folder->get_SourceType(&source);
  EXPECT_EQ(Take(source), "News");  // before any open
  LONG result = -1;
  ASSERT_EQ(folder->OpenFolder(nullptr, &result), S_OK);
  EXPECT_EQ(result, 1004);  // no FolderFile yet
  Bstr file("inbox.dbx");   // letter case of the file name does not matter
  BSTR raw = file.get();
  folder->put_FolderFile(&raw);
  ASSERT_EQ(folder->OpenFolder(nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);
  ComPtr<_OEMessages> messages;
  folder->get_OEMessages(messages.Out());
  LONG count = 0;
  messages->get_Count(&count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(NameOf(folder.get()), "");
  // Out-of-range positions give none, without error.
  ComPtr<_OEMessage> none;
  LONG position = 0;
  EXPECT_EQ(messages->get_Item(&position, none.Out()), S_OK);
  EXPECT_FALSE(none);
  position = 2;
  EXPECT_EQ(messages->get_Item(&position, none.Out()), S_OK);
  EXPECT_FALSE(none);
  folder->CloseFolder();
}

TEST_F(StoreTest, BodiesAreReadOnlyFromTheirOwnOpenFolderFile) {
  SetStore(oe_.get(), kRealStore);
  ASSERT_EQ(OpenStore(false), 0);
  ComPtr<_OEFolders> folders = Folders();
  ComPtr<_OEFolder> inbox = ItemOf(folders.get(), Variant::String("Inbox"));
  ComPtr<_OEFolder> outbox = ItemOf(folders.get(), Variant::String("Outbox"));
  LONG result = -1;
  ASSERT_EQ(inbox->OpenFolder(nullptr, &result), S_OK);
  ComPtr<_OEMessages> messages;
  inbox->get_OEMessages(messages.Out());
  LONG first = 1;
  ComPtr<_OEMessage> message;
  messages->get_Item(&first, message.Out());
  ASSERT_TRUE(message);

  // CloseFolder of a folder that never opened a file leaves the slot alone.
  ComPtr<_OEFolder> stranger = ComPtr<_OEFolder>::Attach(new OEFolder());
  stranger->CloseFolder();
  EXPECT_TRUE(ThreadSession().file_open());

  // Another folder's open takes the slot: the message body is not read from
  // the other folder's file.
  ASSERT_EQ(outbox->OpenFolder(nullptr, &result), S_OK);
  ComPtr<_OEMsgSegments> segments;
  const HRESULT hr = message->get_OEMsgSegments(segments.Out());
  EXPECT_EQ(tollan::com::ErrorNumberFromHresult(hr), 52);
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  EXPECT_NE(error.description.find("Outbox.dbx"), std::string::npos) << error.description;
  // The collection stays attached, empty.
  ASSERT_EQ(message->get_OEMsgSegments(segments.Out()), S_OK);
  ASSERT_TRUE(segments);
  LONG count = -1;
  segments->get_Count(&count);
  EXPECT_EQ(count, 0);
  ComPtr<_OEMsgSegment> segment;
  const HRESULT bad = segments->get_Item(Variant::Long(0).get(), segment.Out());
  EXPECT_EQ(tollan::com::TakeError(bad).number, 9);

  // Inbox's CloseFolder closes the slot even though Outbox's file is in it.
  inbox->CloseFolder();
  EXPECT_FALSE(ThreadSession().file_open());
  outbox->CloseFolder();  // already closed: nothing happens
}

TEST_F(StoreTest, ItemsOutliveTheirCollections) {
  SetStore(oe_.get(), kRealStore);
  ASSERT_EQ(OpenStore(false), 0);
  ComPtr<_OEFolder> inbox = ItemOf(Folders().get(), Variant::String("Inbox"));
  // Reopening the store drops the old collection; releasing OE drops the new.
  ASSERT_EQ(OpenStore(false), 0);
  oe_.Reset();
  EXPECT_EQ(NameOf(inbox.get()), "Inbox");
  BSTR parent = nullptr;
  inbox->get_ChildOf(&parent);
  EXPECT_EQ(Take(parent), "Local Folders");
  LONG result = -1;
  ASSERT_EQ(inbox->OpenFolder(nullptr, &result), S_OK);
  ComPtr<_OEMessages> messages;
  inbox->get_OEMessages(messages.Out());
  LONG first = 1;
  ComPtr<_OEMessage> message;
  messages->get_Item(&first, message.Out());
  messages.Reset();
  inbox.Reset();  // folder and message list gone; the message stays
  BSTR subject = nullptr;
  ASSERT_EQ(message->get_Subject(&subject), S_OK);
  EXPECT_EQ(Take(subject), "Welcome to Outlook Express 6");
}

TEST_F(StoreTest, InterfacesAnswerTheirIdentities) {
  ComPtr<IUnknown> unknown = oe_.As<IUnknown>(IID_IUnknown);
  EXPECT_TRUE(unknown);
  EXPECT_TRUE(oe_.As<IDispatch>(IID_IDispatch));
  EXPECT_TRUE(oe_.As<_OE>(IID__OE));
  EXPECT_FALSE(oe_.As<_OEFolder>(IID__OEFolder));
  // A segment also answers to the identity of its earlier interface.
  ComPtr<_OEMsgSegment> segment =
      ComPtr<_OEMsgSegment>::Attach(new OEMsgSegment(u"text", 4));
  EXPECT_TRUE(segment.As<_OEMsgSegment>(IID__OEMsgSegment));
  EXPECT_TRUE(segment.As<_OEMsgSegment>(IID__OEMsgSegment_V1));
  EXPECT_FALSE(segment.As<_OEMsgSegment>(IID__OEMessage));
}

}  // namespace
}  // namespace kestrel::testing
