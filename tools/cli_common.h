// Shared plumbing of the tesk-privacy commands: option parsing, reading the
// inputs (whole files or JSON lines), and the errors that decide the exit
// status (2 for usage errors, 1 for everything else).
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "core/ordered_executor.h"
#include "tesk_privacy/pii_detector/config_file.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/recognition/remote_recognizer.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace tesk_privacy::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Options every command understands.
struct CommonOptions {
  std::vector<std::string> inputs;  // empty: standard input
  bool jsonl = false;
  // --progress / --no-progress; by default on when standard error is a
  // terminal.
  std::optional<bool> progress;
  std::string language = "id";
  std::string ner_api_url;
  long remote_timeout = 60;  // seconds, the whole request to --ner-api-url
  std::string prosa_url;
  bool allow_remote_failures = false;
  // The recognizers for Indonesian formats (on unless --no-indonesian-formats).
  bool indonesian_formats = true;
  // -r DIR: every file below DIR is input; -o DIR: the output of each goes
  // to the file of the same relative path below DIR instead of standard
  // output.
  std::string recursive_dir;
  std::string output_dir;
  // --allow / --allow-list: texts never reported; --deny / --deny-list:
  // words always reported as their type; --pattern TYPE:REGEX[:SCORE]: a
  // pattern (Python's re dialect) reported as TYPE; --config: a YAML file
  // of recognizers, lists and operators. Read by finish_options().
  std::vector<std::string> allow;
  std::vector<std::pair<std::string, std::vector<std::string>>> deny;
  struct CustomPattern {
    std::string type, regex;
    double score;
  };
  std::vector<CustomPattern> patterns;
  std::string config_path;
  std::optional<pii_detector::PrivacyConfig> config;
  // --fields (JSON lines) or --columns (CSV): the text fields of a record
  // (default: text). Other fields are written back as they came.
  std::vector<std::string> fields = {"text"};
  bool csv = false;
  // anonymize --max-chars: reading a document (a file, or a JSON line) stops
  // once it is certainly longer, and the document fails.
  std::optional<size_t> max_chars;
  // -j/--jobs: threads that detect (analyze, anonymize) at once; the output
  // is the same whatever the number. Default: the number of cores.
  size_t jobs = default_jobs();

  static size_t default_jobs();
};

// Adds the options that choose what is detected (language, remote services,
// Indonesian formats, allow and deny lists, patterns, --config) to `app`.
void add_detection_options(CLI::App& app, CommonOptions& common);
// Adds the options that choose the input and the output (FILE..., --jsonl,
// --csv, --fields, -r, -o, -j, --progress) to `app`.
void add_input_options(CLI::App& app, CommonOptions& common);
// Parses the whole of `v` as a number in [low, high] or throws a usage error
// naming the option: "OPTION must be WHAT, not 'V'".
template <class T>
T parse_number(const std::string& option, const std::string& v, T low, T high, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != '\0' || errno != 0 || !(d >= static_cast<double>(low) && d <= static_cast<double>(high)) ||
      (std::is_integral_v<T> && d != static_cast<double>(static_cast<long long>(d)))) {
    throw UsageError(option + " must be " + what + ", not '" + v + "'");
  }
  return static_cast<T>(d);
}

// The entity types the analyzer's recognizers report, sorted, each once:
// what -e accepts and list-entities prints.
std::vector<std::string> known_entity_types(const pii_detector::TextAnalyzer& analyzer);

// What to report: -e/--entities, -t/--threshold and --context, stored
// where the command keeps them.
struct Selection {
  std::optional<std::vector<std::string>> entities;
  double threshold = 0.46;
  std::optional<std::vector<std::string>> context;
};
void add_selection_options(CLI::App& app, Selection& selection);
// Refuses an entity type of `selection` that no recognizer of `analyzer`
// reports (a typing error, not an empty result); with remote recognizers,
// which may report types of their own, every type is let through.
void check_entities(const Selection& selection, const pii_detector::TextAnalyzer& analyzer, bool remotes);

// Checks what the options say together, reads the lists and the
// configuration file they name, and walks -r DIR. Throws UsageError.
void finish_options(CommonOptions& common);

// Help text wrapped to the terminal's width and an exit-status footer, for
// the tool and each command.
void format_help(CLI::App& app);

// An option that may be given several times, each time with one value.
CLI::Option* repeatable(CLI::Option* option);

// One unit of work: a whole file, or one line of a JSON-lines input.
struct Document {
  std::string source;  // "FILE" or "FILE:LINE"
  std::string text;    // a whole file's; JSON lines and CSV rows have `texts`
  std::optional<std::string> language;  // from a JSON line
  size_t input = 0;                     // index of its file in input_files()
  size_t bytes = 0;                     // its size in the input
  // With --jsonl: the line's record, its fields in their order; texts[k] is
  // the value of the k-th of --fields (empty when the record lacks it).
  nlohmann::ordered_json record;
  std::vector<std::string> texts;
  // With --csv: the row's fields; columns[k] is the index in `row` of the
  // k-th of --columns. A file's header row is a document of its own
  // (header true) that is written back as it came.
  std::vector<std::string> row;
  std::vector<size_t> columns;
  bool header = false;
  const char* line_end = "\n";  // the CSV file's own
  size_t bytes_reported = 0;     // by Progress::within
};

