// A plain-text rendering of an HTML body, for messages that carry only HTML:
// PidTagBody is what searches, previews and plain-text readers use.
#ifndef TOLLAN_PLATFORM_MAIL_HTML_TEXT_H_
#define TOLLAN_PLATFORM_MAIL_HTML_TEXT_H_

#include <string>
#include <string_view>

namespace mail {

// Drops tags, comments, scripts, styles and the head; turns block ends and
// <br> into CRLF; folds runs of blanks; decodes character references.
std::u16string HtmlToText(std::u16string_view html);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_HTML_TEXT_H_
