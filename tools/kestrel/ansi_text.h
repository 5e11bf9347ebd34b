// AnsiText: converts the single-byte (or, for East Asian code pages,
// double-byte) ANSI text of a store into UTF-8: through iconv, or on Windows
// through the system's own code pages.
#ifndef TOLLAN_TOOLS_KESTREL_ANSI_TEXT_H_
#define TOLLAN_TOOLS_KESTREL_ANSI_TEXT_H_

#include <memory>
#include <string>
#include <string_view>

namespace kestrel {

class AnsiText {
 public:
  // A converter for Windows code page `codepage` (1252, 1251, 932, ...), or
  // null with *error set when the system does not know it.
  static std::unique_ptr<AnsiText> Create(int codepage, std::string* error);
  ~AnsiText();
  AnsiText(const AnsiText&) = delete;
  AnsiText& operator=(const AnsiText&) = delete;

  // `text` in UTF-8. A byte that the code page does not define becomes
  // U+FFFD; in code page 1252 the five bytes that Windows passes through
  // unchanged (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the same code points.
  std::string ToUtf8(std::string_view text);

 private:
  AnsiText(void* cd, int codepage) : cd_(cd), codepage_(codepage) {}
  void* cd_;  // the iconv descriptor; unused on Windows
  int codepage_;
};

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_ANSI_TEXT_H_
