#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& HalvernEmployeeIdRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> HALVERN_EMPLOYEE_ID_PATTERNS = {
      {"Employee ID (low)", R"(\b0\d{7}\b)", 0.5},
  };
  return HALVERN_EMPLOYEE_ID_PATTERNS;
}

const std::vector<std::string>& HalvernEmployeeIdRecognizer::default_context() {
  static const std::vector<std::string> HALVERN_EMPLOYEE_ID_CONTEXT = {"id karyawan", "employee id", "employee number", "employee identifier", "identifikasi", "nomor identifikasi", "karyawan", "employee", "nik"};
  return HALVERN_EMPLOYEE_ID_CONTEXT;
}

HalvernEmployeeIdRecognizer::HalvernEmployeeIdRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::EMPLOYEE_ID, default_patterns(), std::move(supported_language),
                        default_context(), {}, "HalvernEmployeeIdRecognizer") {}

}  // namespace tesk_privacy::pii_detector
