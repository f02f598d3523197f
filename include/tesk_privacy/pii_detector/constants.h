// The vocabulary of entity types that recognizers report and that the
// anonymizer keys its operators and mappings by, and the detection record.
//
// Entities::KTP is the string "ID_KTP": every entity type is stored and
// compared as its value string.
//
//   if (result.entity_type == Entities::KTP) ...
//   for (const char* type : TESK_PRIVACY_ENTITIES) ...
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/recognizer_result.h"

namespace tesk_privacy::pii_detector {

using recognition::RecognizerResult;

// Supported entities for PII detection.
namespace Entities {
inline constexpr const char* KTP = "ID_KTP";
inline constexpr const char* NPWP = "ID_NPWP";
inline constexpr const char* PROJECT = "PROJECT";
inline constexpr const char* ORGANIZATION_NAME = "ORGANIZATION";
inline constexpr const char* EMPLOYEE_ID = "EMPLOYEE_ID";
inline constexpr const char* FAMILY_CARD_NUMBER = "FAMILY_CARD_NUMBER";
inline constexpr const char* FACEBOOK_ACCOUNT = "FACEBOOK_ACCOUNT";
inline constexpr const char* LINKEDIN_ACCOUNT = "LINKEDIN_ACCOUNT";
inline constexpr const char* BANK_ACCOUNT = "BANK_ACCOUNT";
inline constexpr const char* ID_BPJS_NUMBER = "ID_BPJS_NUMBER";
inline constexpr const char* EMAIL_ADDRESS = "EMAIL_ADDRESS";
inline constexpr const char* PERSON = "PERSON";
inline constexpr const char* PHONE_NUMBER = "PHONE_NUMBER";
inline constexpr const char* IBAN_CODE = "IBAN_CODE";
inline constexpr const char* CREDIT_CARD = "CREDIT_CARD";
inline constexpr const char* CRYPTO = "CRYPTO";
inline constexpr const char* IP_ADDRESS = "IP_ADDRESS";
inline constexpr const char* LOCATION = "LOCATION";
inline constexpr const char* DATE_TIME = "DATE_TIME";
inline constexpr const char* NRP = "NRP";
inline constexpr const char* MEDICAL_LICENSE = "MEDICAL_LICENSE";
inline constexpr const char* URL = "URL";
inline constexpr const char* MONEY = "MONEY";
inline constexpr const char* US_BANK_NUMBER = "US_BANK_NUMBER";
inline constexpr const char* US_DRIVER_LICENSE = "US_DRIVER_LICENSE";
inline constexpr const char* US_ITIN = "US_ITIN";
inline constexpr const char* US_PASSPORT = "US_PASSPORT";
inline constexpr const char* US_SSN = "US_SSN";
inline constexpr const char* OTHER_NAME = "OTHER_NAME";
inline constexpr const char* GOD = "GOD";
inline constexpr const char* FACILITY = "FACILITY";
inline constexpr const char* PRODUCT = "PRODUCT";
inline constexpr const char* EVENT = "EVENT";
inline constexpr const char* TIME = "TIME";
inline constexpr const char* NUMBER = "NUMBER";
inline constexpr const char* MEASUREMENT = "MEASUREMENT";
}  // namespace Entities

struct EntityMember {
  const char* name;
  const char* value;
};

// The members of Entities in declaration order, as (member name, value);
// three names differ from their values: KTP, NPWP, ORGANIZATION_NAME.
inline constexpr std::array<EntityMember, 36> ENTITY_MEMBERS = {{
    {"KTP", Entities::KTP},
    {"NPWP", Entities::NPWP},
    {"PROJECT", Entities::PROJECT},
    {"ORGANIZATION_NAME", Entities::ORGANIZATION_NAME},
    {"EMPLOYEE_ID", Entities::EMPLOYEE_ID},
    {"FAMILY_CARD_NUMBER", Entities::FAMILY_CARD_NUMBER},
    {"FACEBOOK_ACCOUNT", Entities::FACEBOOK_ACCOUNT},
    {"LINKEDIN_ACCOUNT", Entities::LINKEDIN_ACCOUNT},
    {"BANK_ACCOUNT", Entities::BANK_ACCOUNT},
    {"ID_BPJS_NUMBER", Entities::ID_BPJS_NUMBER},
    {"EMAIL_ADDRESS", Entities::EMAIL_ADDRESS},
    {"PERSON", Entities::PERSON},
    {"PHONE_NUMBER", Entities::PHONE_NUMBER},
    {"IBAN_CODE", Entities::IBAN_CODE},
    {"CREDIT_CARD", Entities::CREDIT_CARD},
    {"CRYPTO", Entities::CRYPTO},
    {"IP_ADDRESS", Entities::IP_ADDRESS},
    {"LOCATION", Entities::LOCATION},
    {"DATE_TIME", Entities::DATE_TIME},
    {"NRP", Entities::NRP},
    {"MEDICAL_LICENSE", Entities::MEDICAL_LICENSE},
    {"URL", Entities::URL},
    {"MONEY", Entities::MONEY},
    {"US_BANK_NUMBER", Entities::US_BANK_NUMBER},
    {"US_DRIVER_LICENSE", Entities::US_DRIVER_LICENSE},
    {"US_ITIN", Entities::US_ITIN},
    {"US_PASSPORT", Entities::US_PASSPORT},
    {"US_SSN", Entities::US_SSN},
    {"OTHER_NAME", Entities::OTHER_NAME},
    {"GOD", Entities::GOD},
    {"FACILITY", Entities::FACILITY},
    {"PRODUCT", Entities::PRODUCT},
    {"EVENT", Entities::EVENT},
    {"TIME", Entities::TIME},
    {"NUMBER", Entities::NUMBER},
    {"MEASUREMENT", Entities::MEASUREMENT},
}};

// The 36 entity type values in declaration order.
inline constexpr std::array<const char*, ENTITY_MEMBERS.size()> TESK_PRIVACY_ENTITIES = [] {
  std::array<const char*, ENTITY_MEMBERS.size()> values{};
  for (size_t i = 0; i < ENTITY_MEMBERS.size(); ++i) values[i] = ENTITY_MEMBERS[i].value;
  return values;
}();

// Constants of the Prosa named-entity-recognition web API integration.
struct ProsaNERConstant {
  static constexpr const char* HEADER_CONTENT_TYPE_KEY = "Content-Type";
  static constexpr const char* HEADER_CONTENT_TYPE_VAL = "application/json";
  static constexpr const char* HEADER_X_API_KEY_KEY = "x-api-key";
  static constexpr const char* HEADER_USER_AGENT = "User-Agent";
  static constexpr const char* HEADER_USER_AGENT_VAL = "TESK-Privacy";
  static constexpr const char* ID_LANGUAGE = "id";
  static constexpr const char* VERSION_CUSTOM_NER = "1.0";
  static constexpr const char* PAYLOAD_VERSION_KEY = "version";
  static constexpr const char* PAYLOAD_VERSION_VAL = "v2";
  static constexpr const char* PAYLOAD_TEXT_KEY = "text";
  static constexpr int RESPONSE_TIMEOUT = 100;  // seconds
  static constexpr const char* ENTITY_TYPE_KEY = "entity_type";
  static constexpr const char* START_KEY = "start";
  static constexpr const char* START_IDX_KEY = "begin_offset";
  static constexpr const char* END_KEY = "end";
  static constexpr const char* LENGTH_KEY = "length";
  static constexpr const char* SCORE_KEY = "score";
  static constexpr double DEFAULT_SCORE = 0.5;
  static constexpr const char* RECOGNITION_METADATA_KEY = "recognition_metadata";
  static constexpr const char* NAME_KEY = "name";
  static constexpr const char* ENTITY_KEY = "type";
};

struct ProsaEntityMapping {
  const char* code;
  const char* entity;
};

// The provider's entity codes and the entity types they stand for.
inline constexpr std::array<ProsaEntityMapping, 12> PROSA_ENTITY_MAP = {{
    {"OTN", Entities::OTHER_NAME},
    {"PER", Entities::PERSON},
    {"GOD", Entities::GOD},
    {"ORG", Entities::ORGANIZATION_NAME},
    {"LOC", Entities::LOCATION},
    {"FAC", Entities::FACILITY},
    {"PRO", Entities::PRODUCT},
    {"EVT", Entities::EVENT},
    {"TME", Entities::TIME},
    {"DTE", Entities::DATE_TIME},
    {"NUM", Entities::NUMBER},
    {"MEA", Entities::MEASUREMENT},
}};

// The entity type of a Prosa code, or nullopt for a code outside the map.
inline std::optional<std::string> prosa_entity_for(std::string_view code) {
  for (const auto& m : PROSA_ENTITY_MAP) {
    if (code == m.code) return std::string(m.entity);
  }
  return std::nullopt;
}

// What ProsaRemoteRecognizer reports unless told otherwise.
inline constexpr std::array<const char*, 3> DEFAULT_PROSA_SUPPORTED_PII_ENTITIES = {
    Entities::PERSON, Entities::ORGANIZATION_NAME, Entities::LOCATION};

}  // namespace tesk_privacy::pii_detector
