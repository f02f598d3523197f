// tesk-privacy anonymize / deanonymize: rewrite documents through one
// TextAnonymizer whose store can live in a mapping file between runs.
//
// Output is written only after every document succeeded (a failed run writes
// nothing), and the mapping file is saved before the output, so anonymized
// text never exists without the mapping that undoes it.
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli_common.h"
#include "commands.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/pii_detector/utils/mapping_file.h"

namespace tesk_privacy::cli {
namespace {

struct RewriteOptions {
  CommonOptions common;
  bool fake = false;
  uint64_t seed = 42;
  std::string locale = "en_US";
  std::string mapping_path;
};

RewriteOptions parse(int argc, char** argv, bool anonymizing) {
  RewriteOptions o;
  parse_options(argc, argv, 2, o.common, [&](const std::string& name, const auto& value) {
    if (name == "--mapping") {
      o.mapping_path = value();
    } else if (anonymizing && name == "--fake") {
      o.fake = true;
    } else if (anonymizing && name == "--seed") {
      std::string v = value();
      char* end = nullptr;
      o.seed = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || v[0] == '-') throw UsageError("--seed must be a non-negative integer");
    } else if (anonymizing && name == "--locale") {
      o.locale = value();
      if (o.locale != "en_US" && o.locale != "id_ID") throw UsageError("--locale must be en_US or id_ID");
    } else {
      return false;
    }
    return true;
  });
  if (!anonymizing && o.mapping_path.empty()) throw UsageError("deanonymize needs --mapping FILE");
  if ((o.seed != 42 || o.locale != "en_US") && !o.fake) throw UsageError("--seed and --locale need --fake");
  return o;
}

int rewrite(const RewriteOptions& o, bool anonymizing) {
  std::optional<pii_detector::MappingDataType> stored;
  if (!o.mapping_path.empty()) {
    stored = pii_detector::load_mapping_file(o.mapping_path);
    if (!stored && !anonymizing) throw std::runtime_error("mapping file " + o.mapping_path + " does not exist");
  }
  pii_detector::TextAnonymizerOptions options;
  options.add_default_faker_operators = o.fake;
  options.faker_seed = o.seed;
  options.faker_locale = o.locale;
  if (stored) options.deanonymizer_mapping = pii_detector::DeanonymizerMapping(std::move(*stored));
  // Deanonymizing needs no detection, so no analyzer work happens there.
  pii_detector::TextAnonymizer anonymizer(make_analyzer(o.common), options);

  std::string output;
  Progress progress(o.common.progress);
  for_each_document(o.common, [&](const Document& doc) {
    std::string text;
    try {
      if (anonymizing) {
        pii_detector::AnonymizeOptions a;
        a.language = doc.language.value_or(o.common.language);
        text = anonymizer.anonymize(doc.text, a);
      } else {
        text = anonymizer.deanonymize(doc.text);
      }
    } catch (const std::exception& e) {
      throw std::runtime_error(doc.source + ": " + e.what());
    }
    output += o.common.jsonl ? nlohmann::json{{"text", text}}.dump() + "\n" : text;
    progress.tick();
  });
  if (anonymizing && !o.mapping_path.empty()) {
    pii_detector::save_mapping_file(o.mapping_path, anonymizer.deanonymizer_mapping());
  }
  std::cout << output;
  std::cout.flush();
  progress.done();
  return std::cout ? 0 : 1;
}

}  // namespace

int run_anonymize(int argc, char** argv) { return rewrite(parse(argc, argv, true), true); }
int run_deanonymize(int argc, char** argv) { return rewrite(parse(argc, argv, false), false); }

}  // namespace tesk_privacy::cli
