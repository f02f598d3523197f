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
#include <CLI/CLI.hpp>
#include <chrono>
#include <map>
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
  Selection selection;
  bool fake = false;
  uint64_t seed = 42;
  std::optional<std::string> locale;  // absent: id_ID for Indonesian text, en_US for English
  std::string mapping_path;
  std::optional<std::string> key_file;
  long long mapping_ttl = 0;
  bool keep_going = false;
  // --operator: how TYPE (or DEFAULT) is replaced.
  anonymization::OperatorMap operators;
};

// Operator parameters given without names, in the order they are named.
const std::vector<std::string>& positional_params(const std::string& name) {
  static const std::map<std::string, std::vector<std::string>> order = {
      {"replace", {"new_value"}}, {"mask", {"masking_char", "chars_to_mask", "from_end"}},
      {"hash", {"hash_type"}},    {"encrypt", {"key"}}};
  static const std::vector<std::string> none;
  const auto it = order.find(name);
  return it == order.end() ? none : it->second;
}

// "PERSON=mask:*,4,true", "PERSON=mask:masking_char=*,chars_to_mask=4" or
// the older "PERSON:mask,masking_char=*" -> (PERSON, mask with those
// parameters). Numbers and true/false become numbers and booleans; the
// value of replace and the key of encrypt are taken whole.
std::pair<std::string, anonymization::OperatorConfig> parse_operator(const std::string& v) {
  const size_t at = v.find_first_of("=:");
  if (at == std::string::npos || at == 0 || at + 1 == v.size()) {
    throw UsageError("--operator needs TYPE=OPERATOR[:PARAMS], not '" + v + "'");
  }
  const std::string type = v.substr(0, at);
  std::string name, rest;
  if (v[at] == '=') {
    const size_t colon = v.find(':', at + 1);
    name = v.substr(at + 1, colon == std::string::npos ? std::string::npos : colon - at - 1);
    if (colon != std::string::npos) rest = v.substr(colon + 1);
  } else {
    const size_t comma = v.find(',', at + 1);
    name = v.substr(at + 1, comma == std::string::npos ? std::string::npos : comma - at - 1);
    if (comma != std::string::npos) rest = v.substr(comma + 1);
  }
  if (name == "custom") throw UsageError("--operator: custom operators need code");
  const std::vector<std::string>& order = positional_params(name);
  std::vector<std::string> items;
  if ((name == "replace" || name == "encrypt") && !rest.empty() && rest.find('=') == std::string::npos) {
    items.push_back(rest);  // a value may hold commas
  } else if (name == "mask" && !rest.empty() && rest.find('=') == std::string::npos) {
    // "CHAR[,COUNT[,true]]", or with ":" between; the character itself may
    // be "," or ":" (or any one character of UTF-8).
    size_t width = 1;
    while (width < rest.size() && (static_cast<unsigned char>(rest[width]) & 0xC0) == 0x80) ++width;
    items.push_back(rest.substr(0, width));
    if (width < rest.size()) {
      if (rest[width] != ',' && rest[width] != ':') {
        throw UsageError("--operator " + type + ": mask takes one masking character, not '" + rest + "'");
      }
      std::string item;
      for (size_t i = width + 1; i <= rest.size(); ++i) {
        if (i == rest.size() || rest[i] == ',' || rest[i] == ':') {
          items.push_back(std::move(item));
          item.clear();
        } else {
          item += rest[i];
        }
      }
    }
  } else {
    items = split_list(rest);
  }
  anonymization::Params params;
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t eq = items[i].find('=');
    std::string key, value;
    if (eq != std::string::npos && eq > 0 && items[i].substr(0, eq).find_first_not_of("abcdefghijklmnopqrstuvwxyz_") == std::string::npos) {
      key = items[i].substr(0, eq);
      value = items[i].substr(eq + 1);
    } else if (i < order.size()) {
      key = order[i];
      value = items[i];
    } else {
      throw UsageError("--operator " + type + ": '" + items[i] + "' is not KEY=VALUE");
    }
    char* end = nullptr;
    const long long number = std::strtoll(value.c_str(), &end, 10);
    if (key == "new_value" || key == "key" || key == "masking_char") {
      params[key] = value;
    } else if (value == "true" || value == "false") {
      params[key] = value == "true";
    } else if (!value.empty() && *end == '\0') {
      params[key] = static_cast<int64_t>(number);
    } else {
      params[key] = value;
    }
  }
  try {
    anonymization::OperatorConfig config(name, params);
    config.validate();
    return {type, std::move(config)};
  } catch (const std::exception& e) {
    throw UsageError("--operator " + type + ": " + e.what());
  }
}

