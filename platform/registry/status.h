// Status: the outcome of a registry operation, carried as a value. A failed
// status holds a message a user can act on (which file, key or setting).
#ifndef TOLLAN_PLATFORM_REGISTRY_STATUS_H_
#define TOLLAN_PLATFORM_REGISTRY_STATUS_H_

#include <string>
#include <utility>

namespace registry {

class Status {
 public:
  enum class Code { kOk, kNotFound, kIoError, kCorrupt, kInvalidArgument };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status IoError(std::string msg) { return Status(Code::kIoError, std::move(msg)); }
  static Status Corrupt(std::string msg) { return Status(Code::kCorrupt, std::move(msg)); }
  static Status InvalidArgument(std::string msg) {
    return Status(Code::kInvalidArgument, std::move(msg));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // "ok", or the message prefixed with the kind of failure.
  std::string ToString() const {
    switch (code_) {
      case Code::kOk: return "ok";
      case Code::kNotFound: return "not found: " + message_;
      case Code::kIoError: return "I/O error: " + message_;
      case Code::kCorrupt: return "corrupt: " + message_;
      case Code::kInvalidArgument: return "invalid argument: " + message_;
    }
    return message_;
  }

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_STATUS_H_
