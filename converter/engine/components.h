// The two outside components the conversion engine binds early by class
// identity: the DBX message reader used for hand-picked files and the parser
// that reads a message's date from a written .eml file. Both are built into
// the converter; CreateEngineComponent is their class factory.
#ifndef TOLLAN_CONVERTER_ENGINE_COMPONENTS_H_
#define TOLLAN_CONVERTER_ENGINE_COMPONENTS_H_

#include <string>

#include "platform/com/interfaces.h"

namespace tollan {

// {DBA51CFA-A813-4850-8946-9F3B11B0A795}
inline constexpr CLSID CLSID_DbxMessageReader = {
    0xDBA51CFA, 0xA813, 0x4850, {0x89, 0x46, 0x9F, 0x3B, 0x11, 0xB0, 0xA7, 0x95}};
// {45F5E824-23A1-4E13-BCB5-5D8D764E61D3}
inline constexpr IID IID_IDbxMessageReader = {
    0x45F5E824, 0x23A1, 0x4E13, {0xBC, 0xB5, 0x5D, 0x8D, 0x76, 0x4E, 0x61, 0xD3}};
// {D54033AB-E017-44DA-B67E-02DE4B36EA54}
inline constexpr CLSID CLSID_EmlDateParser = {
    0xD54033AB, 0xE017, 0x44DA, {0xB6, 0x7E, 0x02, 0xDE, 0x4B, 0x36, 0xEA, 0x54}};
// {E656B867-992C-4462-A27D-EBE604EC3A48}
inline constexpr IID IID_IEmlDateParser = {
    0xE656B867, 0x992C, 0x4462, {0xA2, 0x7D, 0xEB, 0xE6, 0x04, 0xEC, 0x3A, 0x48}};

// Reads the messages of one .dbx folder file. Indexes run from 0.
struct IDbxMessageReader : IUnknown {
  // Opens the file read-only; a later CountMessages reports whether it could
  // be read.
  virtual HRESULT COMCALL OpenDbx(BSTR path) = 0;
  virtual HRESULT COMCALL CloseDbx() = 0;
  // The number of messages, or -1 when the file cannot be read.
  virtual HRESULT COMCALL CountMessages(LONG* count) = 0;
  // The subject (may be empty).
  virtual HRESULT COMCALL GetSubject(LONG index, BSTR* subject) = 0;
  // The complete stored Internet message, headers and body. Each byte of the
  // file is one character (Windows-1252), so the text converts back to the
  // stored bytes exactly. Fails (error 5) when the body cannot be read.
  virtual HRESULT COMCALL GetMessageText(LONG index, BSTR* text) = 0;
  // Added after the first four members: the received date of the message's
  // record, S_FALSE with 0 when it has none.
  virtual HRESULT COMCALL GetReceivedDate(LONG index, DATE* date) = 0;
  // Added after GetReceivedDate: the same message as GetMessageText, as the
  // stored bytes themselves in a byte string (SysStringByteLen bytes),
  // without the round trip through characters.
  // S_FALSE (with the bytes read) when the body chain was cut short or
  // damaged, so the text is incomplete: it holds the blocks that could be
  // read, never bytes from elsewhere (GetBodyDamage says what was lost).
  virtual HRESULT COMCALL GetMessageBytes(LONG index, BSTR* bytes) = 0;
  // Added after GetMessageBytes: the sender as the message's record names
  // it, "Name <address>" (or whichever of the two it has).
  virtual HRESULT COMCALL GetSender(LONG index, BSTR* sender) = 0;
  // Added after GetMessageBytes: OpenDbx for a path held as its bytes in a
  // byte string (SysStringByteLen bytes), so that a file name that is not
  // valid text is opened as it is.
  virtual HRESULT COMCALL OpenDbxBytes(BSTR path) = 0;
  // The number of messages the open file's header declares; -1 when no file
  // is readable. An index that lists fewer (CountMessages) is damaged.
  virtual HRESULT COMCALL GetDeclaredCount(LONG* count) = 0;
  // Why the last open could not read the file ("" when it could).
  virtual HRESULT COMCALL GetOpenError(BSTR* text) = 0;
  // Added after GetOpenError: what the last read of message `index`'s text
  // could not read, in words for the user ("" when it was read whole or has
  // not been read).
  virtual HRESULT COMCALL GetBodyDamage(LONG index, BSTR* text) = 0;
  // Added after GetBodyDamage, for a caller in this process: the same as
  // GetMessageBytes, the bytes handed over into *bytes (replacing what it
  // held) instead of copied into a byte string, so that a message of
  // hundreds of megabytes is not held twice on its way.
  virtual HRESULT COMCALL TakeMessageBytes(LONG index, std::string* bytes) = 0;
};

// Reads the date of a written .eml file.
struct IEmlDateParser : IUnknown {
  // Loads the header block of the file; *status is 0 when it could be read.
  virtual HRESULT COMCALL LoadFile(BSTR path, LONG* status) = 0;
  // The Date header's date, else the newest Received header's; S_FALSE with
  // 0 when the file has neither.
  virtual HRESULT COMCALL MessageDate(DATE* date) = 0;
  // Added after the first two members: loads the header block from the
  // first `length` bytes at `bytes` (a message the caller holds, such as the
  // text it has just written to the file); *status is 0.
  virtual HRESULT COMCALL LoadBytes(const char* bytes, LONG length, LONG* status) = 0;
};

// Creates one of the two components (REGDB_E_CLASSNOTREG for any other class).
HRESULT CreateEngineComponent(REFCLSID clsid, REFIID riid, void** object);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_COMPONENTS_H_
