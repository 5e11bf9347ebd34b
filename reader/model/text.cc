// Text conversion and case folding.

#include "reader/model/text.h"

#include "platform/com/automation.h"

namespace kestrel {

std::u16string FromAnsi(std::string_view bytes) { return tollan::com::Utf16FromAnsi(bytes); }

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
      c = static_cast<char16_t>(c + 0x20);
    } else if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 &&
               c != 0x149 && c != 0x17F) {
      // Latin Extended-A pairs upper/lower on even/odd code points, with the
      // runs 0x139..0x148 and 0x179..0x17E shifted by one.
      const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
      const bool upper = shifted ? (c % 2 == 1) : (c % 2 == 0);
      if (upper) c = static_cast<char16_t>(c + 1);
    } else if (c == 0x178) {
      c = 0xFF;
    }
  }
  return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

}  // namespace kestrel
