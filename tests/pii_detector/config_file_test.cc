#include "tesk_privacy/pii_detector/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tesk_privacy/anonymization/anonymizer_engine.h"
#include "tesk_privacy/anonymization/encryption.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {
namespace {

using anonymization::OperatorConfig;
using recognition::Pattern;
using recognition::PatternRecognizer;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// "name/language/ENTITY" of each recognizer, with its patterns, context and
// deny list, readable in failure output.
std::vector<std::string> describe(const PrivacyConfig& config) {
  std::vector<std::string> out;
  for (const auto& r : config.recognizers) {
    const auto* p = dynamic_cast<const PatternRecognizer*>(r.get());
    std::string line = r->name() + "/" + r->supported_language() + "/" + p->supported_entity();
    for (const Pattern& pattern : p->patterns()) {
      line += " [" + pattern.name + " " + pattern.regex + " " + std::to_string(pattern.score).substr(0, 4) + "]";
    }
    for (const std::string& word : r->context()) line += " ctx:" + word;
    for (const std::string& word : p->deny_list()) line += " deny:" + word;
    out.push_back(line);
  }
  return out;
}

TEST(ConfigFile, ReadsEverySection) {
  const PrivacyConfig config = parse_privacy_config(R"(
recognizers:
  - name: employee id
    entity_type: EMPLOYEE_ID
    patterns:
      - name: nip
        regex: '\bEMP-\d{6}\b'
        score: 0.9
      - regex: '\bNIP\d{8}\b'
    context: [karyawan, pegawai]
    languages: [en]
  - entity_type: BADGE_2
    regex: "\\bHB-\\d{5}\\b"
    score: 1
deny_lists:
  PROJECT: [Garuda, Merpati]
allow_list: [Jakarta, Bank Indonesia]
operators:
  PHONE_NUMBER: {type: mask, masking_char: "*", chars_to_mask: 6, from_end: true}
  EMAIL_ADDRESS:
    type: hash
    hash_type: sha512
  PERSON: {type: replace, new_value: <NAMA>}
  ID_KTP: {type: encrypt, key: "0123456789abcdef"}
  DEFAULT: {type: redact}
)");
  EXPECT_EQ(describe(config),
            (std::vector<std::string>{
                "employee id/en/EMPLOYEE_ID [nip \\bEMP-\\d{6}\\b 0.90] [employee id \\bNIP\\d{8}\\b 0.85] "
                "ctx:karyawan ctx:pegawai",
                "BADGE_2 pattern/id/BADGE_2 [BADGE_2 pattern \\bHB-\\d{5}\\b 1.00]",
                "BADGE_2 pattern/en/BADGE_2 [BADGE_2 pattern \\bHB-\\d{5}\\b 1.00]",
                "deny list of PROJECT/id/PROJECT deny:Garuda deny:Merpati",
                "deny list of PROJECT/en/PROJECT deny:Garuda deny:Merpati",
            }));
  EXPECT_EQ(config.allow_list, (std::vector<std::string>{"Jakarta", "Bank Indonesia"}));

  std::vector<std::string> types;
  for (const auto& [type, op] : config.operators) types.push_back(type + ":" + op.operator_name);
  EXPECT_EQ(types, (std::vector<std::string>{"PHONE_NUMBER:mask", "EMAIL_ADDRESS:hash", "PERSON:replace",
                                             "ID_KTP:encrypt", "DEFAULT:redact"}));
  const OperatorConfig& mask = *config.operators.find("PHONE_NUMBER");
  EXPECT_EQ(std::get<std::string>(mask.param("masking_char")), "*");
  EXPECT_EQ(std::get<int64_t>(mask.param("chars_to_mask")), 6);
  EXPECT_EQ(std::get<bool>(mask.param("from_end")), true);
  EXPECT_EQ(std::get<std::string>(config.operators.find("EMAIL_ADDRESS")->param("hash_type")), "sha512");
  EXPECT_EQ(std::get<std::string>(config.operators.find("PERSON")->param("new_value")), "<NAMA>");
  EXPECT_EQ(std::get<std::string>(config.operators.find("ID_KTP")->param("key")), "0123456789abcdef");
}

// "TYPE:value" of a parameter value, comparable and readable.
std::string shown(const anonymization::ParamValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return "string:" + *s;
  if (const auto* i = std::get_if<int64_t>(&v)) return "int:" + std::to_string(*i);
  if (const auto* d = std::get_if<double>(&v)) return "double:" + std::to_string(*d);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "bool:true" : "bool:false";
  return "function";
}

// Each parameter takes one type (new_value a string, chars_to_mask an
// integer, from_end a bool), so which of them accept a value tells how it
// was read; a number with a fraction fits none.
TEST(ConfigFile, OperatorParametersAreTypedAsYamlReadsThem) {
  struct Case {
    std::string value;
    anonymization::ParamValue expected;
  };
  const std::vector<Case> cases = {
      {"6", int64_t{6}},
      {"+6", int64_t{6}},
      {"0x1F", int64_t{31}},
      {"0o17", int64_t{15}},
      {"0.5", 0.5},
      {"1e3", 1000.0},
      {".5", 0.5},
      {"-.inf", 0.0},
      {"true", true},
      {"False", false},
      {"\"6\"", std::string("6")},
      {"'true'", std::string("true")},
      {"!!str 6", std::string("6")},
      {"yes", std::string("yes")},
      {"6 apples", std::string("6 apples")},
      {"0x", std::string("0x")},
      {"1e", std::string("1e")},
      {"0o8", std::string("0o8")},
      {"!!int 0x10", int64_t{16}},
      {"!!float 1", 1.0},
      {"!!bool true", true},
  };
  const std::vector<std::pair<std::string, size_t>> parameters = {
      {"new_value", 0}, {"chars_to_mask", 1}, {"from_end", 3}};  // ParamValue alternatives
  for (const Case& c : cases) {
    for (const auto& [name, alternative] : parameters) {
      std::string yaml = "operators:\n  X: {type: mask, masking_char: '*', chars_to_mask: 1, from_end: false}\n";
      if (name == "new_value") {
        yaml = "operators:\n  X: {type: replace, new_value: " + c.value + "}\n";
      } else {
        yaml.replace(yaml.find(name + ": ") + name.size() + 2, name == "from_end" ? 5 : 1, c.value);
      }
      const bool fits = c.expected.index() == alternative;
      try {
        const PrivacyConfig config = parse_privacy_config(yaml);
        EXPECT_TRUE(fits) << c.value << " accepted as " << name;
        if (fits) {
          EXPECT_EQ(shown(config.operators.find("X")->param(name)), shown(c.expected)) << c.value;
        }
      } catch (const ConfigError& e) {
        EXPECT_FALSE(fits) << c.value << " as " << name << ": " << e.what();
        EXPECT_THAT(e.what(), HasSubstr("'" + name + "'")) << c.value;
      }
    }
  }
}

TEST(ConfigFile, EmptyDocumentsAreEmptyConfigs) {
  for (const std::string yaml : {"", "\n\n", "# only a comment\n", "~", "---\n", "recognizers:\nallow_list: []\n"}) {
    const PrivacyConfig config = parse_privacy_config(yaml);
    EXPECT_TRUE(config.recognizers.empty()) << yaml;
    EXPECT_TRUE(config.allow_list.empty()) << yaml;
    EXPECT_EQ(config.operators.size(), 0u) << yaml;
  }
}

TEST(ConfigFile, BadConfigsNameLineAndColumn) {
  struct Case {
    std::string what;
    std::string yaml;
    size_t line;
    size_t column;
    std::string message;
  };
  const std::string recognizer = "recognizers:\n  - entity_type: EMPLOYEE_ID\n    regex: 'EMP'\n";
  const std::vector<Case> cases = {
      {"unclosed flow list", "allow_list: [Jakarta, Bandung\n", 2, 1, "end of sequence flow"},
      {"tab indentation", "recognizers:\n\t- entity_type: X\n", 2, 2, "illegal block entry"},
      {"not a mapping", "- recognizers\n", 1, 1, "not a list"},
      {"two documents", "allow_list: [a]\n---\nallow_list: [b]\n", 3, 1, "one YAML document"},
      {"unknown top-level key", "allow_list: []\nrecognizer: []\n", 2, 1, "unknown key 'recognizer'"},
      {"repeated top-level key", "allow_list: [a]\nallow_list: [b]\n", 2, 1, "'allow_list' appears twice"},
      {"string for a list", "allow_list: Jakarta\n", 1, 13, "allow_list must be a list, not a string"},
      {"key without a value", "recognizers:\n  - entity_type:\n    regex: x\n", 2, 5, "'entity_type' has no value"},
      {"parameter without a value", "operators:\n  P: {type: mask, masking_char: , chars_to_mask: 2}\n", 2, 19,
       "'masking_char' has no value"},
      {"operator without a value", "operators:\n  P:\n  Q: {type: keep}\n", 2, 3, "'P' has no value"},
      {"null in a list", "allow_list: [a, ~]\n", 1, 17, "an allow_list entry must be a string, not nothing"},
      {"mapping for a list", "recognizers: {entity_type: X}\n", 1, 14, "recognizers must be a list, not a mapping"},
      {"list in a list of strings", "allow_list: [[a]]\n", 1, 14, "an allow_list entry must be a string, not a list"},
      {"recognizer not a mapping", "recognizers: [EMPLOYEE_ID]\n", 1, 15, "a recognizer must be a mapping"},
      {"unknown recognizer key", recognizer + "    scroe: 0.5\n", 4, 5, "unknown key 'scroe' in a recognizer"},
      {"unknown pattern key", "recognizers:\n  - entity_type: X\n    patterns:\n      - {regex: a, weight: 1}\n", 4,
       20, "unknown key 'weight' in a pattern"},
      {"missing entity type", "recognizers:\n  - regex: 'EMP'\n", 2, 5, "needs an entity_type"},
      {"lowercase entity type", "recognizers:\n  - entity_type: employee_id\n    regex: x\n", 2, 18,
       "'employee_id' is not an entity type name"},
      {"entity type with a dash", "deny_lists:\n  MY-PROJECT: [Garuda]\n", 2, 3, "'MY-PROJECT' is not an entity type"},
      {"no patterns", "recognizers:\n  - entity_type: X\n    context: [a]\n", 2, 5, "needs patterns, or a regex"},
      {"patterns and regex", "recognizers:\n  - entity_type: X\n    patterns: [{regex: a}]\n    regex: b\n", 4, 12,
       "either patterns or a single regex"},
      {"empty patterns", "recognizers:\n  - entity_type: X\n    patterns: []\n", 3, 15, "at least one pattern"},
      {"score above 1", recognizer + "    score: 1.5\n", 4, 12, "score 1.5 is not between 0 and 1"},
      {"negative score", "recognizers:\n  - entity_type: X\n    patterns:\n      - {regex: a, score: -0.1}\n", 4,
       27, "is not between 0 and 1"},
      {"score not a number", recognizer + "    score: high\n", 4, 12, "score must be a number"},
      {"quoted score", recognizer + "    score: '0.5'\n", 4, 12, "score must be a number"},
      {"score NaN", recognizer + "    score: .nan\n", 4, 12, "is not between 0 and 1"},
      {"regex does not compile", "recognizers:\n  - entity_type: X\n    regex: '(unclosed'\n", 3, 12,
       "the regex does not compile"},
      {"context as a string", recognizer + "    context: karyawan\n", 4, 14, "context must be a list, not a string"},
      {"unknown language", recognizer + "    languages: [id, fr]\n", 4, 21, "unknown language 'fr'"},
      {"repeated language", recognizer + "    languages: [id, id]\n", 4, 21, "language 'id' appears twice"},
      {"no language", recognizer + "    languages: []\n", 4, 16, "at least one language"},
      {"empty deny list", "deny_lists:\n  PROJECT: []\n", 2, 12, "the deny list of PROJECT is empty"},
      {"deny list as a string", "deny_lists:\n  PROJECT: Garuda\n", 2, 12, "must be a list, not a string"},
      {"deny lists as a list", "deny_lists: [Garuda]\n", 1, 13, "deny_lists must be a mapping of entity types"},
      {"repeated deny list", "deny_lists:\n  P: [a]\n  P: [b]\n", 3, 3, "'P' appears twice in deny_lists"},
      {"operator without type", "operators:\n  PERSON: {new_value: x}\n", 2, 11, "the operator of PERSON needs a type"},
      {"operator as a string", "operators:\n  PERSON: redact\n", 2, 11, "must be a mapping with a type"},
      {"unknown operator", "operators:\n  PERSON: {type: shred}\n", 2, 18, "unknown operator 'shred'"},
      {"custom operator", "operators:\n  PERSON: {type: custom}\n", 2, 18, "the custom operator needs code"},
      {"unknown operator key", "operators:\n  PERSON: {type: mask, masking_char: '*', chars_to_mask: 2, color: red}\n",
       2, 61, "unknown key 'color' in a mask operator"},
      {"parameter of another operator", "operators:\n  PERSON: {type: redact, new_value: x}\n", 2, 26,
       "unknown key 'new_value' in a redact operator"},
      {"lowercase operator type", "operators:\n  person: {type: redact}\n", 2, 3, "'person' is not an entity type"},
      {"negative chars_to_mask", "operators:\n  P:\n    type: mask\n    masking_char: '*'\n    chars_to_mask: -1\n", 5,
       20, "'chars_to_mask' for operator 'mask': must not be negative"},
      {"missing masking_char", "operators:\n  P:\n    type: mask\n    chars_to_mask: 2\n", 3, 5,
       "'masking_char' for operator 'mask': missing required parameter"},
      {"short key", "operators:\n  ID_KTP: {type: encrypt, key: 'short'}\n", 2, 32, "must have 16, 24 or 32 bytes"},
      {"key read as a number", "operators:\n  ID_KTP: {type: encrypt, key: 1234567890123456}\n", 2, 32,
       "'key' for operator 'encrypt': expected a string"},
      {"integer beyond 64 bits", "operators:\n  P: {type: mask, masking_char: '*', chars_to_mask: 99999999999999999999}\n",
       2, 53, "does not fit in 64 bits"},
      {"list as a parameter", "operators:\n  P: {type: replace, new_value: [a]}\n", 2, 33,
       "parameter new_value must be a single value, not a list"},
      {"value not of its tag", "operators:\n  P: {type: mask, masking_char: '*', chars_to_mask: !!int six}\n", 2,
       53, "'six' is not a value of the tag tag:yaml.org,2002:int"},
      {"unknown tag", "operators:\n  P: {type: replace, new_value: !secret x}\n", 2, 33, "has the tag !secret"},
      {"unknown hash type", "operators:\n  P: {type: hash, hash_type: sha1}\n", 2, 30, "'sha1' is not sha256"},
  };
  for (const Case& c : cases) {
    try {
      parse_privacy_config(c.yaml, "test.yaml");
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const ConfigError& e) {
      EXPECT_EQ(e.line(), c.line) << c.what << ": " << e.what();
      EXPECT_EQ(e.column(), c.column) << c.what << ": " << e.what();
      EXPECT_EQ(e.source(), "test.yaml");
      EXPECT_THAT(e.what(), StartsWith("test.yaml:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": "))
          << c.what;
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
  }
}

TEST(ConfigFile, FilesThatCannotBeReadAreConfigErrorsWithoutPlace) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  for (const std::string& path : {(folder / "tesk-no-such-config.yaml").string(), folder.string()}) {
    try {
      load_privacy_config(path);
      ADD_FAILURE() << path << ": loaded";
    } catch (const ConfigError& e) {
      EXPECT_EQ(e.line(), 0u);
      EXPECT_EQ(e.column(), 0u);
      EXPECT_THAT(e.what(), StartsWith(path + ": "));
    }
  }
}

TEST(ConfigFile, LoadedFileNamesItsPathInErrors) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "tesk-config-file-test.yaml";
  std::ofstream(path) << "allow_list: [a]\noperators:\n  P: {type: keep, x: 1}\n";
  try {
    load_privacy_config(path.string());
    ADD_FAILURE() << "loaded";
  } catch (const ConfigError& e) {
    EXPECT_THAT(e.what(), StartsWith(path.string() + ":3:19: unknown key 'x' in a keep operator"));
  }
  std::filesystem::remove(path);
}

TEST(ConfigFile, ExampleFileLoads) {
  const PrivacyConfig config = load_privacy_config(std::string(TESK_TESTS_DIR) + "/../examples/config.yaml");
  EXPECT_FALSE(config.recognizers.empty());
  EXPECT_FALSE(config.allow_list.empty());
  EXPECT_NE(config.operators.find("ID_KTP"), nullptr);
}

// What a configuration does once in place: its recognizers find their
// entities, its operators replace them, its allow list spares a word.
TEST(ConfigFile, AnalyzerAndEngineFollowTheConfig) {
  const PrivacyConfig config = parse_privacy_config(R"(
recognizers:
  - entity_type: EMPLOYEE_ID
    regex: '\bEMP-\d{6}\b'
    score: 0.9
    languages: [id]
deny_lists:
  PROJECT: [Garuda, Merpati]
allow_list: [Merpati]
operators:
  EMPLOYEE_ID: {type: encrypt, key: "0123456789abcdef"}
  PROJECT: {type: mask, masking_char: "#", chars_to_mask: 3}
)");
  const TextAnalyzer analyzer(config.recognizers);
  const Utf8Text text("Karyawan EMP-123456 di proyek Garuda dan Merpati.");
  AnalyzeOptions options;
  options.entities = std::vector<std::string>{"EMPLOYEE_ID", "PROJECT"};
  options.allow_list = config.allow_list;
  const auto results = analyzer.analyze(text, "id", options);
  std::set<std::string> found;
  for (const auto& r : results) found.insert(r.entity_type + ":" + std::string(text.slice(r.start, r.end)));
  EXPECT_EQ(found, (std::set<std::string>{"EMPLOYEE_ID:EMP-123456", "PROJECT:Garuda"}));

  const auto replaced = anonymization::AnonymizerEngine().anonymize(text, results, config.operators);
  ASSERT_EQ(replaced.items.size(), 2u);
  EXPECT_EQ(anonymization::decrypt(replaced.items[0].text, "0123456789abcdef"), "EMP-123456");
  EXPECT_THAT(replaced.text, HasSubstr("proyek ###uda dan Merpati."));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
