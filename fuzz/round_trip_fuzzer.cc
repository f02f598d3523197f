// anonymize then deanonymize of arbitrary text: nothing may crash, a
// detected span whose edges are word boundaries must be gone from the
// output, and when the round-trip conditions hold (every recorded original
// occurs only in its recorded letter case, no anonymized value occurs in the
// input, every detection lies on word boundaries) the text must come back
// byte for byte. The first byte picks placeholders or fake values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "recognition/predefined/email_recognizer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"
#include "tesk_privacy/regex/regex.h"
#include "text/python_chars.h"

using namespace tesk_privacy;
using namespace tesk_privacy::pii_detector;

namespace {

class FuzzAnalyzer : public BaseTextAnalyzer {
 public:
  FuzzAnalyzer() {
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"id"});
    registry->add_recognizer(std::make_shared<KTPRecognizer>());
    registry->add_recognizer(std::make_shared<BPJSNumberRecognizer>());
    registry->add_recognizer(std::make_shared<IndonesianPhoneNumberRecognizer>());
    registry->add_recognizer(std::make_shared<MoneyRecognizer>());
    registry->add_recognizer(std::make_shared<OrganizationNameRecognizer>());
    registry->add_recognizer(std::make_shared<recognition::EmailRecognizer>("id"));
    registry->add_recognizer(std::make_shared<recognition::PatternRecognizer>(
        "PERSON", std::vector<recognition::Pattern>{}, "id", std::vector<std::string>{},
        std::vector<std::string>{"Budi", "Siti Aminah", "Andi", "John Smith"}));
    engine_ = std::make_shared<recognition::AnalyzerEngine>(registry, nullptr, std::vector<std::string>{"id"});
  }
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                                     const AnalyzeOptions& options) const override {
    return engine_->analyze(text, language, options);
  }

 private:
  std::shared_ptr<recognition::AnalyzerEngine> engine_;
};

const std::shared_ptr<const FuzzAnalyzer>& analyzer() {
  static const auto* a = new std::shared_ptr<const FuzzAnalyzer>(std::make_shared<const FuzzAnalyzer>());
  return *a;
}

bool occurs_as_word(const std::string& needle, const Utf8Text& text) {
  const regex::Regex re("(?<!\\w)" + regex::escape(needle) + "(?!\\w)", regex::IGNORECASE);
  return !re.find_all(text).empty();
}

bool differs_in_case_somewhere(const std::string& original, const Utf8Text& text) {
  const regex::Regex re("(?<!\\w)" + regex::escape(original) + "(?!\\w)", regex::IGNORECASE);
  for (const auto& m : re.find_all(text)) {
    if (text.view().substr(m.byte_start, m.byte_end - m.byte_start) != original) return true;
  }
  return false;
}

bool on_word_boundaries(const std::u32string& cps, int64_t start, int64_t end) {
  return (start == 0 || !is_py_word_char(cps[start - 1])) && (end == static_cast<int64_t>(cps.size()) || !is_py_word_char(cps[end]));
}

[[noreturn]] void fail(const char* what, const std::string& text, const std::string& out) {
  std::cerr << what << "\ninput:  " << text << "\noutput: " << out << "\n";
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool fake = data[0] & 1;
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (find_invalid_utf8(input) != std::string::npos) return 0;
  const Utf8Text text(input);

  TextAnonymizerOptions options;
  options.add_default_faker_operators = fake;
  options.faker_locale = (data[0] & 2) ? "id_ID" : "en_US";
  TextAnonymizer anonymizer(analyzer(), options);
  const std::string safe = anonymizer.anonymize(input);
  const std::string back = anonymizer.deanonymize(safe);

  std::u32string cps;
  for (size_t pos = 0; pos < input.size();) cps.push_back(decode_utf8(input, pos));
  bool conditions = true;
  AnalyzeOptions detect;
  detect.score_threshold = 0.46;
  for (const auto& r : analyzer()->analyze(text, "id", detect)) {
    conditions = conditions && on_word_boundaries(cps, r.start, r.end);
  }
  for (const auto& [type, inner] : anonymizer.deanonymizer_mapping()) {
    for (const auto& [anonymized, original] : inner) {
      if (occurs_as_word(anonymized, text) || differs_in_case_somewhere(original, text)) conditions = false;
    }
  }
  if (conditions && back != input) fail("round trip lost the text", input, back);
  return 0;
}
