// DbxStatus: the outcome of a DBX reader operation, carried as a value.
//
// The code is one of the reader's result codes (0 and 1000 to 1005) or a
// runtime error number in the style the object model reports to its clients
// (5 invalid argument, 52 bad file, 53 file not found, 57 device I/O error,
// 70 permission denied, 75 path/file access error). A non-zero status also
// carries a message naming the file or offset involved.
#ifndef TOLLAN_READER_DBX_STATUS_H_
#define TOLLAN_READER_DBX_STATUS_H_

#include <string>
#include <utility>

namespace dbx {

// Result codes of opening a store or a folder file.
inline constexpr int kResultOk = 0;
// folders.dbx not found, and looking for it failed (no such directory).
inline constexpr int kResultLookupFailed = 1000;
// The file does not exist in the store directory.
inline constexpr int kResultNotFound = 1001;
// The file does not carry the expected signature and file kind.
inline constexpr int kResultWrongSignature = 1002;
// The open was refused: permission denied or locked by another opener.
inline constexpr int kResultAccessDenied = 1003;
// The folder has no file name.
inline constexpr int kResultNoFileName = 1004;
// Opened and listed, but at least one message body cannot be located.
inline constexpr int kResultUnreadableBody = 1005;

// Runtime error numbers.
inline constexpr int kErrorInvalidArgument = 5;
inline constexpr int kErrorOverflow = 6;
inline constexpr int kErrorBadFile = 52;
inline constexpr int kErrorFileNotFound = 53;
inline constexpr int kErrorDeviceIo = 57;
inline constexpr int kErrorPermissionDenied = 70;
inline constexpr int kErrorPathFileAccess = 75;

class DbxStatus {
 public:
  DbxStatus() = default;
  DbxStatus(int code, std::string message) : code_(code), message_(std::move(message)) {}
  static DbxStatus Ok() { return DbxStatus(); }

  // True only for code 0. Code 1005 is a warning: the folder was read.
  bool ok() const { return code_ == kResultOk; }
  int code() const { return code_; }
  const std::string& message() const { return message_; }
  // "ok", or "<message> (code N)".
  std::string ToString() const;

 private:
  int code_ = kResultOk;
  std::string message_;
};

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_STATUS_H_
