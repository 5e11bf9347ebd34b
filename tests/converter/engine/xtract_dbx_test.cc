// Tests of XtractDBX on the real Outlook Express store and on files that are
// not folder files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "converter/engine/components.h"
#include "converter/engine/engine.h"
#include "converter/engine/texts.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"
#include "platform/com/simple_object.h"
#include "tests/converter/wizard/fake_page.h"
#include "tests/converter/wizard/fake_session.h"

namespace tollan {
namespace {

namespace fs = std::filesystem;

const std::string kStore = std::string(TOLLAN_SHARED_DIR) + "/fixtures/real-store/";

class XtractDbxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = fs::temp_directory_path() / ("xtract-" + std::to_string(getpid()));
    fs::remove_all(out_);
    fs::create_directories(out_);
    state_.OutputFolder = out_.string() + "/";
    env_.sessions = [this] { return std::make_unique<FakeSession>(&world_); };
    env_.timestamp = [] { return std::string("5.3.26 14.7.09"); };
  }
  void TearDown() override { fs::remove_all(out_); }

  fs::path out_;
  FakePage page_;
  FakeWorld world_;
  PageState state_;
  EngineEnv env_;
};

std::string InboxMessageText() {
  com::ComPtr<IDbxMessageReader> reader;
  EXPECT_EQ(CreateEngineComponent(CLSID_DbxMessageReader, IID_IDbxMessageReader, reader.OutVoid()), S_OK);
  com::Bstr path((kStore + "Inbox.dbx").c_str());
  reader->OpenDbx(path.get());
  LONG count = 0;
  reader->CountMessages(&count);
  EXPECT_EQ(count, 1);
  com::Bstr text;
  EXPECT_EQ(reader->GetMessageText(0, text.out()), S_OK);
  // The byte form holds the very bytes the text form stands for.
  com::Bstr bytes;
  EXPECT_EQ(reader->GetMessageBytes(0, bytes.out()), S_OK);
  const std::string stored(reinterpret_cast<const char*>(bytes.get()), SysStringByteLen(bytes.get()));
  EXPECT_EQ(stored, com::AnsiFromUtf16(text.view()));
  EXPECT_TRUE(FAILED(reader->GetMessageBytes(5, bytes.out())));
  return stored;
}

TEST_F(XtractDbxTest, OwnPstPerFileHoldsEveryMessage) {
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, kStore + "Inbox.dbx", "Inbox");
  ASSERT_EQ(world_.stores.size(), 1u);
  EXPECT_EQ(world_.stores[0]->path, state_.OutputFolder + "Inbox5.3.26 14.7.09.pst");
  EXPECT_EQ(world_.stores[0]->display_name, "Inbox : Created - 5.3.26 14.7.09");
  EXPECT_EQ(world_.stores[0]->folders, (std::vector<std::string>{"Deleted Items", "Inbox"}));
  ASSERT_EQ(world_.items.size(), 1u);
  EXPECT_EQ(world_.items[0].folder_path, "\\\\Inbox : Created - 5.3.26 14.7.09\\Inbox");
  EXPECT_EQ(world_.items[0].text, InboxMessageText());
  EXPECT_EQ(world_.items[0].flags & kMsgFlagRead, kMsgFlagRead);
  EXPECT_NE(world_.items[0].submit, 0u);
  EXPECT_EQ(world_.items[0].submit, world_.items[0].delivery);
  EXPECT_EQ(world_.logoffs, 1);
  EXPECT_EQ(page_.progress_captions.back(), "100 % Done. 1/1 Email Message(s) Converted.");
  EXPECT_TRUE(page_.boxes.empty());
  EXPECT_TRUE(fs::is_empty(out_));  // the temporary file is gone
  EXPECT_EQ(state_.report.files.back().messages_converted, 1);
}

