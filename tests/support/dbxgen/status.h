// Status and Result: outcomes of the sample-store generator, carried as values.
// A failed status names what failed and on which file, so a test or the
// make-sample-store tool can print it as is.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_STATUS_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_STATUS_H_

#include <optional>
#include <string>
#include <utility>

namespace dbxgen {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

// A value or the status that explains why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_STATUS_H_
