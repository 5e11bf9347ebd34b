// Address identifiers a message carries for each person it names: the
// one-off EntryID of [MS-OXCDATA] 2.2.5.1 (a recipient that lives in no
// address book), the search key, and the FlatEntryList of [MS-OXCDATA] 2.3.3
// that holds several EntryIDs (PidTagReplyRecipientEntries).
#ifndef TOLLAN_PLATFORM_MAIL_ENTRY_ID_H_
#define TOLLAN_PLATFORM_MAIL_ENTRY_ID_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// A one-off EntryID with Unicode strings (MAPI_ONE_OFF_UNICODE) and no rich
// content (MAPI_ONE_OFF_NO_RICH_INFO, as for every Internet address).
std::vector<uint8_t> MakeOneOffEntryId(std::u16string_view display_name, std::u16string_view address_type,
                                       std::u16string_view address);

// What MakeOneOffEntryId encoded, for checks and tests.
struct OneOffFields {
  uint16_t flags = 0;
  std::u16string display_name;
  std::u16string address_type;
  std::u16string address;
};
bool ParseOneOffEntryId(const std::vector<uint8_t>& entry_id, OneOffFields* out);

// The search key of an address: address type, ':', the address in upper
// case, and a terminating zero byte (for example "SMTP:BOB@EXAMPLE.COM\0").
std::vector<uint8_t> MakeSearchKey(std::string_view address_type, std::u16string_view address);

// A FlatEntryList: entry count, total size, then each EntryID with its size,
// padded to a multiple of 4 bytes.
std::vector<uint8_t> MakeFlatEntryList(const std::vector<std::vector<uint8_t>>& entry_ids);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_ENTRY_ID_H_