TEST_F(XtractDbxTest, EmptySubjectNamesTheTemporaryFileAfterTheIndex) {
  fs::path emls = out_ / "emls", store = out_ / "store";
  fs::create_directories(emls);
  std::ofstream(emls / "1.eml") << "From: a@example.com\r\nTo: b@example.com\r\n\r\nno subject\r\n";
  std::string cmd = std::string(TOLLAN_BINARY_DIR) + "/tools/make-sample-store/make-sample-store '" +
                    store.string() + "' --quiet --folders Inbox --from-eml '" + emls.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  fs::create_directories(out_ / "pst");
  state_.OutputFolder = (out_ / "pst").string() + "/";
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, (store / "Inbox.dbx").string(), "Inbox");
  ASSERT_EQ(world_.items.size(), 1u);
  EXPECT_EQ(world_.items[0].eml_path, state_.OutputFolder + "0_Empty-Subject0.eml");
  EXPECT_FALSE(fs::exists(world_.items[0].eml_path));
}

TEST_F(XtractDbxTest, AFailedImportIsCountedAndNamedByItsNumberFromOne) {
  fs::path emls = out_ / "emls", store = out_ / "store";
  fs::create_directories(emls);
  for (int i = 1; i <= 3; ++i) {
    std::ofstream(emls / (std::to_string(i) + ".eml"))
        << "From: a@example.com\r\nSubject: m" << i << "\r\n\r\n" << (i == 2 ? "REFUSED" : "fine") << "\r\n";
  }
  std::string cmd = std::string(TOLLAN_BINARY_DIR) + "/tools/make-sample-store/make-sample-store '" +
                    store.string() + "' --quiet --folders Inbox --from-eml '" + emls.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  world_.fail_import_containing.insert("REFUSED");
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, (store / "Inbox.dbx").string(), "Inbox");
  EXPECT_EQ(world_.items.size(), 2u);
  const FileOutcome& f = state_.report.files.back();
  EXPECT_EQ(f.messages_converted, 2);
  EXPECT_EQ(f.messages_failed, 1);
  EXPECT_EQ(f.error.rfind("message 2: ", 0), 0u) << f.error;
  ASSERT_EQ(state_.report.messages.size(), 1u);
  EXPECT_EQ(state_.report.messages[0].number, 2);
  EXPECT_EQ(state_.report.messages[0].subject, "m2");
  EXPECT_EQ(state_.report.messages[0].what, MessageNote::What::kFailed);
}

