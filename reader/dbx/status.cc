// Text form of DbxStatus.
#include "reader/dbx/status.h"

namespace dbx {

std::string DbxStatus::ToString() const {
  if (code_ == kResultOk) return "ok";
  return message_ + " (code " + std::to_string(code_) + ")";
}

}  // namespace dbx
