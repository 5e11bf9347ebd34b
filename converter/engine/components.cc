// The engine's two outside components: DbxMessageReader over the DBX reader
// library and EmlDateParser over the message-date reader.
#include "converter/engine/components.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "converter/engine/message_date.h"
#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/com/simple_object.h"
#include "reader/dbx/date_time.h"
#include "reader/dbx/session.h"

namespace tollan {

namespace {

constexpr double kUnixEpochAsDate = 25569.0;  // 1970-01-01 as an automation date

class DbxMessageReader final : public com::SimpleObject<IDbxMessageReader, IID_IDbxMessageReader> {
 public:
  HRESULT COMCALL OpenDbx(BSTR path) override { return Open(com::Utf8FromBstr(path)); }
  HRESULT COMCALL OpenDbxBytes(BSTR path) override {
    if (path == nullptr) return Open(std::string());
    return Open(std::string(reinterpret_cast<const char*>(path), SysStringByteLen(path)));
  }
  HRESULT COMCALL GetDeclaredCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = readable_ ? static_cast<LONG>(std::min<uint32_t>(contents_.header.message_count, 0x7FFFFFFF)) : -1;
    return S_OK;
  }
  HRESULT COMCALL GetOpenError(BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = com::AllocBstrUtf8(readable_ ? std::string() : error_);
    return S_OK;
  }
  HRESULT Open(const std::string& file) {
    CloseDbx();
    dbx::DbxFolderOpen open = session_.OpenFolderPath(file, false, &contents_);
    int code = open.status.code();
    readable_ = code == dbx::kResultOk || code == dbx::kResultUnreadableBody;
    if (!readable_) error_ = open.status.ToString();
    return S_OK;
  }
  HRESULT COMCALL CloseDbx() override {
    session_.CloseFile();
    damage_index_ = -1;
    contents_ = dbx::DbxFolderContents();
    readable_ = false;
    return S_OK;
  }
  HRESULT COMCALL CountMessages(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = readable_ ? static_cast<LONG>(contents_.messages.size()) : -1;
    return S_OK;
  }
  HRESULT COMCALL GetSubject(LONG index, BSTR* subject) override {
    const dbx::DbxMessage* m = Message(index);
    if (m == nullptr || subject == nullptr) return BadIndex(index);
    *subject = com::AllocBstr(com::Utf16FromAnsi(m->subject));
    return S_OK;
  }
  HRESULT COMCALL GetMessageText(LONG index, BSTR* text) override {
    std::string bytes;
    HRESULT hr = text == nullptr ? E_POINTER : ReadMessage(index, &bytes);
    if (SUCCEEDED(hr)) *text = com::AllocBstr(com::Utf16FromAnsi(bytes));
    return hr;
  }
  HRESULT COMCALL GetMessageBytes(LONG index, BSTR* out) override {
    std::string bytes;
    HRESULT hr = out == nullptr ? E_POINTER : ReadMessage(index, &bytes);
    if (SUCCEEDED(hr)) *out = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
    return hr;
  }
  HRESULT COMCALL TakeMessageBytes(LONG index, std::string* bytes) override {
    return bytes == nullptr ? E_POINTER : ReadMessage(index, bytes);
  }
  HRESULT COMCALL GetSender(LONG index, BSTR* sender) override {
    const dbx::DbxMessage* m = Message(index);
    if (m == nullptr || sender == nullptr) return BadIndex(index);
    std::string text = m->sender_name;
    if (!m->sender_addr.empty() && m->sender_addr != m->sender_name) {
      text += (text.empty() ? "<" : " <") + m->sender_addr + ">";
    }
    *sender = com::AllocBstr(com::Utf16FromAnsi(text));
    return S_OK;
  }
  HRESULT COMCALL GetBodyDamage(LONG index, BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = com::AllocBstrUtf8(index == damage_index_ ? damage_ : std::string());
    return S_OK;
  }
  HRESULT COMCALL GetReceivedDate(LONG index, DATE* date) override {
    const dbx::DbxMessage* m = Message(index);
    if (m == nullptr || date == nullptr) return BadIndex(index);
    *date = m->date_received;
    return m->date_received != 0 ? S_OK : S_FALSE;
  }

 private:
  // The stored message `index`, for either form of the text.
  HRESULT ReadMessage(LONG index, std::string* bytes) {
    const dbx::DbxMessage* m = Message(index);
    if (m == nullptr) return BadIndex(index);
    if (m->body_position == 0 || m->body_unreadable) {
      return com::RaiseError(com::kErrInvalidArgument, "DbxMessageReader",
                             "the message has no readable body");
    }
    // A damaged chain gives what it still holds.
    dbx::DbxSalvagedBody body;
    dbx::DbxStatus s = session_.SalvageBody(m->body_position, &body);
    if (!s.ok() || !body.found) {
      return com::RaiseError(com::kErrInvalidArgument, "DbxMessageReader",
                             "the message's body: " +
                                 (s.ok() ? std::string("not found") : s.ToString()));
    }
    bytes->swap(body.text);
    damage_index_ = index;
    damage_.swap(body.damage);
    return damage_.empty() ? S_OK : S_FALSE;
  }
  const dbx::DbxMessage* Message(LONG index) const {
    if (!readable_ || index < 0 || static_cast<size_t>(index) >= contents_.messages.size()) {
      return nullptr;
    }
    return &contents_.messages[static_cast<size_t>(index)];
  }
  HRESULT BadIndex(LONG index) {
    return com::RaiseError(com::kErrSubscriptOutOfRange, "DbxMessageReader",
                           "no message " + std::to_string(index) +
                               (readable_ ? std::string() : " (" + error_ + ")"));
  }

  dbx::DbxSession session_;
  dbx::DbxFolderContents contents_;
  bool readable_ = false;
  std::string error_ = "no file opened";
  // What the last message read lost.
  LONG damage_index_ = -1;
  std::string damage_;
};

class EmlDateParser final : public com::SimpleObject<IEmlDateParser, IID_IEmlDateParser> {
 public:
  HRESULT COMCALL LoadFile(BSTR path, LONG* status) override {
    date_ = MessageDateFromFile(com::Utf8FromBstr(path));
    if (status) *status = 0;
    return S_OK;
  }
  HRESULT COMCALL LoadBytes(const char* bytes, LONG length, LONG* status) override {
    if (bytes == nullptr && length != 0) return E_POINTER;
    date_ = MessageDateFromHeaders(std::string_view(bytes, length > 0 ? static_cast<size_t>(length) : 0));
    if (status) *status = 0;
    return S_OK;
  }
  HRESULT COMCALL MessageDate(DATE* date) override {
    if (date == nullptr) return E_POINTER;
    *date = date_ ? static_cast<double>(*date_) / 86400.0 + kUnixEpochAsDate : 0;
    return date_ ? S_OK : S_FALSE;
  }

 private:
  std::optional<int64_t> date_;
};

}  // namespace

HRESULT CreateEngineComponent(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* created = nullptr;
  if (clsid == CLSID_DbxMessageReader) {
    created = new (std::nothrow) DbxMessageReader();
  } else if (clsid == CLSID_EmlDateParser) {
    created = new (std::nothrow) EmlDateParser();
  } else {
    return REGDB_E_CLASSNOTREG;
  }
  if (created == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = created->QueryInterface(riid, object);
  created->Release();
  return hr;
}

}  // namespace tollan
