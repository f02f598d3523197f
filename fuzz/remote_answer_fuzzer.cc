// The remote recognizers' answer conversion on arbitrary bodies: a body is
// refused with an exception or converted into results; nothing crashes.
// The engine, not the conversion, checks the offsets against the text.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "pii_detector/recognizer/prosa_remote_recognizer.h"
#include "tesk_privacy/core/logger.h"

using namespace tesk_privacy;
using namespace tesk_privacy::pii_detector;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const HalvernNerApiRemoteRecognizer* halvern = [] {
    core::LoggerManager().set_default_level(core::LogLevel::kCritical);  // per-entity error lines
    return new HalvernNerApiRemoteRecognizer("http://127.0.0.1:9/");
  }();
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  try {
    ProsaRemoteRecognizer::_convert_response_to_recognizer_result(body);
  } catch (const std::exception&) {
  }
  try {
    halvern->_convert_response_to_recognizer_result(std::nullopt, body);
    halvern->_convert_response_to_recognizer_result(std::vector<std::string>{"PERSON"}, body);
  } catch (const std::exception&) {
  }
  return 0;
}
