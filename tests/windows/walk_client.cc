// The walk of walk.vbs from C++: creates OE by its class identity with
// CoCreateInstance and binds early, through the vtables of the dual
// interfaces. Prints the same JSON lines. Usage: walk_client STORE_DIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "reader/model/guids.h"
#include "reader/model/interfaces.h"

namespace {

using namespace kestrel;

std::string Quote(const wchar_t* text, UINT length) {
  std::string out = "\"";
  char escape[8];
  for (UINT i = 0; i < length; ++i) {
    const unsigned c = static_cast<unsigned short>(text[i]);
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 32 || c > 126) {
      std::snprintf(escape, sizeof(escape), "\\u%04X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Reads a string property and frees it.
template <class I>
std::string Text(I* object, HRESULT (STDMETHODCALLTYPE I::*get)(BSTR*)) {
  BSTR text = nullptr;
  (object->*get)(&text);
  std::string quoted = Quote(text, SysStringLen(text));
  SysFreeString(text);
  return quoted;
}
template <class I, class T>
T Value(I* object, HRESULT (STDMETHODCALLTYPE I::*get)(T*)) {
  T value{};
  (object->*get)(&value);
  return value;
}
template <class I>
const char* Flag(I* object, HRESULT (STDMETHODCALLTYPE I::*get)(VARIANT_BOOL*)) {
  return Value(object, get) != VARIANT_FALSE ? "true" : "false";
}
std::string Date(_OEMessage* m, HRESULT (STDMETHODCALLTYPE _OEMessage::*get)(DATE*)) {
  SYSTEMTIME t = {};
  VariantTimeToSystemTime(Value(m, get), &t);
  char text[32];
  std::snprintf(text, sizeof(text), "\"%04u-%02u-%02uT%02u:%02u:%02uZ\"", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return text;
}

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "walk_client: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
  return 1;
}

void PrintMessage(_OEMessage* m) {
  std::string line = "{\"Subject\":" + Text(m, &_OEMessage::get_Subject) +
                     ",\"OrigSubject\":" + Text(m, &_OEMessage::get_OrigSubject) +
                     ",\"SenderName\":" + Text(m, &_OEMessage::get_SenderName) +
                     ",\"SenderAddr\":" + Text(m, &_OEMessage::get_SenderAddr) +
                     ",\"SenderAddrName\":" + Text(m, &_OEMessage::get_SenderAddrName) +
                     ",\"RecipientName\":" + Text(m, &_OEMessage::get_RecipientName) +
                     ",\"RecipientAddr\":" + Text(m, &_OEMessage::get_RecipientAddr) +
                     ",\"DateCreated\":" + Date(m, &_OEMessage::get_DateCreated) +
                     ",\"DateSaved\":" + Date(m, &_OEMessage::get_DateSaved) +
                     ",\"DateReceived\":" + Date(m, &_OEMessage::get_DateReceived) +
                     ",\"MessageID\":" + Text(m, &_OEMessage::get_MessageID) +
                     ",\"AnswerMessageID\":" + Text(m, &_OEMessage::get_AnswerMessageID) +
                     ",\"Newsgroup\":" + Text(m, &_OEMessage::get_Newsgroup) +
                     ",\"Server\":" + Text(m, &_OEMessage::get_Server) +
                     ",\"MailAccount\":" + Text(m, &_OEMessage::get_MailAccount) +
                     ",\"RegistryKey\":" + Text(m, &_OEMessage::get_RegistryKey) +
                     ",\"MessageLines\":" + std::to_string(Value(m, &_OEMessage::get_MessageLines)) +
                     ",\"MessagePriority\":" +
                     std::to_string(Value(m, &_OEMessage::get_MessagePriority));
  const std::pair<const char*, HRESULT (STDMETHODCALLTYPE _OEMessage::*)(VARIANT_BOOL*)> flags[] = {
      {"MessageRead", &_OEMessage::get_MessageRead},
      {"MessageMarked", &_OEMessage::get_MessageMarked},
      {"AttachmentPresent", &_OEMessage::get_AttachmentPresent},
      {"DigitallySigned", &_OEMessage::get_DigitallySigned},
      {"NewsPosting", &_OEMessage::get_NewsPosting},
      {"PendingChanges", &_OEMessage::get_PendingChanges},
      {"ThreadWatched", &_OEMessage::get_ThreadWatched},
      {"ThreadIgnored", &_OEMessage::get_ThreadIgnored}};
  for (const auto& [name, get] : flags) line += std::string(",\"") + name + "\":" + Flag(m, get);
  _OEMsgSegments* segments = nullptr;
  m->get_OEMsgSegments(&segments);
  if (segments == nullptr) {
    line += ",\"BodySize\":null";
  } else {
    std::wstring body;
    for (LONG s = 1; s <= Value(segments, &_OEMsgSegments::get_Count); ++s) {
      VARIANT index;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = s;
      _OEMsgSegment* segment = nullptr;
      segments->get_Item(&index, &segment);
      BSTR text = nullptr;
      segment->get_msgText(&text);
      body.append(text, SysStringLen(text));
      SysFreeString(text);
      segment->Release();
    }
    segments->Release();
    line += ",\"BodySize\":" + std::to_string(body.size()) +
            ",\"Body\":" + Quote(body.data(), static_cast<UINT>(body.size()));
  }
  std::printf("%s}\n", line.c_str());
}

int Walk(_OE* oe, const char* store) {
  const int n = MultiByteToWideChar(CP_ACP, 0, store, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, store, -1, wide.data(), n);
  BSTR dir = SysAllocString(wide.c_str());
  HRESULT hr = oe->put_OEStore(&dir);
  SysFreeString(dir);
  if (FAILED(hr)) return Fail("OE.OEStore", hr);
  LONG code = 0;
  hr = oe->OpenStore(nullptr, nullptr, &code);  // both optional: False, False
  if (FAILED(hr)) return Fail("OE.OpenStore", hr);
  _OEFolders* folders = nullptr;
  oe->get_OEFolders(&folders);
  if (folders == nullptr) return Fail("OE.OEFolders", E_POINTER);
  std::printf("{\"OEStore\":%s,\"OpenStore\":%ld,\"Folders\":%ld}\n",
              Text(oe, &_OE::get_OEStore).c_str(), static_cast<long>(code),
              static_cast<long>(Value(folders, &_OEFolders::get_Count)));
  IUnknown* unknown = nullptr;
  folders->get_NewEnum(&unknown);
  IEnumVARIANT* items = nullptr;
  if (unknown != nullptr) unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
  VARIANT item;
  VariantInit(&item);
  while (items != nullptr && items->Next(1, &item, nullptr) == S_OK) {
    _OEFolder* folder = nullptr;
    item.pdispVal->QueryInterface(IID__OEFolder, reinterpret_cast<void**>(&folder));
    VariantClear(&item);
    if (folder == nullptr) continue;
    LONG opened = 0;
    folder->OpenFolder(nullptr, &opened);
    _OEMessages* messages = nullptr;
    folder->get_OEMessages(&messages);
    const LONG count = messages != nullptr ? Value(messages, &_OEMessages::get_Count) : -1;
    std::printf("{\"FolderName\":%s,\"FolderFile\":%s,\"FolderIndex\":%ld,\"OpenFolder\":%ld,"
                "\"Messages\":%ld}\n",
                Text(folder, &_OEFolder::get_FolderName).c_str(),
                Text(folder, &_OEFolder::get_FolderFile).c_str(),
                static_cast<long>(Value(folder, &_OEFolder::get_FolderIndex)),
                static_cast<long>(opened), static_cast<long>(count));
    for (LONG i = 1; i <= count; ++i) {
      _OEMessage* m = nullptr;
      LONG position = i;
      messages->get_Item(&position, &m);
      if (m == nullptr) continue;
      PrintMessage(m);
      m->Release();
    }
    if (messages != nullptr) messages->Release();
    folder->CloseFolder();
    folder->Release();
  }
  if (items != nullptr) items->Release();
  if (unknown != nullptr) unknown->Release();
  folders->Release();
  return 0;
}

// What GetTypeInfo of OE hands out: the interface's name and flags, the
// dispatch identifier of OpenStore and the defaults of its two optional
// parameters, as the type library compiled into kestrel.dll records them.
void PrintTypeInfo(_OE* oe) {
  ITypeInfo* info = nullptr;
  if (FAILED(oe->GetTypeInfo(0, 0, &info)) || info == nullptr) {
    std::printf("{\"TypeInfo\":null}\n");
    return;
  }
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  const WORD flags = attr != nullptr ? attr->wTypeFlags : 0;
  if (attr != nullptr) info->ReleaseTypeAttr(attr);
  LPOLESTR member = const_cast<LPOLESTR>(L"OpenStore");
  MEMBERID id = 0;
  info->GetIDsOfNames(&member, 1, &id);
  std::string defaults;
  // The type information of a dual interface lists the dispatch view; its
  // vtable view (GetRefTypeOfImplType(-1)) carries the same members.
  for (UINT i = 0;; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) break;
    if (func->memid == id && func->invkind == INVOKE_FUNC) {
      for (SHORT p = 0; p < func->cParams; ++p) {
        const PARAMDESC& param = func->lprgelemdescParam[p].paramdesc;
        if (!defaults.empty()) defaults += ",";
        if ((param.wParamFlags & PARAMFLAG_FHASDEFAULT) && param.pparamdescex != nullptr) {
          VARIANT value;
          VariantInit(&value);
          VariantChangeType(&value, &param.pparamdescex->varDefaultValue, 0, VT_I4);
          defaults += std::to_string(value.lVal);
        } else {
          defaults += "null";
        }
      }
    }
    info->ReleaseFuncDesc(func);
  }
  std::printf("{\"TypeInfo\":%s,\"Dual\":%s,\"Hidden\":%s,\"Nonextensible\":%s,"
              "\"OpenStoreId\":%ld,\"OpenStoreDefaults\":[%s]}\n",
              Quote(name, SysStringLen(name)).c_str(), flags & TYPEFLAG_FDUAL ? "true" : "false",
              flags & TYPEFLAG_FHIDDEN ? "true" : "false",
              flags & TYPEFLAG_FNONEXTENSIBLE ? "true" : "false", static_cast<long>(id),
              defaults.c_str());
  SysFreeString(name);
  info->Release();
}

// DllCanUnloadNow of the loaded kestrel.dll: S_OK when no object and no
// lock is left.
bool CanUnloadNow() {
  HMODULE module = GetModuleHandleW(L"kestrel.dll");
  if (module == nullptr) return false;
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return entry != nullptr && entry() == S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: walk_client STORE_DIR\n");
    return 2;
  }
  CoInitialize(nullptr);
  _OE* oe = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_OE, nullptr, CLSCTX_INPROC_SERVER, IID__OE,
                                      reinterpret_cast<void**>(&oe));
  int rc = 0;
  if (FAILED(hr)) {
    rc = Fail("CoCreateInstance of OE", hr);
  } else {
    _OEIdentities* identities = nullptr;
    oe->get_OEIdentities(&identities);
    std::printf("{\"DefaultUser\":%s,\"DefaultStore\":%s,\"Identities\":%ld}\n",
                Text(oe, &_OE::get_DefaultUser).c_str(), Text(oe, &_OE::get_DefaultStore).c_str(),
                static_cast<long>(identities != nullptr
                                      ? Value(identities, &_OEIdentities::get_Count) : -1));
    if (identities != nullptr) identities->Release();
    PrintTypeInfo(oe);
    rc = Walk(oe, argv[1]);
    const bool while_held = CanUnloadNow();
    oe->Release();
    std::printf("{\"CanUnloadWhileHeld\":%s,\"CanUnloadAfterRelease\":%s}\n",
                while_held ? "true" : "false", CanUnloadNow() ? "true" : "false");
    std::printf("{\"End\":true}\n");
  }
  CoUninitialize();
  return rc;
}
