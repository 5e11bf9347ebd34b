// Helpers for the mail import tests: reading corpus files and looking up
// properties of an imported message.
#ifndef TOLLAN_TESTS_PLATFORM_MAIL_MAIL_TEST_UTIL_H_
#define TOLLAN_TESTS_PLATFORM_MAIL_MAIL_TEST_UTIL_H_

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/mail/charset.h"
#include "platform/mail/import.h"
#include "platform/pst/message.h"
#include "platform/text/utf.h"

namespace mail_test {

inline std::string CorpusPath(const std::string& name) {
  return std::string(TOLLAN_SOURCE_DIR) + "/tests/platform/mail/corpus/" + name;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

struct Imported {
  pst::MessageContent msg;
  mail::ImportReport report;
  pst::Status status;
};

inline Imported ImportText(const std::string& text, mail::ImportOptions opts = {}) {
  Imported r;
  if (opts.now_filetime == 0) opts.now_filetime = 133000000000000000ULL;
  r.status = mail::ImportMessage(Bytes(text), opts, &r.msg, &r.report);
  return r;
}

inline Imported ImportCorpus(const std::string& name, mail::ImportOptions opts = {}) {
  return ImportText(ReadFile(CorpusPath(name)), opts);
}

inline const pst::Property* FindIn(const std::vector<pst::Property>& props, uint16_t id, pst::PropType type) {
  for (const auto& p : props) {
    if (!p.named && p.id == id && p.type == type) return &p;
  }
  return nullptr;
}

inline std::optional<std::string> Str(const std::vector<pst::Property>& props, uint16_t id) {
  const pst::Property* p = FindIn(props, id, pst::PropType::kString);
  if (!p) return std::nullopt;
  return text::Utf16ToUtf8(std::get<std::u16string>(p->value));
}

inline std::optional<int64_t> Int(const std::vector<pst::Property>& props, uint16_t id) {
  const pst::Property* p = FindIn(props, id, pst::PropType::kInt32);
  if (!p) p = FindIn(props, id, pst::PropType::kBoolean);
  if (!p) return std::nullopt;
  return std::get<int64_t>(p->value);
}

inline std::optional<uint64_t> Time(const std::vector<pst::Property>& props, uint16_t id) {
  const pst::Property* p = FindIn(props, id, pst::PropType::kSysTime);
  if (!p) return std::nullopt;
  return std::get<uint64_t>(p->value);
}

inline std::optional<std::string> Bin(const std::vector<pst::Property>& props, uint16_t id) {
  const pst::Property* p = FindIn(props, id, pst::PropType::kBinary);
  if (!p) return std::nullopt;
  const auto& v = std::get<std::vector<uint8_t>>(p->value);
  return std::string(v.begin(), v.end());
}

// The attachment whose long file name (or display name) is `name`.
inline const pst::AttachmentContent* Attachment(const pst::MessageContent& m, const std::string& name) {
  for (const auto& a : m.attachments) {
    if (Str(a.props, 0x3707) == name || Str(a.props, 0x3001) == name) return &a;
  }
  return nullptr;
}

}  // namespace mail_test

#endif  // TOLLAN_TESTS_PLATFORM_MAIL_MAIL_TEST_UTIL_H_
