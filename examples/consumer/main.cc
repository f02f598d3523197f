// Anonymizes a sentence and restores it: the smallest program against the
// installed library. Exits 1 if the round trip does not give the text back.
#include <iostream>
#include <memory>
#include <string>

#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/version.h"

int main() {
  using namespace tesk_privacy::pii_detector;
  auto analyzer = std::make_shared<TextAnalyzer>();
  TextAnonymizer anonymizer(analyzer);
  const std::string text = "NIK 3171011205900001, email budi@contoh.co.id";
  const std::string safe = anonymizer.anonymize(text);
  std::cout << "tesk_privacy " << tesk_privacy::kVersion << ": " << safe << "\n";
  return anonymizer.deanonymize(safe) == text && safe != text ? 0 : 1;
}
