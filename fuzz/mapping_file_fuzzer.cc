// The mapping-file reader on arbitrary bytes: it either refuses them with
// std::invalid_argument or returns a store that writes back to JSON which
// reads again to the same store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "tesk_privacy/pii_detector/store/mapping_file.h"

using namespace tesk_privacy::pii_detector;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  MappingDataType mapping;
  try {
    mapping = parse_mapping_json(json);
  } catch (const std::invalid_argument&) {
    return 0;
  }
  if (parse_mapping_json(mapping_to_json(mapping)) != mapping) std::abort();
  return 0;
}
