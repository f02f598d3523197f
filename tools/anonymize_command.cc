// tesk-privacy anonymize / deanonymize: rewrite documents through one
// TextAnonymizer whose store can live in a mapping file between runs.
//
// Documents are detected on --jobs threads and replaced in input order on
// one, so placeholders and fake values are those of a single-threaded run.
// Output is written as it comes, in batches, and each batch only after the
// mapping entries it depends on were saved (a file store is rewritten
// before the batch; a Redis store takes each document's entries at once),
// so anonymized text never exists without the mapping that undoes it.
// Fail closed: a document whose detection cannot complete (a pattern over
// its backtracking bound, a recognizer error, a text over --max-chars) ends
// the run after the documents before it, unless --keep-going; once a request
// to a remote service has failed, no further document is written, unless
// --allow-remote-failures. Memory stays bounded by the documents in flight
// plus the mapping store.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "tesk_privacy/pii_detector/store/mapping_store.h"
#include "tesk_privacy/pii_detector/store/shared_mapping.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::cli {
namespace {

struct RewriteOptions {
  CommonOptions common;
  bool fake = false;
  uint64_t seed = 42;
  std::optional<std::string> locale;  // absent: id_ID for Indonesian text, en_US for English
  std::string mapping_path;
  std::optional<std::string> key_file;
  long long mapping_ttl = 0;
  bool keep_going = false;
  std::optional<size_t> max_chars;
  // --operator TYPE:NAME[,KEY=VALUE...]: how TYPE (or DEFAULT) is replaced.
  anonymization::OperatorMap operators;
};

// "PERSON:mask,masking_char=*,chars_to_mask=4" -> (PERSON, mask with those
// parameters). Numbers and true/false become numbers and booleans.
std::pair<std::string, anonymization::OperatorConfig> parse_operator(const std::string& v) {
  const size_t colon = v.find(':');
  if (colon == std::string::npos || colon == 0) {
    throw UsageError("--operator needs TYPE:NAME[,KEY=VALUE...], not '" + v + "'");
  }
  const std::vector<std::string> parts = split_list(v.substr(colon + 1));
  if (parts.empty()) throw UsageError("--operator " + v.substr(0, colon) + " needs an operator name");
  anonymization::Params params;
  for (size_t i = 1; i < parts.size(); ++i) {
    const size_t eq = parts[i].find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--operator: '" + parts[i] + "' is not KEY=VALUE");
    const std::string key = parts[i].substr(0, eq), value = parts[i].substr(eq + 1);
    char* end = nullptr;
    const long long number = std::strtoll(value.c_str(), &end, 10);
    if (value == "true" || value == "false") {
      params[key] = value == "true";
    } else if (!value.empty() && *end == '\0') {
      params[key] = static_cast<int64_t>(number);
    } else {
      params[key] = value;
    }
  }
  if (parts[0] == "custom") throw UsageError("--operator: custom operators need code");
  try {
    anonymization::OperatorConfig config(parts[0], params);
    config.validate();
    return {v.substr(0, colon), std::move(config)};
  } catch (const std::exception& e) {
    throw UsageError("--operator " + v.substr(0, colon) + ": " + e.what());
  }
}

RewriteOptions parse(int argc, char** argv, bool anonymizing) {
  RewriteOptions o;
  parse_options(argc, argv, 2, o.common, [&](const std::string& name, const auto& value) {
    if (name == "--mapping") {
      o.mapping_path = value();
    } else if (name == "--mapping-key-file") {
      o.key_file = value();
    } else if (name == "--mapping-ttl") {
      std::string v = value();
      char* end = nullptr;
      o.mapping_ttl = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || o.mapping_ttl < 0) throw UsageError("--mapping-ttl must be a number of seconds");
    } else if (anonymizing && name == "--fake") {
      o.fake = true;
    } else if (anonymizing && name == "--seed") {
      std::string v = value();
      char* end = nullptr;
      o.seed = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || v[0] == '-') throw UsageError("--seed must be a non-negative integer");
    } else if (anonymizing && name == "--operator") {
      auto [type, config] = parse_operator(value());
      o.operators.insert_or_assign(type, std::move(config));
    } else if (anonymizing && name == "--keep-going") {
      o.keep_going = true;
    } else if (anonymizing && name == "--max-chars") {
      std::string v = value();
      char* end = nullptr;
      unsigned long long n = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || v[0] == '-' || n == 0) throw UsageError("--max-chars must be a positive integer");
      o.max_chars = static_cast<size_t>(n);
      o.common.max_chars = o.max_chars;
    } else if (anonymizing && name == "--locale") {
      o.locale = value();
      if (o.locale != "en_US" && o.locale != "id_ID") throw UsageError("--locale must be en_US or id_ID");
    } else {
      return false;
    }
    return true;
  });
  if (!anonymizing && o.mapping_path.empty()) throw UsageError("deanonymize needs --mapping FILE");
  if ((o.seed != 42 || o.locale) && !o.fake) throw UsageError("--seed and --locale need --fake");
  if ((o.key_file || o.mapping_ttl > 0) && o.mapping_path.empty()) {
    throw UsageError("--mapping-key-file and --mapping-ttl need --mapping");
  }
  return o;
}

