// Status: the outcome of a PST operation, carried as a value. A failed status
// holds a message a user can act on (what failed, on which file or object).
#ifndef TOLLAN_PLATFORM_PST_STATUS_H_
#define TOLLAN_PLATFORM_PST_STATUS_H_

#include <string>
#include <utility>

namespace pst {

class Status {
 public:
  enum class Code { kOk, kIoError, kCorrupt, kInvalidArgument, kNotFound, kTooLarge };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status IoError(std::string msg) { return Status(Code::kIoError, std::move(msg)); }
  static Status Corrupt(std::string msg) { return Status(Code::kCorrupt, std::move(msg)); }
  static Status InvalidArgument(std::string msg) {
    return Status(Code::kInvalidArgument, std::move(msg));
  }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status TooLarge(std::string msg) { return Status(Code::kTooLarge, std::move(msg)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // "ok", or the message prefixed with the kind of failure.
  std::string ToString() const;

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

inline std::string Status::ToString() const {
  switch (code_) {
    case Code::kOk: return "ok";
    case Code::kIoError: return "I/O error: " + message_;
    case Code::kCorrupt: return "corrupt: " + message_;
    case Code::kInvalidArgument: return "invalid argument: " + message_;
    case Code::kNotFound: return "not found: " + message_;
    case Code::kTooLarge: return "too large: " + message_;
  }
  return message_;
}

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_STATUS_H_
