// Reading and writing a mapping store as JSON, so that consecutive runs keep
// their placeholders consistent:
//
//   {"PERSON": {"<PERSON_1>": "Budi", "<PERSON_2>": "Siti"}, "LOCATION": {...}}
//
// Order is kept at both levels. Files are written atomically: the JSON goes
// to a temporary file beside the target, is flushed to disk, and is renamed
// over the target, so a reader sees either the old file or the new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

// Throws std::invalid_argument (with the position for bad JSON) when `json`
// is not an object of objects of strings, or holds invalid UTF-8.
MappingDataType parse_mapping_json(std::string_view json);
std::string mapping_to_json(const MappingDataType& mapping);

// nullopt when the file does not exist; OSError when it cannot be read;
// std::invalid_argument (naming the file) when its content is not a mapping.
std::optional<MappingDataType> load_mapping_file(const std::string& path);
// Throws OSError when the file cannot be written; the old file is then intact.
void save_mapping_file(const std::string& path, const MappingDataType& mapping);

}  // namespace tesk_privacy::pii_detector
