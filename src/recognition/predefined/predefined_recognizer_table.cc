#include "recognition/predefined/predefined_recognizer_table.h"

#include <map>
#include <stdexcept>

#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

// One alternative per registered IBAN length: the countries of that length,
// two check digits, then the rest in groups of four characters, each group
// optionally after one blank. Tying the length to the country keeps a
// following word of four letters or digits out of the span.
std::string iban_pattern() {
  std::map<int, std::string> countries_by_length;
  for (const auto& [country, length] : validators::iban_country_lengths()) {
    std::string& alternatives = countries_by_length[length];
    alternatives += (alternatives.empty() ? "" : "|") + country;
  }
  std::string pattern = R"(\b(?:)";
  bool first = true;
  for (const auto& [length, countries] : countries_by_length) {
    int rest = length - 4;
    pattern += first ? "" : "|";
    first = false;
    pattern += "(?:" + countries + R"()[0-9]{2}(?:[ ]?[A-Z0-9]{4}){)" + std::to_string(rest / 4) + "}";
    if (rest % 4 != 0) pattern += "[ ]?[A-Z0-9]{" + std::to_string(rest % 4) + "}";
  }
  pattern += R"()(?![A-Z0-9]))";
  return pattern;
}

// Month and day names, Indonesian and English, for the date patterns.
#define TESK_MONTH                                                                               \
  R"((?:Januari|January|Februari|February|Maret|March|April|Mei|May|Juni|June|Juli|July|Agustus|)" \
  R"(August|September|Oktober|October|November|Desember|December|Jan|Feb|Mar|Apr|Jun|Jul|Agu|)"   \
  R"(Agt|Aug|Sept|Sep|Okt|Oct|Nov|Des|Dec))"
#define TESK_DAY \
  R"((?:Senin|Selasa|Rabu|Kamis|Jumat|Jum'at|Sabtu|Minggu|Ahad|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday))"
#define TESK_DAY_NUMBER R"((?:0?[1-9]|[12][0-9]|3[01])(?:st|nd|rd|th)?)"
#define TESK_URL_PATH R"((?:/[^\s<>"'()\[\]{}]*[^\s<>"'()\[\]{}.,;:!?])?)"

