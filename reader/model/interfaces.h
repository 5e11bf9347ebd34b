// The nine dual interfaces of Kestrel, as an early-bound client calls them.
// Each derives from IDispatch; its members follow the seven IUnknown and
// IDispatch methods in the order of the type library (type_library.cc).
//
// Conventions, as for any automation interface:
// - property reads are get_<Name>, property assignments put_<Name>, methods
//   carry their name; the last parameter receives the result;
// - a returned string or interface belongs to the caller (SysFreeString /
//   Release); a null interface is the empty object ("none");
// - ByRef parameters are pointers, and the member may change the caller's
//   variable (OE::OpenFolder appends ".dbx" to the caller's string);
// - an optional ByRef parameter may be passed as null, which stands for its
//   default;
// - a failing member returns a failure HRESULT (0x800A0000 | error number)
//   and leaves an error object for GetErrorInfo (platform/com/errors.h).

#ifndef TOLLAN_READER_MODEL_INTERFACES_H_
#define TOLLAN_READER_MODEL_INTERFACES_H_

#include "platform/com/interfaces.h"

struct _OEIdentities;
struct _OEIdentity;
struct _OEFolders;
struct _OEFolder;
struct _OEMessages;
struct _OEMessage;
struct _OEMsgSegments;
struct _OEMsgSegment;

struct _OE : IDispatch {
  virtual HRESULT COMCALL get_OEIdentities(_OEIdentities** result) = 0;
  virtual HRESULT COMCALL get_OEFolders(_OEFolders** result) = 0;
  virtual HRESULT COMCALL put_OEStore(BSTR* vDir) = 0;
  virtual HRESULT COMCALL get_OEStore(BSTR* result) = 0;
  virtual HRESULT COMCALL get_DefaultUser(BSTR* result) = 0;
  virtual HRESULT COMCALL get_DefaultStore(BSTR* result) = 0;
  virtual HRESULT COMCALL OpenFolder(BSTR* sFoldername, VARIANT_BOOL* bLock, LONG* result) = 0;
  virtual HRESULT COMCALL OpenStore(VARIANT_BOOL* bInactive, VARIANT_BOOL* bLock,
                                    LONG* result) = 0;
};

struct _OEFolders : IDispatch {
  virtual HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEFolder** result) = 0;
  virtual HRESULT COMCALL get_Count(LONG* result) = 0;
  virtual HRESULT COMCALL get_NewEnum(IUnknown** result) = 0;
};

