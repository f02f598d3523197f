// Shared plumbing of the tesk-privacy commands: option parsing, reading the
// inputs (whole files or JSON lines), and the errors that decide the exit
// status (2 for usage errors, 1 for everything else).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/recognition/remote_recognizer.h"

namespace tesk_privacy::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Options every command understands.
struct CommonOptions {
  std::vector<std::string> inputs;  // empty: standard input
  bool jsonl = false;
  bool progress = false;
  std::string language = "id";
  std::string ner_api_url;
  long remote_timeout = 60;  // seconds, the whole request to --ner-api-url
  std::string prosa_url;
  bool allow_remote_failures = false;
  // The recognizers for Indonesian formats (on unless --no-indonesian-formats).
  bool indonesian_formats = true;
  // anonymize --max-chars: reading a document (a file, or a JSON line) stops
  // once it is certainly longer, and the document fails.
  std::optional<size_t> max_chars;
};

// Walks argv[first..]: common options are stored in `common`; any other
// option is handed to `other(name, next_value)`, which returns false for an
// unknown option. `next_value()` consumes and returns the option's value.
void parse_options(int argc, char** argv, int first, CommonOptions& common,
                   const std::function<bool(const std::string&, const std::function<std::string()>&)>& other);

// One unit of work: a whole file, or one line of a JSON-lines input.
struct Document {
  std::string source;  // "FILE" or "FILE:LINE"
  std::string text;
  std::optional<std::string> language;  // from a JSON line
};

// Calls `fn` for every document of the inputs, in order. A JSON-lines input
// is read one line at a time, so memory stays bounded by its longest line;
// a blank line is a document with empty text, so output line N always
// answers input line N. With max_chars, no document is read much past the
// limit: one that is longer fails with an error naming it. Throws
// std::runtime_error naming the input (and line or byte offset) for input
// that cannot be read, is not UTF-8, or (with jsonl) is not a JSON object
// with a string "text".
void for_each_document(const CommonOptions& options, const std::function<void(const Document&)>& fn);

// The detector the options describe: the built-in recognizers plus the remote
// services named on the command line (the Prosa key from PROSA_API_KEY).
// When `remotes` is given, the remote recognizers are added to it, so their
// failed requests can be counted after the run. `extra` recognizers (models
// the command loaded) are added as well.
std::shared_ptr<pii_detector::TextAnalyzer> make_analyzer(
    const CommonOptions& options,
    std::vector<std::shared_ptr<const recognition::RemoteRecognizer>>* remotes = nullptr,
    std::vector<std::shared_ptr<recognition::EntityRecognizer>> extra = {});

// After the last document: when requests to the remote recognizers failed,
// throws a runtime error saying how many and `consequence`, or with
// --allow-remote-failures only warns on standard error.
void check_remote_failures(const CommonOptions& options,
                           const std::vector<std::shared_ptr<const recognition::RemoteRecognizer>>& remotes,
                           const std::string& consequence);

// Flushes `out` and throws a one-line error when writing it failed (a full
// disk, a closed pipe).
void check_output(std::ostream& out);

// Splits "a,b,c", dropping empty items.
std::vector<std::string> split_list(const std::string& s);

// Reports progress on standard error every `every` documents when enabled.
class Progress {
 public:
  explicit Progress(bool enabled, size_t every = 1000) : enabled_(enabled), every_(every) {}
  void tick();
  void done() const;

 private:
  bool enabled_;
  size_t every_;
  size_t count_ = 0;
};

}  // namespace tesk_privacy::cli
