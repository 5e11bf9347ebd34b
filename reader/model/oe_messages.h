// OEMessage and OEMessages: the messages of an open folder, in index order,
// each with the values its record gave when the folder was opened and,
// read on demand, its body segments.

#ifndef TOLLAN_READER_MODEL_OE_MESSAGES_H_
#define TOLLAN_READER_MODEL_OE_MESSAGES_H_

#include <string>
#include <vector>

#include "reader/dbx/message_record.h"
#include "reader/model/interfaces.h"
#include "reader/model/object_base.h"

namespace kestrel {

class OEMsgSegments;

class OEMessage final : public DispatchObject<_OEMessage> {
 public:
  // A message with all defaults (as a client creates it).
  OEMessage();
  // A message listed from the folder file at `listed_from` (a host path).
  OEMessage(dbx::DbxMessage record, std::string listed_from);

  const dbx::DbxMessage& record() const { return record_; }

  // The body is read from the file in the thread's open-file slot at the
  // first read, and kept: later reads return the same collection. A first
  // block without its own offset gives none at the first read and the empty
  // collection later. Fails with error 52 when the slot is empty or holds
  // another file than the one the message was listed from.
  HRESULT COMCALL get_OEMsgSegments(_OEMsgSegments** result) override;
  HRESULT COMCALL get_ThreadIgnored(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_MessageRead(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_ThreadWatched(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_PendingChanges(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_AttachmentPresent(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_DigitallySigned(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_NewsPosting(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_MessageMarked(VARIANT_BOOL* result) override;
  HRESULT COMCALL get_MessagePriority(SHORT* result) override;
  HRESULT COMCALL get_MessageLines(LONG* result) override;
  HRESULT COMCALL get_MailAccount(BSTR* result) override;
  HRESULT COMCALL get_RegistryKey(BSTR* result) override;
  HRESULT COMCALL get_RecipientAddr(BSTR* result) override;
  HRESULT COMCALL get_RecipientName(BSTR* result) override;
  HRESULT COMCALL get_SenderAddr(BSTR* result) override;
  HRESULT COMCALL get_SenderName(BSTR* result) override;
  HRESULT COMCALL get_Server(BSTR* result) override;
  HRESULT COMCALL get_Newsgroup(BSTR* result) override;
  HRESULT COMCALL get_AnswerMessageID(BSTR* result) override;
  HRESULT COMCALL get_SenderAddrName(BSTR* result) override;
  HRESULT COMCALL get_Subject(BSTR* result) override;
  HRESULT COMCALL get_MessageID(BSTR* result) override;
  HRESULT COMCALL get_OrigSubject(BSTR* result) override;
  HRESULT COMCALL get_DateReceived(DATE* result) override;
  HRESULT COMCALL get_DateSaved(DATE* result) override;
  HRESULT COMCALL get_DateCreated(DATE* result) override;

 private:
  ~OEMessage() override;

  dbx::DbxMessage record_;
  std::string listed_from_;
  OEMsgSegments* segments_ = nullptr;  // owned reference, once read
};

class OEMessages final : public DispatchObject<_OEMessages> {
 public:
  OEMessages();

  // Appends a message for `record`, listed from the file at `listed_from`.
  void AddMessage(dbx::DbxMessage record, const std::string& listed_from);

  // The message at 1-based `position`; none (no error) outside 1..Count.
  HRESULT COMCALL get_Item(LONG* vntIndexKey, _OEMessage** result) override;
  HRESULT COMCALL get_Count(LONG* result) override;
  HRESULT COMCALL get_NewEnum(IUnknown** result) override;

 private:
  ~OEMessages() override;
  std::vector<OEMessage*> items_;  // owned references
};

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OE_MESSAGES_H_
