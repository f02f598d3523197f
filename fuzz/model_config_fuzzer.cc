// config.json reader on arbitrary bytes: refused with an exception or read;
// nothing crashes.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "inference/model_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    tesk_privacy::inference::ModelConfig::from_json(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::exception&) {
  }
  return 0;
}
