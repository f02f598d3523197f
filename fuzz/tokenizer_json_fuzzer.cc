// tokenizer.json reader on arbitrary bytes. An input is split at the first
// NUL byte into tokenizer.json and a text; a tokenizer that loads must encode
// the text (when it is UTF-8) or refuse it with an exception, and every
// token offset must lie inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "inference/tokenizer.h"
#include "tesk_privacy/text/utf8_text.h"

using namespace tesk_privacy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t nul = all.find('\0');
  const std::string_view json = all.substr(0, nul);
  const std::string_view text = nul == std::string_view::npos ? std::string_view("Budi tinggal di Jakarta.")
                                                              : all.substr(nul + 1);
  try {
    const auto tokenizer = inference::Tokenizer::from_json(json);
    if (find_invalid_utf8(text) != std::string_view::npos) return 0;
    const size_t length = Utf8Text(std::string(text)).length();
    const inference::Encoding encoding = tokenizer.encode(text);
    for (const auto& [start, end] : encoding.offsets) {
      if (start > end || end > length) std::abort();
    }
  } catch (const std::exception&) {
  }
  return 0;
}
