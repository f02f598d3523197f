// tesk-privacy analyze: one JSON object of results per document, written as
// each document is done. Failed requests to remote recognizers are counted
// and, after the last document, make the run fail unless
// --allow-remote-failures.
#include <algorithm>
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <tuple>
#include <iostream>
#include <optional>

#include "cli_common.h"
#include "html_report.h"
#include "commands.h"
#include "tesk_privacy/recognition/results_json.h"
#ifdef TESK_HAVE_TRANSFORMERS
#include "pii_detector/models/transformers_recognizer.h"
#endif

namespace tesk_privacy::cli {

namespace {

struct AnalyzeCommand {
  CommonOptions common;
  Selection selection;
  bool explain = false;
  std::string transformer_model;
  bool word_level = false;  // --tokenization-level word
  std::string html_report;

  int run();
};

}  // namespace

Runner add_analyze(CLI::App& app) {
  auto c = std::make_shared<AnalyzeCommand>();
  CLI::App* sub = app.add_subcommand(
      "analyze",
      "report the PII found: one JSON line {\"results\": [...]} per document, each result with entity_type, start, "
      "end (code-point offsets), score and text, in order of position (the library keeps the engine's order)");
  add_input_options(*sub, c->common);
  add_detection_options(*sub, c->common);
  add_selection_options(*sub, c->selection);
  sub->add_flag("--explain", c->explain,
                "add each result's recognizer and explanation, and list under \"removed\" the spans the length "
                "filter dropped (anonymize replaces them all the same)");
  sub->add_option("--html", c->html_report,
                  "also write a self-contained HTML report to FILE: the documents with their findings highlighted, "
                  "most findings first, and the counts per entity type")
      ->option_text("FILE");
  sub->add_option("--transformer-model", c->transformer_model,
                  "also run a transformer NER model: a model folder or a model-hub identifier found in the local hub "
                  "cache (never downloaded)")
      ->option_text("PATH_OR_ID");
  sub->add_option_function<std::string>(
         "--tokenization-level",
         [c](const std::string& level) {
           if (level != "subword" && level != "word") {
             throw UsageError("--tokenization-level must be subword or word, not '" + level + "'");
           }
           c->word_level = level == "word";
         },
         "with --transformer-model: subword (default) or word")
      ->option_text("LEVEL");
  return [c] { return c->run(); };
}

int AnalyzeCommand::run() {
  finish_options(common);
  if (!transformer_model.empty() && transformer_model.find_first_not_of(' ') == std::string::npos) {
    throw UsageError("--transformer-model needs a model folder or hub identifier");
  }
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
  recognition::AnalyzeOptions options;
  options.entities = selection.entities;
  options.score_threshold = selection.threshold;
  options.context = selection.context;
  if (!common.allow.empty()) options.allow_list = common.allow;
  auto analyzer = make_analyzer(common, &remotes, std::move(models));
  check_entities(selection, *analyzer, !remotes.empty());
  // With several files, each line says which file it answers.
  const bool name_sources = input_files(common).size() > 1;
  recognition::ResultsJsonOptions json_options;
  json_options.explain = explain;
  json_options.removed_reason = "longer than " + std::to_string(pii_detector::MAX_PII_TEXT_LENGTH - 1) + " characters";
  Progress progress(common);
  BatchedOutput output;
  std::optional<MirroredOutput> mirror;
  if (!common.output_dir.empty()) mirror.emplace(common);
  std::optional<HtmlReport> report;
  if (!html_report.empty()) report.emplace();
  // A document's line, in parts (a long document's in one part a window,
  // never copied into one string), and for the report its texts and their
  // results.
  struct Answer {
    std::vector<std::string> parts;
    std::vector<std::pair<Utf8Text, std::vector<recognition::RecognizerResult>>> texts;
  };
  try {
    process_documents<Answer>(
        common,
        [&](Document& doc) {
          Answer answer;
          if (doc.header) return answer;  // a CSV header is not a document
          if (doc.texts.empty()) doc.texts.push_back(std::move(doc.text));
          const bool name_fields = doc.texts.size() > 1;
          std::vector<std::string>& parts = answer.parts;
          parts.push_back(name_sources ? "{\"source\":" + nlohmann::json(doc.source).dump() + ",\"results\":["
                                       : "{\"results\":[");
          nlohmann::json removed = nlohmann::json::array();
          bool first = true;
          for (size_t k = 0; k < doc.texts.size(); ++k) {
            Utf8Text text(std::move(doc.texts[k]));
            recognition::AnalyzeOptions doc_options = options;
            std::vector<recognition::RecognizerResult> too_long;
            if (explain) doc_options.dropped_by_length = &too_long;
            if (doc.texts.size() == 1) {
              doc_options.on_progress = [&](size_t done, size_t total) { progress.within(doc, done, total); };
            }
            std::vector<recognition::RecognizerResult> kept;
            // The results are written a window at a time, in order of
            // position (windows own consecutive parts of the text), so those
            // of a long document are never all held at once.
            try {
              analyzer->analyze_each_window(
                  text, doc.language.value_or(common.language), doc_options,
                  [&](std::vector<recognition::RecognizerResult>& found) {
                    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
                      return std::tie(a.start, a.end) < std::tie(b.start, b.end);
                    });
                    std::string& line = parts.emplace_back();
                    for (const recognition::RecognizerResult& r : found) {
                      if (!first) line += ',';
                      first = false;
                      recognition::append_result_json(line, r, text, json_options);
                      if (name_fields) {
                        line.insert(line.size() - 1, ",\"field\":" + nlohmann::json(common.fields[k]).dump());
                      }
                    }
                    if (report) kept.insert(kept.end(), found.begin(), found.end());
                  });
            } catch (const std::exception& e) {
              throw std::runtime_error(doc.source + ": " + e.what());
            }
            if (!too_long.empty()) {
              std::string part;  // ,"removed":[...]
              recognition::append_removed_json(part, too_long, text, json_options);
              for (nlohmann::json& item : nlohmann::json::parse(part.substr(part.find('[')))) {
                if (name_fields) item["field"] = common.fields[k];
                removed.push_back(std::move(item));
              }
            }
            if (report) answer.texts.emplace_back(std::move(text), std::move(kept));
          }
          std::string& end = parts.emplace_back("]");
          if (!removed.empty()) end += ",\"removed\":" + removed.dump();
          end += "}\n";
          return answer;
        },
        [&](Document& doc, Answer& answer) {
          if (report) {
            for (size_t k = 0; k < answer.texts.size(); ++k) {
              const std::string label =
                  answer.texts.size() > 1 ? doc.source + " " + common.fields[k] : doc.source;
              report->add(label, answer.texts[k].first, answer.texts[k].second);
            }
          }
          if (doc.header) {
            // nothing to write
          } else {
            for (std::string& part : answer.parts) {
              if (mirror) {
                mirror->add(doc, part);
              } else {
                output.add([&] { return std::move(part); });
              }
              std::string().swap(part);
            }
          }
          progress.tick(doc);
        });
  } catch (...) {
    output.flush();  // the documents before the failure
    throw;
  }
  if (report) report->write(html_report);
  output.flush();
  if (mirror) mirror->finish();
  progress.done();
  check_remote_failures(common, remotes,
                        "the results written may miss entities (--allow-remote-failures exits with 0 anyway)");
  return 0;
}

}  // namespace tesk_privacy::cli
