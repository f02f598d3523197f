// Unicode lower-casing of UTF-8 text with the full case mapping (as Python's
// str.lower does: "İ" becomes "i̇", "ẞ" becomes "ß"), backed by ICU.
#pragma once

#include <string>
#include <string_view>

namespace tesk_privacy {

// `text` must be valid UTF-8.
std::string to_lower(std::string_view text);

}  // namespace tesk_privacy