struct _OEFolder : IDispatch {
  virtual HRESULT COMCALL get_FileSize(LONG* result) = 0;
  virtual HRESULT COMCALL get_InternalName(BSTR* result) = 0;
  virtual HRESULT COMCALL get_HasSubfolders(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_IsActive(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_FolderIndex(LONG* result) = 0;
  virtual HRESULT COMCALL get_ChildOf(BSTR* result) = 0;
  virtual HRESULT COMCALL OpenFolder(VARIANT_BOOL* bLock, LONG* result) = 0;
  virtual HRESULT COMCALL CloseFolder() = 0;
  virtual HRESULT COMCALL get_OEMessages(_OEMessages** result) = 0;
  virtual HRESULT COMCALL get_MessageUnread(LONG* result) = 0;
  virtual HRESULT COMCALL get_MessageCount(LONG* result) = 0;
  virtual HRESULT COMCALL get_SessionNumber(LONG* result) = 0;
  virtual HRESULT COMCALL get_SourceType(BSTR* result) = 0;
  virtual HRESULT COMCALL get_FolderFile(BSTR* result) = 0;
  virtual HRESULT COMCALL put_FolderFile(BSTR* sFile) = 0;
  virtual HRESULT COMCALL get_FolderName(BSTR* result) = 0;
};

struct _OEMessages : IDispatch {
  virtual HRESULT COMCALL get_Item(LONG* vntIndexKey, _OEMessage** result) = 0;
  virtual HRESULT COMCALL get_Count(LONG* result) = 0;
  virtual HRESULT COMCALL get_NewEnum(IUnknown** result) = 0;
};

struct _OEMessage : IDispatch {
  virtual HRESULT COMCALL get_OEMsgSegments(_OEMsgSegments** result) = 0;
  virtual HRESULT COMCALL get_ThreadIgnored(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_MessageRead(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_ThreadWatched(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_PendingChanges(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_AttachmentPresent(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_DigitallySigned(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_NewsPosting(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_MessageMarked(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_MessagePriority(SHORT* result) = 0;
  virtual HRESULT COMCALL get_MessageLines(LONG* result) = 0;
  virtual HRESULT COMCALL get_MailAccount(BSTR* result) = 0;
  virtual HRESULT COMCALL get_RegistryKey(BSTR* result) = 0;
  virtual HRESULT COMCALL get_RecipientAddr(BSTR* result) = 0;
  virtual HRESULT COMCALL get_RecipientName(BSTR* result) = 0;
  virtual HRESULT COMCALL get_SenderAddr(BSTR* result) = 0;
  virtual HRESULT COMCALL get_SenderName(BSTR* result) = 0;
  virtual HRESULT COMCALL get_Server(BSTR* result) = 0;
  virtual HRESULT COMCALL get_Newsgroup(BSTR* result) = 0;
  virtual HRESULT COMCALL get_AnswerMessageID(BSTR* result) = 0;
  virtual HRESULT COMCALL get_SenderAddrName(BSTR* result) = 0;
  virtual HRESULT COMCALL get_Subject(BSTR* result) = 0;
  virtual HRESULT COMCALL get_MessageID(BSTR* result) = 0;
  virtual HRESULT COMCALL get_OrigSubject(BSTR* result) = 0;
  virtual HRESULT COMCALL get_DateReceived(DATE* result) = 0;
  virtual HRESULT COMCALL get_DateSaved(DATE* result) = 0;
  virtual HRESULT COMCALL get_DateCreated(DATE* result) = 0;
};

struct _OEMsgSegments : IDispatch {
  virtual HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEMsgSegment** result) = 0;
  virtual HRESULT COMCALL get_Count(LONG* result) = 0;
  virtual HRESULT COMCALL get_NewEnum(IUnknown** result) = 0;
};

struct _OEMsgSegment : IDispatch {
  virtual HRESULT COMCALL get_Key(BSTR* result) = 0;
  virtual HRESULT COMCALL put_Key(BSTR value) = 0;
  virtual HRESULT COMCALL get_msgSegmentLen(SHORT* result) = 0;
  virtual HRESULT COMCALL get_msgText(BSTR* result) = 0;
};

struct _OEIdentities : IDispatch {
  virtual HRESULT COMCALL Add(BSTR* Key, VARIANT_BOOL* OERunning, BSTR* UserName,
                              VARIANT_BOOL* BackgroundCompact, VARIANT_BOOL* MigrationDone,
                              BSTR* StorePath, BSTR* VersionNumber, _OEIdentity** result) = 0;
  virtual HRESULT COMCALL get_Item(VARIANT* vntIndexKey, _OEIdentity** result) = 0;
  virtual HRESULT COMCALL get_Count(LONG* result) = 0;
  virtual HRESULT COMCALL get_NewEnum(IUnknown** result) = 0;
};

struct _OEIdentity : IDispatch {
  virtual HRESULT COMCALL get_Key(BSTR* result) = 0;
  virtual HRESULT COMCALL put_Key(BSTR value) = 0;
  virtual HRESULT COMCALL get_StorePath(BSTR* result) = 0;
  virtual HRESULT COMCALL get_VersionNumber(BSTR* result) = 0;
  virtual HRESULT COMCALL get_MigrationDone(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_BackgroundCompact(VARIANT_BOOL* result) = 0;
  virtual HRESULT COMCALL get_UserName(BSTR* result) = 0;
  virtual HRESULT COMCALL get_OERunning(VARIANT_BOOL* result) = 0;
};

#endif  // TOLLAN_READER_MODEL_INTERFACES_H_
