// The frames an import worker process and the converter exchange: a request
// carries one message's bytes and the path of its temporary file, an answer carries what the import made of it
// (properties, recipients, attachments, embedded messages), the message's
// date and the import's verdict.
//
// Every frame starts with a four-byte tag (three letters and the format
// version) and the payload length, little-endian:
//
//   request: "TLQ" 3, u32 length, u64 ticket, u32 length + temporary file
//            path (UTF-8; empty: none), message bytes
//   answer:  "TLA" 3, u32 length, u64 ticket, u8 status code, text status
//            message, u8 has date, u64 date, u8 report bits, text kept-
//            original reasons, message
//   message: u32 count, properties; u32 count, recipients (u32 count,
//            properties); u32 count, attachments (u32 count, properties,
//            u8 has embedded, [message])
//   property: u16 id, u16 type, u8 named, [guid, u8 kind, u32 id | text],
//            value as its type says (integers as i64, times as u64, text as
//            u32 count + UTF-16LE units, binary as u32 length + bytes,
//            multi-valued as u32 count + values)
//   binary window: a large attachment the import left in the message text
//            (mail::PartSource) goes as u32 0xFFFFFFFF, u64 offset, u64
//            length, u8 transfer encoding, u64 decoded size: the converter
//            holds the same text and decodes the part as it writes it, so
//            the attachment never crosses the socket nor sits in memory.
//
// An answer comes from another process and is read as untrusted input: every
// length and count is checked against the bytes present, every type against
// the known ones, nesting is bounded. A bad answer is a Status, never a
// crash or an over-read.
#ifndef TOLLAN_CONVERTER_ENGINE_IMPORT_WIRE_H_
#define TOLLAN_CONVERTER_ENGINE_IMPORT_WIRE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/pst/message.h"
#include "platform/pst/status.h"

namespace tollan::wire {

inline constexpr size_t kHeaderSize = 8;
inline constexpr uint8_t kVersion = 3;
// Embedded messages deeper than this are refused (the writer stops at 32).
inline constexpr int kMaxDepth = 40;

// What the import made of one message.
struct ImportAnswer {
  uint64_t ticket = 0;
  pst::Status status;                 // the import's own outcome
  std::optional<uint64_t> date;       // FILETIME ticks, when the headers give one
  bool clean = true;                  // no warnings and nothing unmapped
  bool original_attached = false;     // the original is kept as an attachment
  std::string kept_original;          // why, when it is (the report's reasons)
  pst::MessageContent content;
};

enum class FrameKind { kRequest, kAnswer };

// Appends a request frame for `message` to `out`; the worker writes it to a
// new file at `temp_path` (or the first free name beside it) before the
// import and removes it after, unless the path is empty.
void AppendRequest(uint64_t ticket, std::string_view temp_path, std::string_view message, std::string* out);
// The bytes of a request frame before its message.
std::string RequestPrefix(uint64_t ticket, std::string_view temp_path, size_t message_size);

// Appends an answer frame to `out`. Fails (and appends nothing) for content
// the format cannot carry (a property of an unknown type, or a value that
// does not match its type). A value that is a window on `message` (the
// text the answer is about) is sent as that window; any other is sent whole.
pst::Status AppendAnswer(const ImportAnswer& answer, std::string* out, const std::string* message = nullptr);

// Reads a frame header at the start of `buffer`: the payload length, or
// nullopt while fewer than kHeaderSize bytes are there. A wrong tag or a
// payload over `max_payload` is an error.
pst::Status ReadHeader(std::string_view buffer, FrameKind kind, size_t max_payload,
                       std::optional<size_t>* payload_length);

// Splits a request payload into ticket, temporary file path and message
// bytes.
pst::Status DecodeRequest(std::string_view payload, uint64_t* ticket, std::string_view* temp_path,
                          std::string_view* message);

// Decodes an answer payload (the bytes after the header). A window is taken
// on `text` (the message the answer is about), which the values keep; one
// that does not lie inside it, or without a `text`, is an error.
pst::Status DecodeAnswer(std::string_view payload, ImportAnswer* answer,
                         std::shared_ptr<const std::string> text = nullptr);

}  // namespace tollan::wire

#endif  // TOLLAN_CONVERTER_ENGINE_IMPORT_WIRE_H_