// The mapping store the options name, or null without --mapping. The key of
// an encrypted file comes from --mapping-key-file or TESK_PRIVACY_MAPPING_KEY.
std::unique_ptr<pii_detector::MappingStore> open_store(const RewriteOptions& o) {
  if (o.mapping_path.empty()) return nullptr;
  pii_detector::MappingStoreOptions options;
  options.time_to_live = std::chrono::seconds(o.mapping_ttl);
  try {
    if (o.key_file) {
      options.encryption_key = pii_detector::read_mapping_key_file(*o.key_file);
    } else if (const char* key = std::getenv("TESK_PRIVACY_MAPPING_KEY"); key != nullptr && *key != '\0') {
      options.encryption_key = pii_detector::parse_mapping_key(key);
    }
    return pii_detector::open_mapping_store(o.mapping_path, options);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
}

int rewrite(RewriteOptions o, bool anonymizing) {
  if (!anonymizing) o.common.jobs = 1;  // nothing to detect: replacing is all, and it runs in order
  std::unique_ptr<pii_detector::MappingStore> store = open_store(o);
  // What the store holds when the run starts.
  pii_detector::MappingDataType shared;
  if (store) {
    shared = store->load();
    if (!anonymizing && shared.empty()) throw std::runtime_error(store->describe() + " holds no mapping");
  }
  pii_detector::TextAnonymizerOptions options;
  options.add_default_faker_operators = o.fake;
  options.faker_seed = o.seed;
  options.reproducible_fake_values = true;
  options.faker_locale = o.locale.value_or(o.common.language == "en" ? "en_US" : "id_ID");
  options.deanonymizer_mapping = pii_detector::DeanonymizerMapping(shared);
  options.keep_going = o.keep_going;
  options.max_text_length = o.max_chars;
  // Deanonymizing needs no detection, so no analyzer work happens there.
  std::vector<std::shared_ptr<const recognition::RemoteRecognizer>> remotes;
  pii_detector::TextAnonymizer anonymizer(make_analyzer(o.common, &remotes), options);
  if (!o.operators.empty()) anonymizer.add_operators(o.operators);
  // A file is held under its lock for the whole run and written once at the
  // end; a Redis store takes each document's entries as soon as they exist.
  const bool commit_each = store && !store->exclusive();
  pii_detector::MappingDataType pending;

  uint64_t remote_failures_seen = 0;
  auto check_remotes = [&](const std::string& before) {
    uint64_t failed = 0;
    for (const auto& remote : remotes) failed += remote->failed_requests();
    if (failed == remote_failures_seen) return;
    remote_failures_seen = failed;
    if (!o.common.allow_remote_failures) {
      throw std::runtime_error(std::to_string(failed) + " requests to remote recognizers failed, so some text went " +
                               "unchecked; nothing from " + before +
                               " on was written (--allow-remote-failures writes the output anyway)");
    }
  };
  auto save_mapping = [&] {
    if (anonymizing && store && !commit_each) {
      store->commit(pending);
      pending = {};
    }
  };
  BatchedOutput output(save_mapping);
  std::optional<MirroredOutput> mirror;
  if (!o.common.output_dir.empty()) mirror.emplace(o.common, save_mapping);
  Progress progress(o.common);
  std::optional<pii_detector::SharedMapping> sharing;
  if (commit_each) sharing.emplace(anonymizer, *store);
  using Detections = std::vector<pii_detector::TextAnonymizer::Detection>;
  auto replace = [&](const std::string& text, const std::string& language,
                     const pii_detector::TextAnonymizer::Detection& found) {
    if (!anonymizing) return sharing ? sharing->deanonymize(text) : anonymizer.deanonymize(text);
    pii_detector::AnonymizeOptions a;
    a.language = language;
    if (sharing) return sharing->anonymize(text, found, a);
    const pii_detector::EntryCounts before = pii_detector::entry_counts(anonymizer.store().mapping);
    std::string out = anonymizer.anonymize(text, found, a);
    pii_detector::append_entries(pending, pii_detector::entries_beyond(anonymizer.store().mapping, before));
    return out;
  };
  // A whole file is one text; a JSON line has one per --fields entry.
  auto texts_of = [&](Document& doc) -> std::vector<std::string>& {
    if (doc.texts.empty()) doc.texts.push_back(std::move(doc.text));
    return doc.texts;
  };
  try {
    process_documents<Detections>(
        o.common,
        [&](Document& doc) {
          Detections found(texts_of(doc).size());
          if (!anonymizing) return found;
          pii_detector::AnonymizeOptions a;
          a.language = doc.language.value_or(o.common.language);
          if (!o.common.allow.empty()) a.allow_list = o.common.allow;
          try {
            for (size_t k = 0; k < found.size(); ++k) found[k] = anonymizer.detect(doc.texts[k], a);
          } catch (const std::exception& e) {
            throw std::runtime_error(doc.source + ": " + e.what());
          }
          return found;
        },
        [&](Document& doc, Detections& found) {
          check_remotes(doc.source);
          auto make = [&] {
            const std::string language = doc.language.value_or(o.common.language);
            std::vector<std::string>& texts = texts_of(doc);
            try {
              for (size_t k = 0; k < texts.size(); ++k) texts[k] = replace(texts[k], language, found[k]);
            } catch (const pii_detector::MappingStoreError&) {
              throw;
            } catch (const std::exception& e) {
              throw std::runtime_error(doc.source + ": " + e.what());
            }
            if (!o.common.jsonl) return std::move(texts.front());
            nlohmann::ordered_json record = doc.record.is_object() ? std::move(doc.record) : nlohmann::ordered_json::object();
            for (size_t k = 0; k < texts.size(); ++k) {
              const std::string& field = o.common.fields[k];
              if (record.contains(field) && record[field].is_string()) {
                record[field] = texts[k];
              } else if (field == "text" && !record.contains(field)) {
                record[field] = texts[k];  // a blank line answers {"text": ""}
              }
            }
            return record.dump() + "\n";
          };
          if (mirror) {
            mirror->add(doc, make());
          } else {
            output.add(make);
          }
          progress.tick(doc.bytes);
        });
  } catch (const pii_detector::MappingStoreError&) {
    throw;  // the mapping cannot be saved: nothing more is written
  } catch (...) {
    output.flush();  // the documents before the failure, with their mapping
    throw;
  }
  output.flush();
  if (mirror) mirror->finish();
  if (anonymizer.detection_failures() > 0) {
    std::cerr << "tesk-privacy: warning: " << anonymizer.detection_failures()
              << " recognizer failures were skipped (--keep-going); see the error lines above\n";
  }
  if (remote_failures_seen > 0) {
    std::cerr << "tesk-privacy: warning: " << remote_failures_seen << " requests to remote recognizers failed\n";
  }
  progress.done();
  return 0;
}

}  // namespace

int run_anonymize(int argc, char** argv) { return rewrite(parse(argc, argv, true), true); }
int run_deanonymize(int argc, char** argv) { return rewrite(parse(argc, argv, false), false); }

}  // namespace tesk_privacy::cli
