#include "text/case_mapping.h"

#include <unicode/ucasemap.h>
#include <unicode/utypes.h>

#include <memory>
#include <stdexcept>

namespace tesk_privacy {

std::string to_lower(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
  std::string out(text);
  if (ascii) {
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> map(ucasemap_open("", 0, &status),
                                                           &ucasemap_close);
  if (U_FAILURE(status)) throw std::runtime_error("ICU case map unavailable");
  out.resize(text.size() * 3 + 4);
  int32_t n = ucasemap_utf8ToLower(map.get(), out.data(), static_cast<int32_t>(out.size()),
                                   text.data(), static_cast<int32_t>(text.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.resize(n);
    n = ucasemap_utf8ToLower(map.get(), out.data(), n, text.data(),
                             static_cast<int32_t>(text.size()), &status);
  }
  if (U_FAILURE(status)) throw std::runtime_error("ICU lower-casing failed");
  out.resize(n);
  return out;
}

}  // namespace tesk_privacy
