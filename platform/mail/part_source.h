// PartSource: the content of a MIME part as a property value that is decoded
// only when it is read: a window on the message text that holds the part,
// and the part's transfer encoding. The import makes one for an attachment
// too large to hold decoded beside its message (import.h); the PST writer
// reads it block by block, so the attachment is never in memory whole.
//
// Typical use:
//   auto text = std::make_shared<const std::string>(ReadMessage());
//   std::shared_ptr<const PartSource> value =
//       PartSource::Measure(text, offset, length, TransferEncoding::kBase64);
//   content.Set(pst::MakeBinary(id, value));
//
// Decoding is GMime's, piece by piece: the bytes are those GMime gives for
// the whole window at once (damaged encoded text included).
#ifndef TOLLAN_PLATFORM_MAIL_PART_SOURCE_H_
#define TOLLAN_PLATFORM_MAIL_PART_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/pst/value_source.h"

namespace mail {

// The transfer encodings a part's content may be in; every other one
// ("7bit", "8bit", "binary", unknown) is taken as it stands.
enum class TransferEncoding : uint8_t { kNone = 0, kBase64 = 1, kQuotedPrintable = 2, kUuencode = 3 };

class PartSource : public pst::ValueSource {
 public:
  // The content at [offset, offset + length) of `text`, measured once by a
  // decode that keeps nothing. Null when the window is not inside `text`.
  static std::shared_ptr<const PartSource> Measure(std::shared_ptr<const std::string> text, size_t offset,
                                                   size_t length, TransferEncoding encoding);
  // The same with its decoded size given (as another process measured it):
  // a read that does not come to `size` bytes fails. Null when the window
  // is not inside `text`.
  static std::shared_ptr<const PartSource> WithSize(std::shared_ptr<const std::string> text, size_t offset,
                                                    size_t length, TransferEncoding encoding, uint64_t size);

  uint64_t size() const override { return size_; }
  pst::Status Read(const Sink& sink) const override;

  // The window and its encoding, to name the value to another process that
  // holds the same text.
  size_t offset() const { return offset_; }
  size_t length() const { return length_; }
  TransferEncoding encoding() const { return encoding_; }
  const std::string* text() const { return text_.get(); }

  PartSource(std::shared_ptr<const std::string> text, size_t offset, size_t length, TransferEncoding encoding,
             uint64_t size)
      : text_(std::move(text)), offset_(offset), length_(length), encoding_(encoding), size_(size) {}

 private:
  std::shared_ptr<const std::string> text_;
  size_t offset_;
  size_t length_;
  TransferEncoding encoding_;
  uint64_t size_;
};

// Decodes `encoded` piece by piece into `sink` (the pieces of at most 64 KiB
// of input each); the bytes are those of a decode of all of it at once.
pst::Status DecodeInPieces(std::string_view encoded, TransferEncoding encoding, const pst::ValueSource::Sink& sink);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_PART_SOURCE_H_
