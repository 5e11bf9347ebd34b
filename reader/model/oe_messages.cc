// OEMessage and OEMessages.

#include "reader/model/oe_messages.h"

#include "platform/com/enumerator.h"
#include "reader/dbx/body_chain.h"
#include "reader/model/oe_msg_segments.h"
#include "reader/model/text.h"

namespace kestrel {
namespace {

#define KESTREL_MESSAGE_GET(field, Name) \
  [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMessage*>(s)->get_##Name(&r->field); }

const MemberThunk kMessageThunks[] = {
    [](IDispatch* s, VARIANT*, VARIANT* r) {
      return ObjectResult<_OEMsgSegments>(
          r, [&](_OEMsgSegments** out) { return static_cast<_OEMessage*>(s)->get_OEMsgSegments(out); });
    },
    KESTREL_MESSAGE_GET(boolVal, ThreadIgnored),
    KESTREL_MESSAGE_GET(boolVal, MessageRead),
    KESTREL_MESSAGE_GET(boolVal, ThreadWatched),
    KESTREL_MESSAGE_GET(boolVal, PendingChanges),
    KESTREL_MESSAGE_GET(boolVal, AttachmentPresent),
    KESTREL_MESSAGE_GET(boolVal, DigitallySigned),
    KESTREL_MESSAGE_GET(boolVal, NewsPosting),
    KESTREL_MESSAGE_GET(boolVal, MessageMarked),
    KESTREL_MESSAGE_GET(iVal, MessagePriority),
    KESTREL_MESSAGE_GET(lVal, MessageLines),
    KESTREL_MESSAGE_GET(bstrVal, MailAccount),
    KESTREL_MESSAGE_GET(bstrVal, RegistryKey),
    KESTREL_MESSAGE_GET(bstrVal, RecipientAddr),
    KESTREL_MESSAGE_GET(bstrVal, RecipientName),
    KESTREL_MESSAGE_GET(bstrVal, SenderAddr),
    KESTREL_MESSAGE_GET(bstrVal, SenderName),
    KESTREL_MESSAGE_GET(bstrVal, Server),
    KESTREL_MESSAGE_GET(bstrVal, Newsgroup),
    KESTREL_MESSAGE_GET(bstrVal, AnswerMessageID),
    KESTREL_MESSAGE_GET(bstrVal, SenderAddrName),
    KESTREL_MESSAGE_GET(bstrVal, Subject),
    KESTREL_MESSAGE_GET(bstrVal, MessageID),
    KESTREL_MESSAGE_GET(bstrVal, OrigSubject),
    KESTREL_MESSAGE_GET(date, DateReceived),
    KESTREL_MESSAGE_GET(date, DateSaved),
    KESTREL_MESSAGE_GET(date, DateCreated),
};

#undef KESTREL_MESSAGE_GET

const MemberThunk kMessagesThunks[] = {
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return ObjectResult<_OEMessage>(
          r, [&](_OEMessage** out) { return static_cast<_OEMessages*>(s)->get_Item(&a[0].lVal, out); });
    },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMessages*>(s)->get_Count(&r->lVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMessages*>(s)->get_NewEnum(&r->punkVal); },
};

HRESULT ReturnAnsi(const std::string& bytes, BSTR* out) { return ReturnString(FromAnsi(bytes), out); }

}  // namespace

OEMessage::OEMessage() : DispatchObject({&ClassOf(ClassId::kOEMessage), kMessageThunks}) {}

OEMessage::OEMessage(dbx::DbxMessage record, std::string listed_from)
    : DispatchObject({&ClassOf(ClassId::kOEMessage), kMessageThunks}),
      record_(std::move(record)),
      listed_from_(std::move(listed_from)) {}

OEMessage::~OEMessage() {
  if (segments_ != nullptr) segments_->Release();
}

HRESULT OEMessage::get_OEMsgSegments(_OEMsgSegments** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (segments_ != nullptr) return ReturnObject<_OEMsgSegments>(segments_, result);

  // The collection is attached at once: whatever happens below, later reads
  // return it as it is left.
  segments_ = new OEMsgSegments();
  dbx::DbxSession& session = ThreadSession();
  if (!session.file_open()) {
    return Raise(52, "OEMsgSegments", "no folder file is open; open the message's folder first");
  }
  if (!listed_from_.empty() && session.open_path() != listed_from_) {
    return Raise(52, "OEMsgSegments",
                 "the open folder file is " + session.open_path() + ", not " + listed_from_ +
                     " that the message was listed from; open the message's folder again");
  }
  dbx::DbxBody body;
  const dbx::DbxStatus status = session.ReadBody(record_.body_position, &body);
  for (const dbx::DbxBodySegment& segment : body.segments) {
    segments_->AddSegment(segment.text, static_cast<SHORT>(segment.used_length));
  }
  if (!status.ok()) return Raise(status.code(), "OEMsgSegments", status.message());
  if (!body.found) return S_OK;  // none at this first read
  return ReturnObject<_OEMsgSegments>(segments_, result);
}

HRESULT OEMessage::get_ThreadIgnored(VARIANT_BOOL* r) { return ReturnBool(record_.thread_ignored(), r); }
HRESULT OEMessage::get_MessageRead(VARIANT_BOOL* r) { return ReturnBool(record_.message_read(), r); }
HRESULT OEMessage::get_ThreadWatched(VARIANT_BOOL* r) { return ReturnBool(record_.thread_watched(), r); }
HRESULT OEMessage::get_PendingChanges(VARIANT_BOOL* r) { return ReturnBool(record_.pending_changes(), r); }
HRESULT OEMessage::get_AttachmentPresent(VARIANT_BOOL* r) {
  return ReturnBool(record_.attachment_present(), r);
}
HRESULT OEMessage::get_DigitallySigned(VARIANT_BOOL* r) {
  return ReturnBool(record_.digitally_signed(), r);
}
HRESULT OEMessage::get_NewsPosting(VARIANT_BOOL* r) { return ReturnBool(record_.news_posting(), r); }
HRESULT OEMessage::get_MessageMarked(VARIANT_BOOL* r) { return ReturnBool(record_.message_marked(), r); }
HRESULT OEMessage::get_MessagePriority(SHORT* r) { return ReturnValue(record_.message_priority, r); }
HRESULT OEMessage::get_MessageLines(LONG* r) { return ReturnValue(record_.message_lines, r); }
HRESULT OEMessage::get_MailAccount(BSTR* r) { return ReturnAnsi(record_.mail_account, r); }
HRESULT OEMessage::get_RegistryKey(BSTR* r) { return ReturnAnsi(record_.registry_key, r); }
HRESULT OEMessage::get_RecipientAddr(BSTR* r) { return ReturnAnsi(record_.recipient_addr, r); }
HRESULT OEMessage::get_RecipientName(BSTR* r) { return ReturnAnsi(record_.recipient_name, r); }
HRESULT OEMessage::get_SenderAddr(BSTR* r) { return ReturnAnsi(record_.sender_addr, r); }
HRESULT OEMessage::get_SenderName(BSTR* r) { return ReturnAnsi(record_.sender_name, r); }
HRESULT OEMessage::get_Server(BSTR* r) { return ReturnAnsi(record_.server, r); }
HRESULT OEMessage::get_Newsgroup(BSTR* r) { return ReturnAnsi(record_.newsgroup, r); }
HRESULT OEMessage::get_AnswerMessageID(BSTR* r) { return ReturnAnsi(record_.answer_message_id, r); }
HRESULT OEMessage::get_SenderAddrName(BSTR* r) { return ReturnAnsi(record_.sender_addr_name, r); }
HRESULT OEMessage::get_Subject(BSTR* r) { return ReturnAnsi(record_.subject, r); }
HRESULT OEMessage::get_MessageID(BSTR* r) { return ReturnAnsi(record_.message_id, r); }
HRESULT OEMessage::get_OrigSubject(BSTR* r) { return ReturnAnsi(record_.orig_subject, r); }
HRESULT OEMessage::get_DateReceived(DATE* r) { return ReturnValue(record_.date_received, r); }
HRESULT OEMessage::get_DateSaved(DATE* r) { return ReturnValue(record_.date_saved, r); }
HRESULT OEMessage::get_DateCreated(DATE* r) { return ReturnValue(record_.date_created, r); }

OEMessages::OEMessages() : DispatchObject({&ClassOf(ClassId::kOEMessages), kMessagesThunks}) {}

OEMessages::~OEMessages() {
  for (OEMessage* item : items_) item->Release();
}

void OEMessages::AddMessage(dbx::DbxMessage record, const std::string& listed_from) {
  items_.push_back(new OEMessage(std::move(record), listed_from));
}

HRESULT OEMessages::get_Item(LONG* vntIndexKey, _OEMessage** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (vntIndexKey == nullptr) return E_POINTER;
  const LONG position = *vntIndexKey;
  if (position < 1 || static_cast<size_t>(position) > items_.size()) return S_OK;
  return ReturnObject<_OEMessage>(items_[static_cast<size_t>(position) - 1], result);
}

HRESULT OEMessages::get_Count(LONG* result) { return ReturnValue(items_.size(), result); }

HRESULT OEMessages::get_NewEnum(IUnknown** result) { return tollan::com::NewEnumOver(items_, result); }

}  // namespace kestrel
