// The import of one message, as the converter's session does it in its own
// process and as an import worker does it in another: the mail import, the
// date from the header block and the words the report uses for a message
// kept with its original attached. It knows nothing of the pipeline or the
// session that call it; the worker program links this part alone.
//
// Typical use (in a worker):
//   wire::ImportAnswer a = ImportOneMessage(ticket, text, options);
//   wire::AppendAnswer(a, &out, text.get());
#ifndef TOLLAN_CONVERTER_ENGINE_IMPORT_ONE_H_
#define TOLLAN_CONVERTER_ENGINE_IMPORT_ONE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "converter/engine/import_wire.h"
#include "platform/mail/import.h"

namespace tollan {

// The import of `message`: the mapping, the report's verdict and the date
// from the header block. Never throws: a message too big for memory or one
// the import gives up on comes back with a failed status.
wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::string_view message, const mail::ImportOptions& options);
// The same for a text the answer may share: a large attachment stays a
// window on it (mail::ImportMessage), which AppendAnswer sends as such.
wire::ImportAnswer ImportOneMessage(uint64_t ticket, std::shared_ptr<const std::string> message,
                                    const mail::ImportOptions& options);

// What the item says when an import kept the original attached: the
// report's reasons, joined; empty when it kept none.
std::string KeptOriginalText(const mail::ImportReport& report);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_IMPORT_ONE_H_
