// The per-message pipeline both engine entry points share: write the message
// text to a temporary .eml file, read its date, add a mail item to the target
// folder, import the file into it, set the message flags and the two dates,
// save the item and delete the file.
#ifndef TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_
#define TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "converter/engine/conversion_page.h"
#include "converter/engine/pst_session.h"

namespace tollan {

// Reads the date of a written .eml file (the Date header, else the newest
// Received header); nullopt when the file has none. FILETIME ticks.
class MessageDateReader {
 public:
  virtual ~MessageDateReader() = default;
  virtual std::optional<uint64_t> MessageDate(const std::string& eml_path) = 0;
};

struct MessageJob {
  std::string_view text;    // the complete stored Internet message
  std::string temp_path;    // the wanted temporary file path
  std::string folder_path;  // "\\" + store display name + "\" + folder name
  bool read = true;         // sets the read flag
  // The date to use when the message text has none (the received date of
  // the source record); 0 when unknown, and then no date is set at all.
  uint64_t fallback_date = 0;
};

// Runs the pipeline for one message, yielding to the page between the slow
// steps. Ok when the item was saved; otherwise the step that failed. The
// temporary file is gone afterwards in either case.
Status ConvertMessage(ConversionPage& page, PstSession& session, MessageDateReader& dates,
                      const MessageJob& job);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_MESSAGE_PIPELINE_H_
