// tesk-privacy analyze: one JSON object of results per document, written as
// each document is done. Failed requests to remote recognizers are counted
// and, after the last document, make the run fail unless
// --allow-remote-failures.
#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <tuple>
#include <iostream>
#include <optional>

#include "cli_common.h"
#include "commands.h"
#include "tesk_privacy/recognition/results_json.h"
#ifdef TESK_HAVE_TRANSFORMERS
#include "pii_detector/models/transformers_recognizer.h"
#endif

namespace tesk_privacy::cli {

int run_analyze(int argc, char** argv) {
  CommonOptions common;
  recognition::AnalyzeOptions options;
  options.score_threshold = 0.46;
  bool explain = false;
  std::string transformer_model;
  bool word_level = false;  // --tokenization-level word
  parse_options(argc, argv, 2, common, [&](const std::string& name, const auto& value) {
    if (name == "-e" || name == "--entities") {
      options.entities = split_list(value());
    } else if (name == "-t" || name == "--threshold") {
      std::string v = value();
      char* end = nullptr;
      double t = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(t >= 0.0 && t <= 1.0)) {
        throw UsageError("--threshold must be a number from 0 to 1, not '" + v + "'");
      }
      options.score_threshold = t;
    } else if (name == "--context") {
      options.context = split_list(value());
    } else if (name == "--explain") {
      explain = true;
    } else if (name == "--transformer-model") {
      transformer_model = value();
      if (transformer_model.empty()) throw UsageError("--transformer-model needs a model folder or hub identifier");
    } else if (name == "--tokenization-level") {
      const std::string level = value();
      if (level != "subword" && level != "word") {
        throw UsageError("--tokenization-level must be subword or word, not '" + level + "'");
      }
      word_level = level == "word";
    } else {
      return false;
    }
    return true;
  });

  std::vector<std::shared_ptr<recognition::EntityRecognizer>> models;
  if (!transformer_model.empty()) {
#ifdef TESK_HAVE_TRANSFORMERS
    const auto level = word_level ? pii_detector::TokenizationLevel::WORD : pii_detector::TokenizationLevel::SUBWORD;
    auto ner = std::make_shared<pii_detector::TransformersRecognizer>(transformer_model, nullptr, std::nullopt, level,
                                                                      std::nullopt, common.language);
    ner->load_transformer(pii_detector::MERROW_BERT_CONFIGURATION, level);
    models.push_back(std::move(ner));
#else
    throw UsageError("--transformer-model: this build of tesk-privacy has no transformer support");
#endif
  }
  std::vector<std::shared_ptr<const recognition::RemoteRecognizer>> remotes;
  if (common.fields.size() != 1) throw UsageError("analyze takes one field in --fields");
  if (!common.allow.empty()) options.allow_list = common.allow;
  auto analyzer = make_analyzer(common, &remotes, std::move(models));
  // A type no recognizer reports is a typing error, not an empty result
  // (a remote service may report types of its own, so they are let through).
  if (options.entities && remotes.empty()) {
    const std::vector<std::string> known = analyzer->registry().get_supported_entities({"id", "en"});
    for (const std::string& type : *options.entities) {
      if (std::find(known.begin(), known.end(), type) == known.end()) {
        throw UsageError("unknown entity type " + type + " (tesk-privacy list-entities prints them)");
      }
    }
  }
  // With several files, each line says which file it answers.
  const bool name_sources = input_files(common).size() > 1;
  recognition::ResultsJsonOptions json_options;
  json_options.explain = explain;
  json_options.removed_reason = "longer than " + std::to_string(pii_detector::MAX_PII_TEXT_LENGTH - 1) + " characters";
  Progress progress(common);
  BatchedOutput output;
  std::optional<MirroredOutput> mirror;
  if (!common.output_dir.empty()) mirror.emplace(common);
  try {
    process_documents<std::string>(
        common,
        [&](Document& doc) {
          const Utf8Text text(std::move(doc.text));
          std::vector<recognition::RecognizerResult> too_long;
          recognition::AnalyzeOptions doc_options = options;
          if (explain) doc_options.dropped_by_length = &too_long;
          // The results are written a window at a time, in order of position
          // (windows own consecutive parts of the text), so those of a long
          // document are never all held at once.
          std::string line = "{\"results\":[";
          bool first = true;
          try {
            analyzer->analyze_each_window(
                text, doc.language.value_or(common.language), doc_options,
                [&](std::vector<recognition::RecognizerResult>& found) {
                  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
                    return std::tie(a.start, a.end) < std::tie(b.start, b.end);
                  });
                  for (const recognition::RecognizerResult& r : found) {
                    if (!first) line += ',';
                    first = false;
                    recognition::append_result_json(line, r, text, json_options);
                  }
                });
          } catch (const std::exception& e) {
            throw std::runtime_error(doc.source + ": " + e.what());
          }
          line += ']';
          recognition::append_removed_json(line, too_long, text, json_options);
          line += '}';
          if (name_sources) line.insert(1, "\"source\":" + nlohmann::json(doc.source).dump() + ",");
          line += '\n';
          return line;
        },
        [&](Document& doc, std::string& line) {
          if (mirror) {
            mirror->add(doc, line);
          } else {
            output.add([&] { return std::move(line); });
          }
          progress.tick(doc.bytes);
        });
  } catch (...) {
    output.flush();  // the documents before the failure
    throw;
  }
  output.flush();
  if (mirror) mirror->finish();
  progress.done();
  check_remote_failures(common, remotes,
                        "the results written may miss entities (--allow-remote-failures exits with 0 anyway)");
  return 0;
}

}  // namespace tesk_privacy::cli
