#include "pii_detector/recognizer/money_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& MoneyRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> money_patterns = {
      {"MONEY_WITH_SYMBOL", R"((?<!\d)(?:[\$€£¥]|USD|EUR|GBP|JPY|Rp)\s?(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d+)(?:\.\d{2})?(?!\d))", 0.7},
      {"MONEY_WITHOUT_SYMBOL", R"(\b(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d{2,})(?:[.,]\d{2})?\b)", 0.01},
  };
  return money_patterns;
}

const std::vector<std::string>& MoneyRecognizer::default_context() {
  static const std::vector<std::string> STRONG_CONTEXT = {
      "bill", "bonus", "budget", "bunga", "cicilan", "cost", "credit", "currency", "debt",
      "expense", "fee", "financial", "gaji", "income", "invoice", "loss", "monetary", "payment",
      "pemasukan", "pendapatan", "pengeluaran", "pesangon", "pinjaman", "pph", "price", "profit",
      "receipt", "revenue", "salary", "THP", "transaction", "tunjangan",
  };
  return STRONG_CONTEXT;
}

MoneyRecognizer::MoneyRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::MONEY, default_patterns(), std::move(supported_language),
                        default_context(), {}, "MoneyRecognizer") {}

}  // namespace tesk_privacy::pii_detector
