// Fuzz target: the PST checker must report any input — never crash, hang or
// read outside it. Seeds are the Outlook-written fixtures.
#include <cstddef>
#include <cstdint>

#include "platform/pst/check/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pst::check::MemorySource source(data, size);
  pst::check::CheckOptions options;
  options.tree = true;
  pst::check::Report report = pst::check::CheckSource(source, options);
  (void)report;
  return 0;
}
