// Text helpers of the object model: DBX text (ANSI bytes) to automation
// strings, and the letter-case folding used for collection keys and names.

#ifndef TOLLAN_READER_MODEL_TEXT_H_
#define TOLLAN_READER_MODEL_TEXT_H_

#include <string>
#include <string_view>

namespace kestrel {

// ANSI (Windows-1252) bytes of a DBX file as UTF-16.
std::u16string FromAnsi(std::string_view bytes);

// Lower case for comparisons without regard to case: ASCII and the Latin-1
// and Latin Extended-A letters.
std::u16string FoldCase(std::u16string_view text);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_TEXT_H_