std::vector<PredefinedRecognizerSpec> build_table() {
  return {
      {"EmailRecognizer",
       "EMAIL_ADDRESS",
       {{"Email (medium)", R"((?<![\w.%+-])[\w%+-]+(?:\.[\w%+-]+)*@[\w-]+(?:\.[\w-]+)+)", 0.5}},
       0.0,
       {"email", "e-mail", "mail", "surel", "surat elektronik", "alamat email"},
       "domain part checked (labels, length, top-level label of letters): a valid domain confirms the "
       "address, an invalid one drops it"},

      {"PhoneRecognizer",
       "PHONE_NUMBER",
       {},
       0.4,
       {"phone", "number", "telephone", "tel", "telp", "cell", "cellphone", "mobile", "call", "fax",
        "telepon", "nomor", "hp", "ponsel", "handphone", "whatsapp", "wa", "hubungi"},
       "libphonenumber's matcher at leniency VALID for each region of PhoneRecognizer::DEFAULT_REGIONS: "
       "only numbers valid for their region are reported"},

      {"CreditCardRecognizer",
       "CREDIT_CARD",
       {{"Credit card (Visa, Mastercard, Discover, JCB, UnionPay)",
         R"(\b(?:4[0-9]{3}|5[1-5][0-9]{2}|2(?:2[2-9][0-9]|[3-6][0-9]{2}|7[01][0-9]|720)|6011|6[245][0-9]{2}|35(?:2[89]|[3-8][0-9]))(?:([ -])[0-9]{4}\1[0-9]{4}\1[0-9]{4}|[0-9]{9,15})\b)",
         0.3},
        {"Credit card (American Express)", R"(\b3[47][0-9]{2}(?:([ -])[0-9]{6}\1[0-9]{5}|[0-9]{11})\b)", 0.3},
        {"Credit card (Diners Club)", R"(\b3(?:0[0-5]|[68][0-9])[0-9](?:([ -])[0-9]{6}\1[0-9]{4}|[0-9]{10})\b)",
         0.3}},
       0.0,
       {"credit", "card", "visa", "mastercard", "cc", "amex", "discover", "jcb", "diners", "maestro",
        "unionpay", "debit"},
       "Luhn check over the digits: a passing number is confirmed, a failing one dropped"},

      {"IbanRecognizer",
       "IBAN_CODE",
       {{"IBAN (generic)", iban_pattern(), 0.5}},
       0.0,
       {"iban", "bank", "transaction", "account", "rekening", "transfer"},
       "country length and ISO 7064 mod-97 check digits: a passing code is confirmed, a failing one dropped"},

      {"CryptoRecognizer",
       "CRYPTO",
       {{"Bitcoin address (base58)", R"(\b[13][1-9A-HJ-NP-Za-km-z]{25,34}\b)", 0.5},
        {"Bitcoin address (bech32)", R"(\bbc1[02-9ac-hj-np-z]{6,87}\b)", 0.5}},
       0.0,
       {"wallet", "btc", "bitcoin", "crypto", "dompet", "kripto"},
       "base58check (double SHA-256) or bech32/bech32m checksum: a passing address is confirmed, a failing "
       "one dropped"},

      {"IpRecognizer",
       "IP_ADDRESS",
       {{"IPv4", R"((?<![\w.:])(?:[0-9]{1,3}\.){3}[0-9]{1,3}(?!\w|\.[0-9]))", 0.6},
        {"IPv6",
         R"((?<![\w:])(?:[0-9a-f]{0,4}:){2,8}(?:(?:[0-9]{1,3}\.){3}[0-9]{1,3}|[0-9a-f]{1,4})?(?![\w:]|\.[0-9]))",
         0.6}},
       0.0,
       {"ip", "ipv4", "ipv6", "address", "alamat ip", "server", "host"},
       "parsed with inet_pton: a candidate that is no address (octet over 255, leading zero, bad group "
       "count, \"::\") is dropped; a parsed one keeps its pattern score"},

      {"UrlRecognizer",
       "URL",
       {{"URL (with scheme)", R"(\b(?:https?|ftp)://[^\s<>"'()\[\]{}]*[^\s<>"'()\[\]{}.,;:!?])", 0.6},
        {"URL (www)", R"((?<![\w.@/-])www\.[a-z0-9-]+(?:\.[a-z0-9-]+)+)" TESK_URL_PATH, 0.5},
        {"URL (domain)",
         R"((?<![\w.@/-])(?!www\.)(?:[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?\.)+)"
         R"((?:com|org|net|edu|gov|mil|info|biz|io|co|id|uk|us|de|nl|fr|sg|my|au|jp|cn|in|ai|app|dev|me|tv))"
         R"((?![\w-]|\.[a-z0-9]))" TESK_URL_PATH,
         0.3}},
       0.0,
       {"url", "website", "web", "link", "tautan", "situs", "laman", "domain"},
       "none"},

      {"MedicalLicenseRecognizer",
       "MEDICAL_LICENSE",
       {{"DEA number", R"(\b[abcdefghjklmprstux][a-z9][0-9]{7}\b)", 0.4}},
       0.0,
       {"medical", "certificate", "dea", "license", "licence", "izin praktik", "sip", "str"},
       "DEA check digit: a passing number is confirmed, a failing one dropped"},

      {"UsBankRecognizer",
       "US_BANK_NUMBER",
       {{"Bank account (weak)", R"(\b[0-9]{8,17}\b)", 0.05}},
       0.0,
       {"bank", "account", "acct", "checking", "savings", "saving", "debit", "routing"},
       "none"},

      {"UsLicenseRecognizer",
       "US_DRIVER_LICENSE",
       {{"Driver license (alphanumeric)",
         R"(\b(?:[a-z]{1,2}[0-9]{3,14}|[0-9]{2,3}[a-z]{2,3}[0-9]{4,6}|[0-9]{7,9}[a-z]{1,2})\b)", 0.3},
        {"Driver license (digits)", R"(\b[0-9]{7,9}\b)", 0.01}},
       0.0,
       {"driver", "license", "licence", "permit", "lic", "identification", "dl", "dls", "cdl", "driving",
        "sim", "surat izin mengemudi"},
       "none"},

      {"UsItinRecognizer",
       "US_ITIN",
       {{"ITIN (delimited)",
         R"(\b9[0-9]{2}([- ])(?:5[0-9]|6[0-5]|7[0-9]|8[0-8]|9[0-2]|9[4-9])\1[0-9]{4}\b)", 0.5},
        {"ITIN (bare)", R"(\b9[0-9]{2}(?:5[0-9]|6[0-5]|7[0-9]|8[0-8]|9[0-2]|9[4-9])[0-9]{4}\b)", 0.3}},
       0.0,
       {"itin", "taxpayer", "tax id", "individual taxpayer", "tin"},
       "none: the pattern admits only the issued group ranges"},

      {"UsPassportRecognizer",
       "US_PASSPORT",
       {{"Passport (digits)", R"(\b[0-9]{9}\b)", 0.05},
        {"Passport (next generation)", R"(\b[a-z][0-9]{8}\b)", 0.1}},
       0.0,
       {"passport", "passport number", "travel document", "paspor", "nomor paspor"},
       "none"},

      {"UsSsnRecognizer",
       "US_SSN",
       {{"SSN (delimited)", R"(\b[0-9]{3}([- .])[0-9]{2}\1[0-9]{4}\b)", 0.5},
        {"SSN (bare)", R"(\b[0-9]{9}\b)", 0.05}},
       0.0,
       {"ssn", "ssns", "social security", "social security number", "ssa"},
       "area 000, 666 or 900-999, group 00, serial 0000, one repeated digit and advertised numbers are "
       "never issued: such a candidate is dropped"},

      {"DateRecognizer",
       "DATE_TIME",
       {{"Date (year-month-day)",
         R"(\b[0-9]{4}([-/.])(?:0?[1-9]|1[0-2])\1(?:0?[1-9]|[12][0-9]|3[01]))"
         R"((?:[T ](?:[01][0-9]|2[0-3]):[0-5][0-9](?::[0-5][0-9](?:\.[0-9]+)?)?(?:Z|[+-](?:[01][0-9]|2[0-3]):?[0-5][0-9])?)?)"
         R"((?!\w|[-/.:][0-9]))",
         0.6},
        {"Date (numeric)",
         R"((?<![0-9][-/.:])\b(?:0?[1-9]|[12][0-9]|3[01])([-/.])(?:0?[1-9]|[12][0-9]|3[01])\1[0-9]{4}\b(?![-/.:][0-9]))",
         0.6},
        {"Date (numeric, short year)",
         R"((?<![0-9][-/.:])\b(?:0?[1-9]|[12][0-9]|3[01])([-/.])(?:0?[1-9]|[12][0-9]|3[01])\1[0-9]{2}\b(?![-/.:][0-9]))",
         0.3},
        {"Date (day month-name year)",
         R"(\b(?:)" TESK_DAY R"(,?\s+)?)" TESK_DAY_NUMBER R"(\s+)" TESK_MONTH R"(\b\.?,?\s+[0-9]{4}\b)", 0.7},
        {"Date (day month-name)",
         R"(\b(?:)" TESK_DAY R"(,?\s+)?)" TESK_DAY_NUMBER R"(\s+)" TESK_MONTH R"(\b\.?(?!,?\s+[0-9]{4}\b))", 0.5},
        {"Date (month-name day year)",
         R"(\b(?:)" TESK_DAY R"(,?\s+)?)" TESK_MONTH R"(\b\.?\s+)" TESK_DAY_NUMBER R"(,?\s+[0-9]{4}\b)", 0.7},
        {"Date (month-name year)", R"(\b)" TESK_MONTH R"(\b\.?,?\s+[0-9]{4}\b)", 0.5},
        {"Day name", R"(\b)" TESK_DAY R"(\b)", 0.1},
        {"Time (marked)",
         R"(\b(?:(?:pukul|jam)\s+(?:[01]?[0-9]|2[0-3])(?:[:.][0-5][0-9]){1,2}(?:\s?(?:WIB|WITA|WIT|AM|PM)\b)?)"
         R"(|(?:[01]?[0-9]|2[0-3])(?:[:.][0-5][0-9]){1,2}\s?(?:WIB|WITA|WIT)\b)"
         R"(|(?:[01]?[0-9]|2[0-3])(?::[0-5][0-9]){0,2}\s?(?:AM|PM)\b))",
         0.6},
        {"Time (clock)", R"((?<![\w:.])(?:[01]?[0-9]|2[0-3]):[0-5][0-9](?::[0-5][0-9])?(?![\w:]|\.[0-9]))",
         0.4}},
       0.0,
       {"date", "time", "birthday", "birth", "born", "dob", "day", "tanggal", "tgl", "lahir", "waktu",
        "jam", "pukul", "hari", "bulan", "tahun", "jadwal"},
       "numeric dates must be real calendar dates (day-month or month-day, leap years counted): "
       "others are dropped"},
  };
}

#undef TESK_MONTH
#undef TESK_DAY
#undef TESK_DAY_NUMBER
#undef TESK_URL_PATH

}  // namespace

const std::vector<PredefinedRecognizerSpec>& predefined_recognizer_table() {
  static const std::vector<PredefinedRecognizerSpec> kTable = build_table();
  return kTable;
}

const PredefinedRecognizerSpec& predefined_recognizer_spec(std::string_view name) {
  for (const auto& entry : predefined_recognizer_table()) {
    if (entry.name == name) return entry;
  }
  throw std::invalid_argument("no predefined recognizer named '" + std::string(name) + "'");
}

}  // namespace tesk_privacy::recognition
