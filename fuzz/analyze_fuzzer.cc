// Analysis of arbitrary bytes: invalid UTF-8 must be refused cleanly, valid
// text must yield spans inside the text, and nothing may crash or hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

using namespace tesk_privacy;

static const recognition::AnalyzerEngine& engine() {
  static const recognition::AnalyzerEngine* e = [] {
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"id"});
    registry->add_recognizer(std::make_shared<pii_detector::KTPRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::NPWPRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::BPJSNumberRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::FamilyCardNumberRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::HalvernEmployeeIdRecognizer>());
    return new recognition::AnalyzerEngine(registry, nullptr, {"id"});
  }();
  return *e;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (find_invalid_utf8(bytes) != std::string::npos) {
    try {
      Utf8Text text(bytes);
      std::abort();  // accepted invalid UTF-8
    } catch (const InvalidUtf8Error&) {
    }
    return 0;
  }
  Utf8Text text(bytes);
  recognition::AnalyzeOptions options;
  options.score_threshold = 0.0;
  for (const auto& r : engine().analyze(text, "id", options)) {
    if (r.start < 0 || r.end <= r.start || static_cast<size_t>(r.end) > text.length()) std::abort();
  }
  return 0;
}
