// Part ends at boundary lines.
#include "platform/mail/part_bounds.h"

namespace mail {

bool IsBoundaryLine(std::string_view text, size_t pos, std::string_view boundary) {
  if (boundary.empty() || pos > text.size() || text.size() - pos < boundary.size() + 2) return false;
  if (text.substr(pos, 2) != "--" || text.substr(pos + 2, boundary.size()) != boundary) return false;
  size_t after = pos + 2 + boundary.size();
  if (after == text.size()) return true;
  char c = text[after];
  return c == '-' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t FindBoundaryLine(std::string_view text, size_t from, std::string_view boundary) {
  size_t line = from;
  while (line <= text.size()) {
    if ((line == 0 || text[line - 1] == '\n') && IsBoundaryLine(text, line, boundary)) {
      size_t end = line;
      if (end > from && text[end - 1] == '\n') --end;
      if (end > from && text[end - 1] == '\r') --end;
      return end;
    }
    size_t nl = text.find('\n', line);
    if (nl == std::string_view::npos) break;
    line = nl + 1;
  }
  return std::string_view::npos;
}

size_t ContentEndBeforeBoundary(std::string_view text, size_t begin, size_t end) {
  // "...data" CR | LF "--boundary": the CR is the first half of the
  // boundary's line break, not content.
  if (end > begin && end < text.size() && text[end - 1] == '\r' && text[end] == '\n' &&
      end + 3 <= text.size() && text.substr(end + 1, 2) == "--") {
    return end - 1;
  }
  return end;
}

}  // namespace mail
