// The --object-model route of `kestrel folders` and `kestrel messages`:
// the same listing, read as a COM client of the registered Kestrel server
// (Kestrel.OE, Kestrel.OEFolder created through the registration file).
#include <cstdio>

#include "platform/com/activation.h"
#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"
#include "reader/dbx/date_time.h"
#include "reader/model/guids.h"
#include "reader/model/interfaces.h"
#include "tools/kestrel/com_commands.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/json_line.h"

namespace kestrel {
namespace {

using tollan::com::ComPtr;

// Fails with the error object the failed call left.
int FailCall(const std::string& what, HRESULT hr) {
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  return Fail(what + ": " + error.description);
}

template <class I>
std::string Text(I* object, HRESULT (COMCALL I::*get)(BSTR*)) {
  BSTR text = nullptr;
  (object->*get)(&text);
  std::string result = tollan::com::Utf8FromBstr(text);
  SysFreeString(text);
  return result;
}
template <class I, class T>
T Number(I* object, HRESULT (COMCALL I::*get)(T*)) {
  T value{};
  (object->*get)(&value);
  return value;
}
template <class I>
bool Flag(I* object, HRESULT (COMCALL I::*get)(VARIANT_BOOL*)) {
  return Number(object, get) != VARIANT_FALSE;
}

// An OE object of the registered server with its store directory set.
HRESULT CreateOE(const std::string& store_dir, ComPtr<_OE>* oe) {
  HRESULT hr = tollan::com::CreateObject("Kestrel.OE", IID__OE, oe->OutVoid());
  if (FAILED(hr)) return hr;
  tollan::com::Bstr dir(store_dir.c_str());
  BSTR raw = dir.get();
  return (*oe)->put_OEStore(&raw);
}

}  // namespace

int RunFoldersThroughObjectModel(const std::string& store_dir, bool inactive) {
  ComPtr<_OE> oe;
  HRESULT hr = CreateOE(store_dir, &oe);
  if (FAILED(hr)) return FailCall("cannot create Kestrel.OE (run kestrel register)", hr);
  VARIANT_BOOL all = inactive ? VARIANT_TRUE : VARIANT_FALSE;
  LONG result = 0;
  hr = oe->OpenStore(&all, nullptr, &result);
  if (FAILED(hr)) return FailCall("OE.OpenStore", hr);
  if (result != 0) return Fail("OE.OpenStore of " + store_dir + " returned " + std::to_string(result));

  ComPtr<_OEFolders> folders;
  oe->get_OEFolders(folders.Out());
  ComPtr<IUnknown> unknown;
  folders->get_NewEnum(unknown.Out());
  ComPtr<IEnumVARIANT> items = unknown.As<IEnumVARIANT>(IID_IEnumVARIANT);
  VARIANT item;
  while (items && items->Next(1, &item, nullptr) == S_OK) {
    tollan::com::Variant owner;
    *owner.get() = item;
    ComPtr<_OEFolder> f;
    item.pdispVal->QueryInterface(IID__OEFolder, f.OutVoid());
    if (!f) continue;
    JsonLine line;
    line.Int("FolderIndex", Number(f.get(), &_OEFolder::get_FolderIndex))
        .String("ChildOf", Text(f.get(), &_OEFolder::get_ChildOf))
        .String("FolderName", Text(f.get(), &_OEFolder::get_FolderName))
        .String("FolderFile", Text(f.get(), &_OEFolder::get_FolderFile))
        .Bool("IsActive", Flag(f.get(), &_OEFolder::get_IsActive))
        .Bool("HasSubfolders", Flag(f.get(), &_OEFolder::get_HasSubfolders))
        .Int("MessageCount", Number(f.get(), &_OEFolder::get_MessageCount))
        .Int("MessageUnread", Number(f.get(), &_OEFolder::get_MessageUnread));
    std::printf("%s\n", line.Finish().c_str());
  }
  return 0;
}

int RunMessagesThroughObjectModel(const std::string& file) {
  std::string dir, name;
  SplitPath(file, &dir, &name);
  ComPtr<_OE> oe;
  HRESULT hr = CreateOE(dir, &oe);
  if (FAILED(hr)) return FailCall("cannot create Kestrel.OE (run kestrel register)", hr);
  ComPtr<_OEFolder> folder;
  hr = tollan::com::CreateObject("Kestrel.OEFolder", IID__OEFolder, folder.OutVoid());
  if (FAILED(hr)) return FailCall("cannot create Kestrel.OEFolder", hr);
  tollan::com::Bstr file_name(name.c_str());
  BSTR raw = file_name.get();
  folder->put_FolderFile(&raw);
  LONG result = 0;
  hr = folder->OpenFolder(nullptr, &result);
  if (FAILED(hr)) return FailCall("OEFolder.OpenFolder", hr);
  std::printf("%d\n", static_cast<int>(result));
  if (result != 0 && result != 1005) {
    std::fflush(stdout);
    return Fail("OEFolder.OpenFolder of " + file + " returned " + std::to_string(result));
  }

  ComPtr<_OEMessages> messages;
  folder->get_OEMessages(messages.Out());
  LONG count = Number(messages.get(), &_OEMessages::get_Count);
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<_OEMessage> m;
    LONG position = i;
    messages->get_Item(&position, m.Out());
    JsonLine line;
    line.String("Subject", Text(m.get(), &_OEMessage::get_Subject))
        .String("OrigSubject", Text(m.get(), &_OEMessage::get_OrigSubject))
        .String("SenderName", Text(m.get(), &_OEMessage::get_SenderName))
        .String("SenderAddr", Text(m.get(), &_OEMessage::get_SenderAddr))
        .String("SenderAddrName", Text(m.get(), &_OEMessage::get_SenderAddrName))
        .String("RecipientName", Text(m.get(), &_OEMessage::get_RecipientName))
        .String("RecipientAddr", Text(m.get(), &_OEMessage::get_RecipientAddr))
        .String("DateCreated", dbx::FormatIso8601(Number(m.get(), &_OEMessage::get_DateCreated)))
        .String("DateSaved", dbx::FormatIso8601(Number(m.get(), &_OEMessage::get_DateSaved)))
        .String("DateReceived", dbx::FormatIso8601(Number(m.get(), &_OEMessage::get_DateReceived)))
        .String("MessageID", Text(m.get(), &_OEMessage::get_MessageID))
        .String("AnswerMessageID", Text(m.get(), &_OEMessage::get_AnswerMessageID))
        .String("Newsgroup", Text(m.get(), &_OEMessage::get_Newsgroup))
        .String("Server", Text(m.get(), &_OEMessage::get_Server))
        .String("MailAccount", Text(m.get(), &_OEMessage::get_MailAccount))
        .String("RegistryKey", Text(m.get(), &_OEMessage::get_RegistryKey))
        .Int("MessageLines", Number(m.get(), &_OEMessage::get_MessageLines))
        .Int("MessagePriority", Number(m.get(), &_OEMessage::get_MessagePriority))
        .Bool("MessageRead", Flag(m.get(), &_OEMessage::get_MessageRead))
        .Bool("MessageMarked", Flag(m.get(), &_OEMessage::get_MessageMarked))
        .Bool("AttachmentPresent", Flag(m.get(), &_OEMessage::get_AttachmentPresent))
        .Bool("DigitallySigned", Flag(m.get(), &_OEMessage::get_DigitallySigned))
        .Bool("NewsPosting", Flag(m.get(), &_OEMessage::get_NewsPosting))
        .Bool("PendingChanges", Flag(m.get(), &_OEMessage::get_PendingChanges))
        .Bool("ThreadWatched", Flag(m.get(), &_OEMessage::get_ThreadWatched))
        .Bool("ThreadIgnored", Flag(m.get(), &_OEMessage::get_ThreadIgnored));
    ComPtr<_OEMsgSegments> segments;
    hr = m->get_OEMsgSegments(segments.Out());
    if (FAILED(hr)) {
      const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
      std::fprintf(stderr, "kestrel: message %d: body: %s\n", static_cast<int>(i),
                   error.description.c_str());
    }
    if (segments) {
      int64_t size = 0;
      const LONG parts = Number(segments.get(), &_OEMsgSegments::get_Count);
      for (LONG p = 1; p <= parts; ++p) {
        ComPtr<_OEMsgSegment> segment;
        tollan::com::Variant index = tollan::com::Variant::Long(p);
        segments->get_Item(index.get(), segment.Out());
        BSTR text = nullptr;
        segment->get_msgText(&text);
        size += SysStringLen(text);
        SysFreeString(text);
      }
      line.Int("BodySize", size);
    } else {
      line.Null("BodySize");
    }
    std::printf("%s\n", line.Finish().c_str());
  }
  folder->CloseFolder();
  return 0;
}

}  // namespace kestrel
