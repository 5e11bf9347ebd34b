// File names of attachments: cleaning a name taken from a message, the
// extension, an 8.3 short name unique within the message
// (PidTagAttachFilename), and a name for parts that carry none.
#ifndef TOLLAN_PLATFORM_MAIL_FILE_NAMES_H_
#define TOLLAN_PLATFORM_MAIL_FILE_NAMES_H_

#include <set>
#include <string>
#include <string_view>

namespace mail {

// The last path component of `name` with control characters and the
// characters Windows forbids in file names (\ / : * ? " < > |) replaced by
// '_', and leading/trailing blanks and dots removed.
std::u16string CleanFileName(std::u16string_view name);

// The extension with its dot (".pdf"), or "" when the name has none.
std::u16string FileExtension(std::u16string_view name);

// An 8.3 name for `long_name`: upper case, characters outside the 8.3 set
// dropped, at most 8 + 3; when the name had to be shortened or is already
// taken, "BASE~N.EXT". `taken` holds the short names given so far in the
// message and receives the new one.
std::u16string ShortFileName(std::u16string_view long_name, std::set<std::u16string>* taken);

// A name for a part without one: "Untitled attachment NNNNN" with an
// extension suited to the media type (".txt", ".htm", ".eml", ...).
std::u16string DefaultFileName(std::string_view mime_type, int number);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_FILE_NAMES_H_
