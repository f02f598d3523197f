// The model file embedded into the library at build time.
#pragma once

#include <string_view>

namespace tesk_privacy::ner {

// The embedded model's bytes (64-byte aligned); empty when the library was
// built without models/ner_model.bin.
std::string_view builtin_model_bytes();

}  // namespace tesk_privacy::ner
