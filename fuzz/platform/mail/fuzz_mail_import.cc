// Fuzz target: any bytes as an Internet message. The import must succeed,
// never crash or hang, and keep the original whenever it reports something
// it could not map; its quick reading of a plain header block must give what
// GMime's parse of the whole message gives; a plain address list must read
// as GMime's parser reads it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/mail/envelope.h"
#include "platform/mail/import.h"
#include "platform/mail/prop_ids.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mail::ImportOptions opts;
  opts.now_filetime = 1;
  // Vary the options with the input, so both text defaults get exercised.
  if (size > 0 && (data[size - 1] & 1)) {
    opts.default_code_page = 932;
    opts.guess_utf8 = false;
    opts.max_embedding_depth = 2;
  }
  pst::MessageContent msg;
  mail::ImportReport report;
  pst::Status s = mail::ImportMessage(std::span<const uint8_t>(data, size), opts, &msg, &report);
  if (!s.ok()) std::abort();
  if (msg.Find((uint32_t{mail::prop::kMessageClass} << 16) | 0x001F) == nullptr) std::abort();
  if (!report.unmapped.empty() && !report.original_attached && !report.signed_entity_kept) std::abort();
  opts.parse_whole = true;
  pst::MessageContent whole;
  mail::ImportReport whole_report;
  s = mail::ImportMessage(std::span<const uint8_t>(data, size), opts, &whole, &whole_report);
  if (!s.ok() || !(whole == msg) || whole_report.warnings != report.warnings ||
      whole_report.unmapped != report.unmapped) {
    std::abort();
  }
  const std::string_view line(reinterpret_cast<const char*>(data), std::min<size_t>(size, 512));
  const std::vector<mail::Address> quick = mail::ParseAddressList(line), slow = mail::ParseAddressListWithGMime(line);
  if (quick.size() != slow.size()) std::abort();
  for (size_t i = 0; i < quick.size(); ++i) {
    if (quick[i].name != slow[i].name || quick[i].address != slow[i].address) std::abort();
  }
  return 0;
}
