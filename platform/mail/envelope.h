// The envelope of a message: subject, sender, sent-representing, reply-to,
// recipients and their display lists, date, message ids, importance,
// priority, sensitivity and the raw header block, mapped from the header
// fields as [MS-OXCMAIL] 2.2.3 describes.
#ifndef TOLLAN_PLATFORM_MAIL_ENVELOPE_H_
#define TOLLAN_PLATFORM_MAIL_ENVELOPE_H_

#include <gmime/gmime.h>

#include <string_view>
#include <vector>

#include "platform/mail/charset.h"
#include "platform/mail/header_fields.h"
#include "platform/mail/import.h"
#include "platform/mail/recipients.h"
#include "platform/pst/message.h"

namespace mail {

// Sets the envelope properties and recipient rows of `out` from `message`.
// `raw_headers` is the message's header block as it stands in the input;
// `defaults` read its 8-bit text. Problems go to `report`.
//
// Either `message` is a GMimeMessage and `fields` null, or `message` is the
// message parsed as one entity (ParseEntity) from a text that left out some
// of its fields, and `fields` are all of them as written: the address,
// subject and date fields are then read from `fields`, and the address
// fields are also parsed with `options`, so that the parse's warning
// callback hears of a broken address list as GMime reports it while it
// parses a message.
// The addresses of an address-list field value whose encoded words are
// decoded: each mailbox's name (without quotes) and address, the members of
// a group in its place. A list of plain mailboxes ("a@b.example, Ann
// <ann@b.example>") is read here; any other goes through GMime's parser,
// as ParseAddressListWithGMime. Both give the same for every value.
std::vector<Address> ParseAddressList(std::string_view value);
std::vector<Address> ParseAddressListWithGMime(std::string_view value);

void MapEnvelope(GMimeObject* message, const std::vector<HeaderField>* fields, GMimeParserOptions* options,
                 std::string_view raw_headers, const TextDefaults& defaults, pst::MessageContent* out,
                 ImportReport* report);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_ENVELOPE_H_
