// Fuzzes the registration-file parser: any text either parses or is
// rejected with a reason, and what parses serializes to text that parses to
// the same entries.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/com/guid.h"
#include "platform/com/registration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tollan::com::RegistrationDatabase db;
  std::string error;
  if (!db.Parse(text, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::string written = db.Serialize();
  tollan::com::RegistrationDatabase again;
  if (!again.Parse(written, &error)) std::abort();
  if (again.Serialize() != written) std::abort();
  GUID guid;
  if (tollan::com::GuidFromString(text, &guid) &&
      !tollan::com::GuidFromString(tollan::com::GuidToString(guid), &guid)) {
    std::abort();
  }
  return 0;
}