// A reader whose file cannot be opened: the call fails with a runtime error.
class RefusingReader final : public com::SimpleObject<IDbxMessageReader, IID_IDbxMessageReader> {
 public:
  explicit RefusingReader(int* closes) : closes_(closes) {}
  HRESULT COMCALL OpenDbx(BSTR) override { return com::RaiseError(70, "DbxMessageReader", "Inbox.dbx"); }
  HRESULT COMCALL CloseDbx() override {
    ++*closes_;
    return S_OK;
  }
  HRESULT COMCALL CountMessages(LONG*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetSubject(LONG, BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetMessageText(LONG, BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetReceivedDate(LONG, DATE*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetMessageBytes(LONG, BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetSender(LONG, BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL OpenDbxBytes(BSTR path) override { return OpenDbx(path); }
  HRESULT COMCALL GetDeclaredCount(LONG*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetOpenError(BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL GetBodyDamage(LONG, BSTR*) override { return E_UNEXPECTED; }
  HRESULT COMCALL TakeMessageBytes(LONG, std::string*) override { return E_UNEXPECTED; }

 private:
  int* closes_;
};

TEST_F(XtractDbxTest, ReaderFailureShowsTheSoftwareLogAndGoesOn) {
  int closes = 0;
  env_.message_readers = [&closes](IDbxMessageReader** reader) {
    *reader = new RefusingReader(&closes);
    return S_OK;
  };
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, kStore + "Inbox.dbx", "Inbox");
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text,
            "[Software Log] Permission denied: Inbox.dbx\r\n"
            "Please ensure dbx files are not corrupt, which are added in the list.");
  EXPECT_EQ(page_.boxes[0].icon, MsgIcon::kNone);
  EXPECT_EQ(page_.boxes[0].title, "Tollan");
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(world_.items.empty());
  EXPECT_EQ(state_.report.files.back().state, FileOutcome::State::kFailed);
}

TEST_F(XtractDbxTest, DeletedItemsUsesTheStoresOwnFolder) {
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, kStore + "Outbox.dbx", "Deleted Items");
  EXPECT_EQ(world_.stores[0]->folders, std::vector<std::string>{"Deleted Items"});
  EXPECT_TRUE(page_.boxes.empty());
}

TEST_F(XtractDbxTest, UnreadableFilesAreReportedWithoutABox) {
  page_.each_pst = true;
  // The folder list is not a folder file; a text file is not either.
  XtractDBX(page_, state_, env_, kStore + "Folders.dbx", "Folders");
  std::ofstream(out_ / "junk.dbx") << "not a dbx file";
  XtractDBX(page_, state_, env_, (out_ / "junk.dbx").string(), "junk");
  XtractDBX(page_, state_, env_, (out_ / "missing.dbx").string(), "missing");
  EXPECT_TRUE(page_.boxes.empty());
  EXPECT_TRUE(world_.items.empty());
  ASSERT_EQ(state_.report.files.size(), 3u);
  for (const auto& f : state_.report.files) EXPECT_EQ(f.state, FileOutcome::State::kFailed);
  // A file that cannot be read leaves no empty .pst behind.
  EXPECT_TRUE(world_.stores.empty());
  EXPECT_TRUE(state_.report.pst_files.empty());
}

TEST_F(XtractDbxTest, AnIndexShortOfItsHeaderIsAFailureWithBothCounts) {
  // One byte of the index root changed: the index lists nothing, the header
  // still declares the message.
  fs::copy_file(kStore + "Inbox.dbx", out_ / "Inbox.dbx");
  fs::permissions(out_ / "Inbox.dbx", fs::perms::owner_write, fs::perm_options::add);
  {
    std::fstream f(out_ / "Inbox.dbx", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0x1e254);
    f.put('\x55');
  }
  page_.each_pst = true;
  XtractDBX(page_, state_, env_, (out_ / "Inbox.dbx").string(), "Inbox");
  const FileOutcome& f = state_.report.files.back();
  EXPECT_EQ(f.state, FileOutcome::State::kFailed);
  EXPECT_EQ(f.messages_total, 0);
  EXPECT_EQ(f.messages_declared, 1);
  EXPECT_EQ(f.error, IndexShortText(0, 1));
  EXPECT_TRUE(world_.stores.empty());
}

TEST_F(XtractDbxTest, APstThatCannotBeMadeShowsItsOwnError) {
  page_.each_pst = true;
  world_.fail_add_store = true;
  XtractDBX(page_, state_, env_, kStore + "Inbox.dbx", "Inbox");
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_NE(page_.boxes[0].text, OutlookErrorText());
  EXPECT_NE(page_.boxes[0].text.find("Permission denied"), std::string::npos);
  EXPECT_EQ(state_.report.files.back().state, FileOutcome::State::kFailed);
}

TEST_F(XtractDbxTest, MessagesOfAPstThatCouldNotBeCompletedAreNotConverted) {
  page_.each_pst = true;
  world_.fail_logoff = true;
  XtractDBX(page_, state_, env_, kStore + "Inbox.dbx", "Inbox");
  const FileOutcome& f = state_.report.files.back();
  EXPECT_EQ(f.messages_converted, 0);
  EXPECT_EQ(f.messages_failed, 1);
  EXPECT_EQ(f.state, FileOutcome::State::kFailed);
  EXPECT_TRUE(state_.report.pst_files.empty());
}

TEST_F(XtractDbxTest, SessionFailureShowsTheOutlookError) {
  page_.each_pst = true;
  world_.fail_logon = true;
  XtractDBX(page_, state_, env_, kStore + "Inbox.dbx", "Inbox");
  ASSERT_EQ(page_.boxes.size(), 1u);
  EXPECT_EQ(page_.boxes[0].text, OutlookErrorText());
  EXPECT_TRUE(world_.items.empty());
}

}  // namespace
}  // namespace tollan
