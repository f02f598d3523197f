// Reading fixed-width values out of the model's byte images (host byte
// order, which the model format records and checks).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace tesk_privacy::ner {

// The T stored at byte `at` of `bytes`; the caller has checked the bounds.
template <typename T>
T read(std::string_view bytes, size_t at) {
  T v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

}  // namespace tesk_privacy::ner
