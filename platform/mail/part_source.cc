// A part's content, decoded as it is read.
#include "platform/mail/part_source.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <vector>

namespace mail {

namespace {

constexpr size_t kPiece = 64 * 1024;

}  // namespace

pst::Status DecodeInPieces(std::string_view encoded, TransferEncoding encoding, const pst::ValueSource::Sink& sink) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(encoded.data());
  GMimeContentEncoding gmime;
  switch (encoding) {
    case TransferEncoding::kBase64: gmime = GMIME_CONTENT_ENCODING_BASE64; break;
    case TransferEncoding::kQuotedPrintable: gmime = GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE; break;
    case TransferEncoding::kUuencode: gmime = GMIME_CONTENT_ENCODING_UUENCODE; break;
    default: {
      for (size_t at = 0; at < encoded.size(); at += kPiece) {
        pst::Status s = sink(std::span<const uint8_t>(bytes + at, std::min(kPiece, encoded.size() - at)));
        if (!s.ok()) return s;
      }
      return pst::Status::Ok();
    }
  }
  GMimeEncoding state;
  g_mime_encoding_init_decode(&state, gmime);
  std::vector<uint8_t> out(g_mime_encoding_outlen(&state, kPiece) + 64);
  char* dst = reinterpret_cast<char*>(out.data());
  for (size_t at = 0; at < encoded.size(); at += kPiece) {
    const size_t n = std::min(kPiece, encoded.size() - at);
    const size_t got = g_mime_encoding_step(&state, encoded.data() + at, n, dst);
    pst::Status s = sink(std::span<const uint8_t>(out.data(), got));
    if (!s.ok()) return s;
  }
  const size_t last = g_mime_encoding_flush(&state, encoded.data() + encoded.size(), 0, dst);
  return last == 0 ? pst::Status::Ok() : sink(std::span<const uint8_t>(out.data(), last));
}

std::shared_ptr<const PartSource> PartSource::Measure(std::shared_ptr<const std::string> text, size_t offset,
                                                      size_t length, TransferEncoding encoding) {
  if (!text || offset > text->size() || length > text->size() - offset) return nullptr;
  uint64_t size = 0;
  pst::Status s = DecodeInPieces(std::string_view(*text).substr(offset, length), encoding,
                                 [&size](std::span<const uint8_t> piece) {
                                   size += piece.size();
                                   return pst::Status::Ok();
                                 });
  (void)s;  // counting never fails
  return std::make_shared<const PartSource>(std::move(text), offset, length, encoding, size);
}

std::shared_ptr<const PartSource> PartSource::WithSize(std::shared_ptr<const std::string> text, size_t offset,
                                                       size_t length, TransferEncoding encoding, uint64_t size) {
  if (!text || offset > text->size() || length > text->size() - offset) return nullptr;
  return std::make_shared<const PartSource>(std::move(text), offset, length, encoding, size);
}

pst::Status PartSource::Read(const Sink& sink) const {
  uint64_t given = 0;
  pst::Status s = DecodeInPieces(std::string_view(*text_).substr(offset_, length_), encoding_,
                                 [&](std::span<const uint8_t> piece) {
                                   if (piece.size() > size_ - given) {
                                     return pst::Status::Corrupt("an attachment decodes to more than the " +
                                                                 std::to_string(size_) + " bytes it was measured at");
                                   }
                                   given += piece.size();
                                   return sink(piece);
                                 });
  if (s.ok() && given != size_) {
    s = pst::Status::Corrupt("an attachment decodes to " + std::to_string(given) + " of the " +
                             std::to_string(size_) + " bytes it was measured at");
  }
  return s;
}

}  // namespace mail
