// Fuzz target: any bytes as the payload of an import worker's answer. The
// decoder must refuse or accept without crashing, hanging or over-reading,
// and whatever it accepts must encode again to the same payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "converter/engine/import_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  // The message the answer is about: windows on it must lie inside it.
  static const auto text = std::make_shared<const std::string>(std::string(4096, 'A') + "==\r\n");
  tollan::wire::ImportAnswer answer;
  if (!tollan::wire::DecodeAnswer(payload, &answer, text).ok()) return 0;
  std::string frame;
  if (!tollan::wire::AppendAnswer(answer, &frame, text.get()).ok()) std::abort();
  if (std::string_view(frame).substr(tollan::wire::kHeaderSize) != payload) std::abort();
  return 0;
}