// The output line of a JSON-lines or CSV document whose texts were
// rewritten: the record with each of its text fields replaced by texts[k].
std::string rewritten_record(const CommonOptions& options, Document& doc);

// The files the documents come from: the FILE arguments ("-" for standard
// input when there are none), or with -r every regular file below the
// folder, in the order of their paths (names starting with "." left out),
// as parse_options() listed them.
std::vector<std::string> input_files(const CommonOptions& options);

// Calls `fn` for every document of the inputs, in order. A JSON-lines input
// is read one line at a time, so memory stays bounded by its longest line;
// a blank line is a document with empty text, so output line N always
// answers input line N. With max_chars, no document is read much past the
// limit: one that is longer fails with an error naming it. Throws
// std::runtime_error naming the input (and line or byte offset) for input
// that cannot be read, is not UTF-8, or (with jsonl) is not a JSON object
// with a string "text".
void for_each_document(const CommonOptions& options, const std::function<void(Document&)>& fn);

// for_each_document on options.jobs threads: `work` runs on the documents in
// parallel and `consume` on this thread in input order, so what it does
// (numbering, writing) is what one thread would do. A document whose work
// throws, or input that cannot be read, ends the run after the documents
// before it were consumed.
template <class Out>
void process_documents(const CommonOptions& options, const std::function<Out(Document&)>& work,
                       const std::function<void(Document&, Out&)>& consume) {
  core::OrderedExecutor<Document, Out> run(options.jobs, work, consume);
  std::exception_ptr reading;
  try {
    for_each_document(options, [&](Document& doc) { run.submit(std::move(doc)); });
  } catch (...) {
    reading = std::current_exception();
  }
  run.finish();
  if (reading) std::rethrow_exception(reading);
}

// The output of each input file written to the file of the same relative
// path below options.output_dir. A file appears whole, when its last
// document was written (through a temporary beside it, renamed), after
// `before_write` ran; a file without documents appears empty. On failure
// the file being written is removed; those finished stay.
class MirroredOutput {
 public:
  MirroredOutput(const CommonOptions& options, std::function<void()> before_write = {});
  ~MirroredOutput();
  MirroredOutput(const MirroredOutput&) = delete;
  MirroredOutput& operator=(const MirroredOutput&) = delete;

  void add(const Document& doc, std::string_view data);
  // Finishes every remaining file.
  void finish();

 private:
  void open_next();
  void publish();

  std::vector<std::string> inputs_;
  std::string root_, output_dir_;
  std::function<void()> before_write_;
  size_t next_ = 0;  // the next file to open
  bool open_ = false;
  std::string temporary_, target_;
  std::FILE* file_ = nullptr;
};

// Standard output written in batches, as it comes: a background thread
// writes what waits every second (so output flows while the input stalls),
// add() once a megabyte waits, and flush(). `before_write` runs before each
// batch is written (the anonymize command saves the mapping there, so no
// output exists without the mapping that undoes it).
class BatchedOutput {
 public:
  explicit BatchedOutput(std::function<void()> before_write = {});
  // Stops the background thread; what waits is not written.
  ~BatchedOutput();
  BatchedOutput(const BatchedOutput&) = delete;
  BatchedOutput& operator=(const BatchedOutput&) = delete;

  // Queues the text `make` returns. `make` runs under the output's lock, so
  // what it records for before_write is never saved half-way. Rethrows the
  // failure of a background write.
  void add(const std::function<std::string()>& make);
  // Writes what waits. Throws a one-line error when writing failed, or what
  // before_write threw (and then writes nothing).
  void flush();

 private:
  void write_waiting();  // under mutex_

  std::function<void()> before_write_;
  std::string waiting_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread flusher_;
};

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

// Reports progress on standard error, when enabled, at most every two
// seconds: documents and bytes done, the rate and, when the inputs are
// files of known size, the share done and the time left. Within a long
// document, the windows the analyzer has done count as they finish.
class Progress {
 public:
  explicit Progress(const CommonOptions& options);
  // From any thread: `done` of the `total` characters of `doc` (still being
  // worked on) are analyzed.
  void within(Document& doc, size_t done, size_t total);
  // `doc` is finished.
  void tick(const Document& doc);
  void done();

 private:
  void add(uint64_t bytes, uint64_t documents);
  std::string line() const;  // under mutex_

  bool enabled_;
  uint64_t total_bytes_ = 0;  // 0: unknown
  std::mutex mutex_;
  uint64_t count_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_ = start_;
};

}  // namespace tesk_privacy::cli
