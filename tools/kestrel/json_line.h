// JsonLine: builds one JSON object on one line, keys in the order added.
#ifndef TOLLAN_TOOLS_KESTREL_JSON_LINE_H_
#define TOLLAN_TOOLS_KESTREL_JSON_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

class JsonLine {
 public:
  // `value` must be UTF-8; it is escaped as JSON requires.
  JsonLine& String(std::string_view key, std::string_view value);
  JsonLine& Int(std::string_view key, int64_t value);
  JsonLine& Bool(std::string_view key, bool value);
  JsonLine& Null(std::string_view key);
  // The object, "{...}", without a line end.
  std::string Finish() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

// `text` as a quoted JSON string.
std::string JsonQuote(std::string_view text);

}  // namespace kestrel

#endif  // TOLLAN_TOOLS_KESTREL_JSON_LINE_H_
