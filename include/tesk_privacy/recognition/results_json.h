// The JSON form of analysis results, shared by the command-line tool, the
// Python package and services, so that all of them write the same record:
//
//   {"entity_type":"ID_KTP","start":4,"end":20,"score":0.85,"text":"3171..."}
//
// with "recognizer" and "explanation" added when asked, and read back by
// results_from_json. Offsets are code points, as everywhere in the library.
//
//   std::string line = results_to_json(text, analyzer.analyze(text, "id"));
//   // {"results":[{...},{...}]}
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::recognition {

struct ResultsJsonOptions {
  // Adds "recognizer" and the explanation's fields, where a result has them.
  bool explain = false;
  // Adds "text", the span's characters.
  bool with_text = true;
  // The "reason" written with each removed span.
  std::string removed_reason = "dropped by the analyzer's length filter";
};

// One result as a JSON object, appended to `out`.
void append_result_json(std::string& out, const RecognizerResult& result, const Utf8Text& text,
                        const ResultsJsonOptions& options = {});

// {"results":[...]}, and "removed":[...] with each span the length filter
// dropped and why, when `removed` holds any.
// Appends `,"removed":[...]` for the spans the length filter dropped, each
// with options.removed_reason; nothing when there are none. For writers that
// build the object piece by piece.
void append_removed_json(std::string& out, const std::vector<RecognizerResult>& removed, const Utf8Text& text,
                         const ResultsJsonOptions& options = {});

std::string results_to_json(const Utf8Text& text, const std::vector<RecognizerResult>& results,
                            const ResultsJsonOptions& options = {},
                            const std::vector<RecognizerResult>& removed = {});

// The results of a {"results":[...]} document or of a bare array of result
// objects, explanations included. Throws std::invalid_argument naming what is
// wrong for text that is not such JSON.
std::vector<RecognizerResult> results_from_json(std::string_view json);

}  // namespace tesk_privacy::recognition
