// Where the content of a MIME part ends: the line break before a boundary
// line belongs to the boundary (RFC 2046), so a part's bytes end exactly
// before it, whether lines end in CRLF or LF.
#ifndef TOLLAN_PLATFORM_MAIL_PART_BOUNDS_H_
#define TOLLAN_PLATFORM_MAIL_PART_BOUNDS_H_

#include <cstddef>
#include <string_view>

namespace mail {

// True when a boundary line "--boundary" (or its closing form) starts at
// `pos` of `text`; `pos` must be the start of a line.
bool IsBoundaryLine(std::string_view text, size_t pos, std::string_view boundary);

// The end of the content that runs from `from` up to the first boundary line
// of `boundary` at or after it: the position of the line break (CRLF or LF)
// before that line. npos when there is no such line.
size_t FindBoundaryLine(std::string_view text, size_t from, std::string_view boundary);

// The content window [begin, end) of a part as a parser found it, mended
// so that it ends before the line break of the boundary line that follows
// it in `text`: a CR left in front of that line's LF is dropped.
size_t ContentEndBeforeBoundary(std::string_view text, size_t begin, size_t end);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_PART_BOUNDS_H_
