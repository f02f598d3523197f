#include "pii_detector/recognizer/bank_account_number_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& BankAccountNumberRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> bank_account_patterns = {
      {"BANK_ACCOUNT", R"(\b\d{15}\b)", 0.01},
      {"BANK_ACCOUNT", R"(\b\d{10}\b)", 0.01},
      {"BANK_ACCOUNT", R"(\b\d{13}\b)", 0.01},
      {"BANK_ACCOUNT", R"(\b\d{16}\b)", 0.01},
      {"BANK_ACCOUNT", R"(\b\d{12}\b)", 0.01},
  };
  return bank_account_patterns;
}

const std::vector<std::string>& BankAccountNumberRecognizer::default_context() {
  static const std::vector<std::string> bank_account_context = {
      "bank account", "rekening", "bank", "account number", "nomor akun", "akun bank",
      "nomor rekening", "rekening bank",
  };
  return bank_account_context;
}

BankAccountNumberRecognizer::BankAccountNumberRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::BANK_ACCOUNT, default_patterns(), std::move(supported_language),
                        default_context(), {}, "BankAccountNumberRecognizer") {}

}  // namespace tesk_privacy::pii_detector
