// Property identifiers ([MS-OXPROPS]) that the mail import sets, and the
// values of the enumerations it uses. Only identifiers live here; the type of
// each property is chosen where it is set.
#ifndef TOLLAN_PLATFORM_MAIL_PROP_IDS_H_
#define TOLLAN_PLATFORM_MAIL_PROP_IDS_H_

#include <cstdint>

#include "platform/pst/property.h"

namespace mail {
namespace prop {

// Message envelope.
inline constexpr uint16_t kMessageClass = 0x001A;
inline constexpr uint16_t kImportance = 0x0017;
inline constexpr uint16_t kPriority = 0x0026;
inline constexpr uint16_t kSensitivity = 0x0036;
inline constexpr uint16_t kSubject = 0x0037;
inline constexpr uint16_t kClientSubmitTime = 0x0039;
inline constexpr uint16_t kSentRepresentingSearchKey = 0x003B;
inline constexpr uint16_t kSubjectPrefix = 0x003D;
inline constexpr uint16_t kSentRepresentingEntryId = 0x0041;
inline constexpr uint16_t kSentRepresentingName = 0x0042;
inline constexpr uint16_t kReplyRecipientEntries = 0x004F;
inline constexpr uint16_t kReplyRecipientNames = 0x0050;
inline constexpr uint16_t kSentRepresentingAddressType = 0x0064;
inline constexpr uint16_t kSentRepresentingEmailAddress = 0x0065;
inline constexpr uint16_t kConversationTopic = 0x0070;
inline constexpr uint16_t kTransportMessageHeaders = 0x007D;
inline constexpr uint16_t kSenderEntryId = 0x0C19;
inline constexpr uint16_t kSenderName = 0x0C1A;
inline constexpr uint16_t kSenderSearchKey = 0x0C1D;
inline constexpr uint16_t kSenderAddressType = 0x0C1E;
inline constexpr uint16_t kSenderEmailAddress = 0x0C1F;
inline constexpr uint16_t kDisplayBcc = 0x0E02;
inline constexpr uint16_t kDisplayCc = 0x0E03;
inline constexpr uint16_t kDisplayTo = 0x0E04;
inline constexpr uint16_t kMessageFlags = 0x0E07;
inline constexpr uint16_t kMessageSize = 0x0E08;
inline constexpr uint16_t kNormalizedSubject = 0x0E1D;
inline constexpr uint16_t kBody = 0x1000;
inline constexpr uint16_t kHtml = 0x1013;
inline constexpr uint16_t kInternetMessageId = 0x1035;
inline constexpr uint16_t kInternetReferences = 0x1039;
inline constexpr uint16_t kInReplyToId = 0x1042;
inline constexpr uint16_t kCreationTime = 0x3007;
inline constexpr uint16_t kLastModificationTime = 0x3008;
inline constexpr uint16_t kInternetCodepage = 0x3FDE;
inline constexpr uint16_t kSenderSmtpAddress = 0x5D01;
inline constexpr uint16_t kSentRepresentingSmtpAddress = 0x5D02;

// Recipient rows (also PidTagDisplayName for attachments).
inline constexpr uint16_t kRecipientType = 0x0C15;
inline constexpr uint16_t kRecordKey = 0x0FF9;
inline constexpr uint16_t kObjectType = 0x0FFE;
inline constexpr uint16_t kEntryId = 0x0FFF;
inline constexpr uint16_t kDisplayName = 0x3001;
inline constexpr uint16_t kAddressType = 0x3002;
inline constexpr uint16_t kEmailAddress = 0x3003;
inline constexpr uint16_t kSearchKey = 0x300B;
inline constexpr uint16_t kDisplayType = 0x3900;
inline constexpr uint16_t kSmtpAddress = 0x39FE;
inline constexpr uint16_t kTransmittableDisplayName = 0x3A20;
inline constexpr uint16_t kSendRichInfo = 0x3A40;
inline constexpr uint16_t kRecipientFlags = 0x5FFD;
inline constexpr uint16_t kRecipientTrackStatus = 0x5FFF;

// Attachments.
inline constexpr uint16_t kAttachSize = 0x0E20;
inline constexpr uint16_t kAttachDataBinary = 0x3701;  // PidTagAttachDataObject for embedded messages
inline constexpr uint16_t kAttachExtension = 0x3703;
inline constexpr uint16_t kAttachFilename = 0x3704;
inline constexpr uint16_t kAttachMethod = 0x3705;
inline constexpr uint16_t kAttachLongFilename = 0x3707;
inline constexpr uint16_t kRenderingPosition = 0x370B;
inline constexpr uint16_t kAttachMimeTag = 0x370E;
inline constexpr uint16_t kAttachContentId = 0x3712;
inline constexpr uint16_t kAttachContentLocation = 0x3713;
inline constexpr uint16_t kAttachFlags = 0x3714;
inline constexpr uint16_t kAttachmentHidden = 0x7FFE;

}  // namespace prop

// PidTagMessageFlags bits ([MS-OXCMSG] 2.2.1.6).
inline constexpr int32_t kMsgFlagRead = 0x00000001;
inline constexpr int32_t kMsgFlagHasAttach = 0x00000010;

// PidTagRecipientType.
inline constexpr int32_t kRecipTo = 1;
inline constexpr int32_t kRecipCc = 2;
inline constexpr int32_t kRecipBcc = 3;

// PidTagObjectType / PidTagDisplayType.
inline constexpr int32_t kObjectTypeMailUser = 6;
inline constexpr int32_t kDisplayTypeMailUser = 0;

// PidTagAttachMethod.
inline constexpr int32_t kAttachByValue = 1;
inline constexpr int32_t kAttachEmbeddedMessage = 5;

// PidTagAttachFlags: the attachment is referenced by the HTML body.
inline constexpr int32_t kAttachMhtmlRef = 0x00000004;

// PS_INTERNET_HEADERS {00020386-0000-0000-C000-000000000046}, in on-disk order.
inline constexpr pst::Guid kPsInternetHeaders = {0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_PROP_IDS_H_
