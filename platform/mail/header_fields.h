// Mapping of single header fields whose value becomes a property by rule:
// the subject prefix, importance, priority and sensitivity ([MS-OXCMAIL]
// 2.2.3.2), and finding the raw header block of a message.
#ifndef TOLLAN_PLATFORM_MAIL_HEADER_FIELDS_H_
#define TOLLAN_PLATFORM_MAIL_HEADER_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// PidTagSubjectPrefix and PidTagNormalizedSubject: a prefix is one to three
// letters followed by ": " ("RE: ", "Fw: ", "AW: "); digits, blanks and
// punctuation do not make a prefix. Without one, prefix is empty and the
// normalized subject is the subject.
struct SubjectParts {
  std::u16string prefix;
  std::u16string normalized;
};
SubjectParts SplitSubject(std::u16string_view subject);

// The header values that decide importance and priority, as found (empty
// when absent).
struct PriorityHeaders {
  std::string importance;          // Importance: high / normal / low
  std::string priority;            // Priority: urgent / normal / non-urgent
  std::string x_priority;          // X-Priority: 1 (highest) .. 5 (lowest)
  std::string x_msmail_priority;   // X-MSMail-Priority: High / Normal / Low
};

// PidTagImportance (0 low, 1 normal, 2 high): the Importance field wins over
// the others, then Priority, X-MSMail-Priority, X-Priority. Absent or
// unreadable: nullopt.
std::optional<int32_t> ImportanceFromHeaders(const PriorityHeaders& h);

// PidTagPriority (-1 non-urgent, 0 normal, 1 urgent) from Priority, else
// from X-Priority.
std::optional<int32_t> PriorityFromHeaders(const PriorityHeaders& h);

// PidTagSensitivity (1 personal, 2 private, 3 company confidential) from the
// Sensitivity field; nullopt when absent or not one of these.
std::optional<int32_t> SensitivityFromHeader(std::string_view value);

// The header block of a message: everything before the first empty line
// (the line break ending the last field included), and where the body
// starts. A message without an empty line is all header.
struct HeaderBlock {
  std::string_view headers;
  size_t body_offset = 0;
};
HeaderBlock FindHeaderBlock(std::string_view message);

// One field of a header block as written: its name, and its value from just
// after the colon to the end of its last line, line breaks included (the
// form GMime gives as a field's raw value); `text` is the whole field.
struct HeaderField {
  std::string_view name;
  std::string_view value;
  std::string_view text;
};

// The fields of a header block, in order, when the block is plain: not
// empty, every line ending in LF or CRLF (no other CR), the first line
// starting a field, every field starting with a name of ASCII letters,
// digits, '-' and '_' directly followed by ':', and no continuation line
// blank. nullopt for any other block, which only a full parse reads right.
std::optional<std::vector<HeaderField>> SplitPlainHeaderBlock(std::string_view headers);

// `value` without leading and trailing blanks and line breaks.
std::string TrimBlanks(std::string_view value);

// Whether two field names (or other ASCII words) are equal but for the case
// of their ASCII letters.
bool EqualNoCase(std::string_view a, std::string_view b);

// `value` with folding white space (line breaks, tabs, runs of blanks)
// collapsed to single blanks, trimmed.
std::string UnfoldValue(std::string_view value);

// The last field `name` (case-insensitive) of a header block exactly as
// written: name, value and continuation lines with their line breaks; ""
// when absent.
std::string RawField(std::string_view headers, std::string_view name);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_HEADER_FIELDS_H_