// Adds anonymize or deanonymize to `app`.
std::shared_ptr<RewriteOptions> add_rewrite(CLI::App& app, bool anonymizing) {
  auto o = std::make_shared<RewriteOptions>();
  CLI::App* sub =
      anonymizing
          ? app.add_subcommand("anonymize",
                               "write the documents with PII replaced by placeholders such as <PERSON_1>, by fake "
                               "values with --fake, or by the operators chosen per entity type")
          : app.add_subcommand("deanonymize", "put the originals back, from the mapping written by anonymize");
  add_input_options(*sub, o->common);
  if (anonymizing) {
    add_detection_options(*sub, o->common);
    add_selection_options(*sub, o->selection);
  }
  CLI::Option* mapping = sub->add_option(
      "--mapping", o->mapping_path,
      anonymizing ? "the mapping runs share: a FILE (locked while the run uses it, so concurrent runs take turns, and "
                    "replaced atomically), or redis://[:PASSWORD@]HOST:PORT/NAME or redis+unix:///PATH/NAME "
                    "(entries are added atomically on the server, so any number of runs on any number of machines "
                    "get consistent placeholders)"
                  : "the mapping written by anonymize, with --mapping-key-file when it is encrypted");
  mapping->option_text(anonymizing ? "STORE" : "STORE (required)");
  if (!anonymizing) mapping->required();
  sub->add_option_function<std::string>(
         "--mapping-key-file", [o](const std::string& v) { o->key_file = v; },
         anonymizing ? "encrypt the mapping file with AES-256-GCM under the key in KEYFILE (64 hexadecimal digits or "
                       "32 bytes); the key may instead be in TESK_PRIVACY_MAPPING_KEY"
                     : "the key of an encrypted mapping file (or TESK_PRIVACY_MAPPING_KEY)")
      ->option_text("KEYFILE");
  sub->add_option_function<std::string>(
         "--mapping-ttl",
         [o](const std::string& v) {
           o->mapping_ttl = parse_number<long long>("--mapping-ttl", v, 0, 1LL << 40, "a number of seconds");
         },
         "with Redis: the mapping's keys expire SECONDS after the last write")
      ->option_text("SECONDS");
  if (!anonymizing) return o;
  sub->add_flag("--fake", o->fake, "replace with realistic fake values");
  sub->add_option_function<std::string>(
         "--seed",
         [o](const std::string& v) {
           char* end = nullptr;
           o->seed = std::strtoull(v.c_str(), &end, 10);
           if (v.empty() || *end != '\0' || v[0] == '-') throw UsageError("--seed must be a non-negative integer");
         },
         "seed of the fake values (default 42)")
      ->option_text("N");
  sub->add_option_function<std::string>(
         "--locale",
         [o](const std::string& v) {
           if (v != "en_US" && v != "id_ID") throw UsageError("--locale must be en_US or id_ID");
           o->locale = v;
         },
         "locale of the fake values: en_US or id_ID (default: id_ID for Indonesian text, en_US for English); a fake "
         "value never stands for two originals")
      ->option_text("L");
  sub->add_option_function<std::string>(
         "--max-chars",
         [o](const std::string& v) {
           o->common.max_chars = parse_number<size_t>("--max-chars", v, 1, size_t{1} << 50, "a positive integer");
         },
         "refuse a document (with --jsonl or --csv, a record) longer than N characters; reading stops at the limit")
      ->option_text("N");
  repeatable(sub->add_option_function<std::vector<std::string>>(
                    "--operator",
                    [o](const std::vector<std::string>& values) {
                      for (const std::string& v : values) {
                        auto [type, config] = parse_operator(v);
                        o->operators.insert_or_assign(type, std::move(config));
                      }
                    },
                    "replace TYPE (or DEFAULT: every type without one) by an operator instead of a placeholder: "
                    "replace[:NEW_VALUE], redact, mask[:CHAR,COUNT[,true]] (or CHAR:COUNT; true: from the end), "
                    "hash[:sha256|sha512|md5], encrypt:KEY (AES, a key of 16, 24 or 32 bytes) or keep; parameters "
                    "may also be named (mask:masking_char=*,chars_to_mask=4,from_end=true); redacted and kept spans "
                    "are not recorded in the mapping")
                 ->option_text("TYPE=OPERATOR[:PARAMS]"));
  sub->add_flag("--keep-going", o->keep_going,
                "when a recognizer fails on a document (for instance a pattern over its backtracking bound), log it "
                "and anonymize from the other recognizers instead of failing the run");
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

int rewrite(RewriteOptions& o, bool anonymizing) {
  finish_options(o.common);
  if ((o.seed != 42 || o.locale) && !o.fake) throw UsageError("--seed and --locale need --fake");
  if ((o.key_file || o.mapping_ttl > 0) && o.mapping_path.empty()) {
    throw UsageError("--mapping-key-file and --mapping-ttl need --mapping");
  }
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
  options.max_text_length = o.common.max_chars;
  // Deanonymizing needs no detection, so no analyzer work happens there.
  std::vector<std::shared_ptr<const recognition::RemoteRecognizer>> remotes;
  const std::shared_ptr<pii_detector::TextAnalyzer> analyzer = make_analyzer(o.common, &remotes);
  check_entities(o.selection, *analyzer, !remotes.empty());
  pii_detector::TextAnonymizer anonymizer(analyzer, options);
  // Operators of the configuration file, then those of the command line.
  anonymization::OperatorMap operators = o.common.config ? o.common.config->operators : anonymization::OperatorMap{};
  for (const auto& [type, config] : o.operators) operators.insert_or_assign(type, config);
  if (!operators.empty()) anonymizer.add_operators(operators);
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
                     pii_detector::TextAnonymizer::Detection& found) {
    if (!anonymizing) return sharing ? sharing->deanonymize(text) : anonymizer.deanonymize(text);
    pii_detector::AnonymizeOptions a;
    a.language = language;
    if (sharing) return sharing->anonymize(text, found, a);
    const pii_detector::EntryCounts before = pii_detector::entry_counts(anonymizer.store().mapping);
    std::string out = anonymizer.anonymize(text, std::move(found), a);
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
          if (!anonymizing || doc.header) return found;
          pii_detector::AnonymizeOptions a;
          a.language = doc.language.value_or(o.common.language);
          if (!o.common.allow.empty()) a.allow_list = o.common.allow;
          a.entities = o.selection.entities;
          a.analyzer_score_threshold = o.selection.threshold;
          a.context = o.selection.context;
          if (found.size() == 1) a.on_progress = [&](size_t done, size_t total) { progress.within(doc, done, total); };
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
            if (doc.header) return rewritten_record(o.common, doc);
            try {
              for (size_t k = 0; k < texts.size(); ++k) texts[k] = replace(texts[k], language, found[k]);
            } catch (const pii_detector::MappingStoreError&) {
              throw;
            } catch (const std::exception& e) {
              throw std::runtime_error(doc.source + ": " + e.what());
            }
            if (!o.common.jsonl && !o.common.csv) return std::move(texts.front());
            return rewritten_record(o.common, doc);
          };
          if (mirror) {
            mirror->add(doc, make());
          } else {
            output.add(make);
          }
          progress.tick(doc);
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

Runner add_anonymize(CLI::App& app) {
  auto o = add_rewrite(app, true);
  return [o] { return rewrite(*o, true); };
}

Runner add_deanonymize(CLI::App& app) {
  auto o = add_rewrite(app, false);
  return [o] { return rewrite(*o, false); };
}

}  // namespace tesk_privacy::cli
