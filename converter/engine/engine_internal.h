// Pieces the two engine entry points share.
#ifndef TOLLAN_CONVERTER_ENGINE_ENGINE_INTERNAL_H_
#define TOLLAN_CONVERTER_ENGINE_ENGINE_INTERNAL_H_

#include <cstdint>
#include <optional>
#include <string>

#include "converter/engine/conversion_page.h"
#include "converter/engine/message_pipeline.h"
#include "converter/engine/page_state.h"
#include "platform/com/com_types.h"

namespace tollan {

// FILETIME ticks of an automation date (days since 30 December 1899); 0 for
// no date.
uint64_t DateToFiletime(double date);

// Reads each message's date through a new EmlDateParser component, from the
// bytes just written to the file.
class ComDateReader : public MessageDateReader {
 public:
  std::optional<uint64_t> MessageDate(const std::string& eml_path, std::string_view content) override;
};

// Records the outcome of message `index` of a file: a failure is counted and
// described; a success is counted and moves the per-file bar and label (done
// of `count`).
void CountOutcome(ConversionPage& page, const Status& s, int64_t index, int64_t count,
                  FileOutcome* outcome);

// Adds `note` to the run's report as `what` happened, for `why`.
void AddNote(PageState& state, const MessageNote& note, MessageNote::What what, const std::string& why);

// Adds `note` to the report when its message failed (`s`), was converted
// in part (`incomplete` says why) or kept its original attached.
void NoteOutcome(PageState& state, const MessageNote& note, const Status& s, const std::string& kept_original,
                 const std::string& incomplete);

inline constexpr const char* kIncompleteBodyReason =
    "its body chain is damaged: the text ends where the chain breaks off";
// The report's reason for a message converted from a damaged body, given
// what the reader says was lost.
inline std::string DamagedBodyText(const std::string& damage) {
  return "its body chain is damaged, the text converted is what could be read: " + damage;
}

// With state.Duplicates: true when `text` is already in the output, after
// counting it in `outcome` and naming it in the report; otherwise the
// message is claimed, *key receives its key, and LeaveOutDuplicate must see
// it again only after a failed save (ReleaseDuplicate).
bool LeaveOutDuplicate(PageState& state, const MessageNote& note, const std::string& text, std::string* key,
                       FileOutcome* outcome);
void ReleaseDuplicate(PageState& state, const std::string& key);

// The description of a failed call's error (taking the thread's error object).
std::string DescribeError(HRESULT hr);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_ENGINE_INTERNAL_H_
