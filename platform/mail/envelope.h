// The envelope of a message: subject, sender, sent-representing, reply-to,
// recipients and their display lists, date, message ids, importance,
// priority, sensitivity and the raw header block, mapped from the header
// fields as [MS-OXCMAIL] 2.2.3 describes.
#ifndef TOLLAN_PLATFORM_MAIL_ENVELOPE_H_
#define TOLLAN_PLATFORM_MAIL_ENVELOPE_H_

#include <gmime/gmime.h>

#include <string_view>

#include "platform/mail/charset.h"
#include "platform/mail/import.h"
#include "platform/pst/message.h"

namespace mail {

// Sets the envelope properties and recipient rows of `out` from `msg`.
// `raw_headers` is the message's header block as it stands in the input;
// `defaults` read its 8-bit text. Problems go to `report`.
void MapEnvelope(GMimeMessage* msg, std::string_view raw_headers, const TextDefaults& defaults,
                 pst::MessageContent* out, ImportReport* report);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_ENVELOPE_H_
