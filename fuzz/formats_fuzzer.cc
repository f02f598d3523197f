// The Indonesian format recognizers and the rules that settle their findings
// on arbitrary text: spans lie inside the text, and after settling no two
// identifiers, dates or addresses overlap, so an anonymizer never replaces
// part of one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "pii_detector/formats/address_recognizer.h"
#include "pii_detector/formats/amount_recognizer.h"
#include "pii_detector/formats/findings_resolver.h"
#include "pii_detector/formats/identifier_recognizer.h"
#include "pii_detector/formats/indonesian_date_recognizer.h"
#include "pii_detector/formats/vehicle_plate_recognizer.h"
#include "pii_detector/formats/written_out_email_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

using namespace tesk_privacy;

static const recognition::AnalyzerEngine& engine() {
  static const recognition::AnalyzerEngine* e = [] {
    namespace f = pii_detector::formats;
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"id"});
    registry->add_recognizer(std::make_shared<f::IdentifierRecognizer>());
    registry->add_recognizer(std::make_shared<f::WrittenOutEmailRecognizer>());
    registry->add_recognizer(std::make_shared<f::VehiclePlateRecognizer>());
    registry->add_recognizer(std::make_shared<f::IndonesianDateRecognizer>());
    registry->add_recognizer(std::make_shared<f::AddressRecognizer>());
    registry->add_recognizer(std::make_shared<f::AmountRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::KTPRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::IndonesianPhoneNumberRecognizer>());
    registry->add_recognizer(std::make_shared<pii_detector::MoneyRecognizer>());
    return new recognition::AnalyzerEngine(registry, nullptr, {"id"});
  }();
  return *e;
}

static bool has_a_form(const std::string& type) {
  return type != "PERSON" && type != "LOCATION" && type != "ORGANIZATION" && type != "MONEY" && type != "NRP";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (find_invalid_utf8(bytes) != std::string::npos) return 0;
  Utf8Text text(bytes);
  recognition::AnalyzeOptions options;
  options.score_threshold = 0.0;
  const auto results = pii_detector::formats::resolve_findings(text, engine().analyze(text, "id", options));
  for (size_t i = 0; i < results.size(); ++i) {
    const auto& r = results[i];
    if (r.start < 0 || r.end <= r.start || static_cast<size_t>(r.end) > text.length()) std::abort();
    for (size_t j = i + 1; j < results.size(); ++j) {
      if (has_a_form(r.entity_type) && has_a_form(results[j].entity_type) && r.intersects(results[j])) std::abort();
    }
  }
  return 0;
}
