#include "cli_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "csv.h"

#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "pii_detector/recognizer/prosa_remote_recognizer.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::cli {

std::vector<std::string> split_list(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  for (std::string item; std::getline(ss, item, ',');) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

namespace {

// The regular files below `folder`, in the order of their paths, without
// names starting with ".".
std::vector<std::string> files_below(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, error), end;
  if (error) throw std::runtime_error(folder + ": " + error.message());
  for (; it != end; it.increment(error)) {
    if (error) throw std::runtime_error(folder + ": " + error.message());
    const std::string name = it->path().filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

namespace {

// The lines of a list file, without blank lines.
std::vector<std::string> read_list(const std::string& option, const std::string& path) {
  std::ifstream in(path);
  if (!in) throw UsageError("cannot read the list file " + path + " of " + option);
  std::vector<std::string> words;
  for (std::string word; std::getline(in, word);) {
    if (!word.empty() && word.back() == '\r') word.pop_back();
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

// "TYPE:REST" or "TYPE=REST" split at the first separator of `separators`.
std::pair<std::string, std::string> type_and_rest(const std::string& option, const std::string& v,
                                                  const char* separators, const std::string& form) {
  const size_t at = v.find_first_of(separators);
  if (at == std::string::npos || at == 0 || at + 1 == v.size()) {
    throw UsageError(option + " needs " + form + ", not '" + v + "'");
  }
  return {v.substr(0, at), v.substr(at + 1)};
}

// Help descriptions wrapped to fit beside the option column.
class WrappingFormatter : public CLI::Formatter {
 public:
  WrappingFormatter() { column_width(26); }
  std::string make_option_desc(const CLI::Option* option) const override {
    return wrap(CLI::Formatter::make_option_desc(option), 80 - get_column_width());
  }
  std::string make_description(const CLI::App* app) const override {
    return wrap(app->get_description(), 79) + "\n\n";
  }
  std::string make_footer(const CLI::App* app) const override {
    const std::string footer = app->get_footer();
    return footer.empty() ? footer : "\n" + wrap(footer, 79) + "\n";
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    std::stringstream out;
    CLI::detail::format_help(out, sub->get_name(), wrap(sub->get_description(), 80 - get_column_width()),
                             get_column_width());
    return out.str();
  }

  static std::string wrap(const std::string& text, size_t width) {
    std::string out;
    size_t line = 0;
    std::stringstream words(text);
    for (std::string word; words >> word;) {
      if (line > 0 && line + 1 + word.size() > width) {
        out += '\n';
        line = 0;
      } else if (line > 0) {
        out += ' ';
        ++line;
      }
      out += word;
      line += word.size();
    }
    return out;
  }
};

}  // namespace

CLI::Option* repeatable(CLI::Option* option) {
  return option->type_size(1)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void format_help(CLI::App& app) {
  auto formatter = std::make_shared<WrappingFormatter>();
  formatter->label("REQUIRED", "(required)");
  formatter->label("Subcommands", "Commands");
  formatter->label("SUBCOMMAND", "COMMAND");
  app.formatter(formatter);
  app.footer(
      "Exit status: 0 on success, 2 on a usage error, 1 on any other error, with a one-line message on standard "
      "error.");
}

namespace {

// Puts the options added to `app` since it had `before` of them in `group`.
void group_since(CLI::App& app, size_t before, const std::string& group) {
  std::vector<CLI::Option*> options = app.get_options();
  for (size_t i = before; i < options.size(); ++i) options[i]->group(group);
}

}  // namespace

void add_detection_options(CLI::App& app, CommonOptions& c) {
  const size_t before = app.get_options().size();
  app.add_option_function<std::string>(
         "-l,--language",
         [&c](const std::string& v) {
           if (v != "id" && v != "en") throw UsageError("--language must be 'id' or 'en', not '" + v + "'");
           c.language = v;
         },
         "language of the text: id (default) or en")
      ->option_text("LANG");
  app.add_option("--ner-api-url", c.ner_api_url, "also ask the remote NER service at URL")->option_text("URL");
  app.add_option_function<std::string>(
         "--remote-timeout",
         [&c](const std::string& v) {
           c.remote_timeout = parse_number<long>("--remote-timeout", v, 1, 3600, "a number of seconds from 1 to 3600");
         },
         "end each request to --ner-api-url after S seconds, connecting, sending and receiving (default 60; the "
         "Prosa API's requests end after 100)")
      ->option_text("S");
  app.add_option("--prosa-url", c.prosa_url,
                 "also ask the Prosa NER API at URL; the API key is read from the environment variable PROSA_API_KEY")
      ->option_text("URL");
  app.add_flag_callback(
      "--no-indonesian-formats", [&c] { c.indonesian_formats = false; },
      "run the built-in recognizer set only, without the recognizers for Indonesian formats (identity, account, "
      "card and phone numbers in groups, written-out e-mail addresses, dates, vehicle plates, street addresses, "
      "amounts with scale words) and the rules that keep every identifier whole");
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--allow",
                    [&c](const std::vector<std::string>& lists) {
                      for (const std::string& list : lists) {
                        for (std::string& word : split_list(list)) c.allow.push_back(std::move(word));
                      }
                    },
                    "comma-separated texts never reported or replaced")
                 ->option_text("LIST"));
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--allow-list,--allow-file",
                    [&c](const std::vector<std::string>& files) {
                      for (const std::string& file : files) {
                        for (std::string& word : read_list("--allow-list", file)) c.allow.push_back(std::move(word));
                      }
                    },
                    "the same, from FILE: one text a line")
                 ->option_text("FILE"));
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--deny",
                    [&c](const std::vector<std::string>& values) {
                      for (const std::string& v : values) {
                        auto [type, words] = type_and_rest("--deny", v, ":=", "TYPE:WORD[,WORD...]");
                        c.deny.emplace_back(type, split_list(words));
                      }
                    },
                    "comma-separated words always reported as TYPE")
                 ->option_text("TYPE:WORDS"));
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--deny-list",
                    [&c](const std::vector<std::string>& values) {
                      for (const std::string& v : values) {
                        auto [type, file] = type_and_rest("--deny-list", v, "=", "TYPE=FILE");
                        c.deny.emplace_back(type, read_list("--deny-list", file));
                      }
                    },
                    "the words of FILE, one a line, always reported as TYPE")
                 ->option_text("TYPE=FILE"));
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--pattern",
                    [&c](const std::vector<std::string>& values) {
                      for (const std::string& v : values) {
                        auto [type, regex] = type_and_rest("--pattern", v, ":=", "TYPE:REGEX[:SCORE]");
                        CommonOptions::CustomPattern p{type, regex, 0.85};
                        // A trailing ":0.7" is the score when it reads as one.
                        if (const size_t last = p.regex.rfind(':'); last != std::string::npos) {
                          char* end = nullptr;
                          const std::string tail = p.regex.substr(last + 1);
                          const double score = std::strtod(tail.c_str(), &end);
                          if (!tail.empty() && *end == '\0' && score >= 0 && score <= 1) {
                            p.score = score;
                            p.regex.erase(last);
                          }
                        }
                        c.patterns.push_back(std::move(p));
                      }
                    },
                    "also report what REGEX (Python's re dialect) matches as TYPE (score 0.85 unless given)")
                 ->option_text("TYPE:REGEX[:SCORE]"));
  app.add_option("--config", c.config_path,
                 "a YAML file of pattern recognizers, deny lists, an allow list and operators per entity type "
                 "(see examples/config.yaml); read before any input")
      ->option_text("FILE");
  app.add_flag("--allow-remote-failures", c.allow_remote_failures,
               "succeed even when requests to --ner-api-url or --prosa-url failed (their count is still reported)");
  group_since(app, before, "Detection");
}

void add_input_options(CLI::App& app, CommonOptions& c) {
  app.add_option("FILE", c.inputs, "documents to read; none, or \"-\", reads standard input")->option_text("...");
  const size_t before = app.get_options().size();
  app.add_flag("--jsonl", c.jsonl,
               "each input line is a JSON object {\"text\": ..., \"language\"?: ...}; each output line answers the "
               "input line of the same number (a blank line is a document with empty text); other fields are "
               "written back as they came");
  app.add_flag("--csv", c.csv,
               "the input is CSV (RFC 4180) with a header row; each row is a record, written back with its text "
               "columns rewritten (analyze writes a JSON line per row)");
  auto fields = [&c](const std::vector<std::string>& lists) {
    c.fields.clear();
    for (const std::string& list : lists) {
      for (std::string& f : split_list(list)) {
        // A field named twice would be rewritten twice from one text.
        if (std::find(c.fields.begin(), c.fields.end(), f) != c.fields.end()) {
          throw UsageError("--fields and --columns name \"" + f + "\" twice");
        }
        c.fields.push_back(std::move(f));
      }
    }
    if (c.fields.empty()) throw UsageError("--fields and --columns need at least one name");
  };
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--fields", fields,
                    "with --jsonl: the text fields of a record (default: text); one mapping serves them all")
                 ->option_text("LIST"));
  repeatable(app.add_option_function<std::vector<std::string>>(
                    "--columns", fields, "with --csv: the text columns, by header name (default: text)")
                 ->option_text("LIST"));
  app.add_option("-r,--recursive", c.recursive_dir,
                 "every file below DIR is a document (or, with --jsonl or --csv, a file of them); needs -o")
      ->option_text("DIR");
  app.add_option("-o,--output-dir", c.output_dir,
                 "write each file's output to the file of the same relative path below OUT instead of standard "
                 "output (each appears whole once done; an input file without documents gives an empty one)")
      ->option_text("OUT");
  app.add_option_function<std::string>(
         "-j,--jobs", [&c](const std::string& v) { c.jobs = parse_number<size_t>("--jobs", v, 1, 1024, "a number from 1 to 1024"); },
         "detect on N threads at once (default: the number of cores); output, placeholders and fake values are the "
         "same whatever N")
      ->option_text("N");
  app.add_flag_callback(
      "--progress", [&c] { c.progress = true; },
      "report documents, bytes, rate, share done and time left on standard error (default: when it is a terminal)");
  app.add_flag_callback("--no-progress", [&c] { c.progress = false; }, "never report progress");
  group_since(app, before, "Input and output");
}

void add_selection_options(CLI::App& app, Selection& s) {
  const size_t before = app.get_options().size();
  app.add_option_function<std::string>(
         "-e,--entities", [&s](const std::string& v) { s.entities = split_list(v); },
         "comma-separated entity types to report (default: all; tesk-privacy list-entities prints them)")
      ->option_text("LIST");
  app.add_option_function<std::string>(
         "-t,--threshold",
         [&s](const std::string& v) { s.threshold = parse_number<double>("--threshold", v, 0.0, 1.0, "a number from 0 to 1"); },
         "lowest score reported, 0..1 (default 0.46)")
      ->option_text("SCORE");
  app.add_option_function<std::string>(
         "--context", [&s](const std::string& v) { s.context = split_list(v); },
         "comma-separated context words that support detections")
      ->option_text("LIST");
  group_since(app, before, "Detection");
}

std::vector<std::string> known_entity_types(const pii_detector::TextAnalyzer& analyzer) {
  std::vector<std::string> types = analyzer.registry().get_supported_entities({"id", "en"});
  std::sort(types.begin(), types.end());
  types.erase(std::unique(types.begin(), types.end()), types.end());
  return types;
}

void check_entities(const Selection& selection, const pii_detector::TextAnalyzer& analyzer, bool remotes) {
  if (!selection.entities || remotes) return;
  const std::vector<std::string> known = known_entity_types(analyzer);
  for (const std::string& type : *selection.entities) {
    if (std::find(known.begin(), known.end(), type) == known.end()) {
      throw UsageError("unknown entity type " + type + " (tesk-privacy list-entities prints them)");
    }
  }
}

void finish_options(CommonOptions& common) {
  if (common.jsonl && common.csv) throw UsageError("--jsonl and --csv exclude each other");
  if (!common.jsonl && !common.csv && common.fields != std::vector<std::string>{"text"}) {
    throw UsageError("--fields needs --jsonl, --columns needs --csv");
  }
  if (!common.recursive_dir.empty() && !common.inputs.empty()) throw UsageError("-r DIR takes no FILE");
  if (!common.recursive_dir.empty() && common.output_dir.empty()) throw UsageError("-r DIR needs -o OUTDIR");
  if (!common.output_dir.empty() && common.recursive_dir.empty() && common.inputs.empty()) {
    throw UsageError("-o OUTDIR needs -r DIR or FILE arguments");
  }
  if (!common.config_path.empty()) {
    try {
      common.config = pii_detector::load_privacy_config(common.config_path);
    } catch (const std::exception& e) {
      throw UsageError(e.what());
    }
    for (const std::string& word : common.config->allow_list) common.allow.push_back(word);
  }
  // The folder is walked once; every later step reads the list.
  if (!common.recursive_dir.empty()) common.inputs = files_below(common.recursive_dir);
}

namespace {

// Opens an input file, refusing what cannot be read as one (a folder).
void open_input(std::ifstream& file, const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw std::runtime_error("cannot read " + name + ": it is a folder");
  }
  file.open(name, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
}

// More bytes than a text of `max_chars` characters can take: 4 a character
// in UTF-8, 12 in a JSON string ("\\ud83d\\ude00"), plus room for the rest
// of a JSON line.
size_t byte_bound(std::optional<size_t> max_chars, bool json) {
  if (!max_chars) return std::numeric_limits<size_t>::max();
  const size_t per_char = json ? 12 : 4;
  return *max_chars > (std::numeric_limits<size_t>::max() - 4096) / per_char ? std::numeric_limits<size_t>::max()
                                                                            : *max_chars * per_char + 4096;
}

[[noreturn]] void too_long(const std::string& source, size_t max_chars) {
  throw std::runtime_error(source + ": longer than --max-chars " + std::to_string(max_chars) +
                           " characters; reading stopped there");
}

// Reads up to `bound` bytes of `in` into `out`, or up to the first '\n'
// (dropped) when `line`; false at the end of the input with nothing read.
// Sets `over` when the bound was reached first.
bool read_bounded(std::istream& in, std::string& out, size_t bound, bool line, bool& over) {
  out.clear();
  over = false;
  std::streambuf* buf = in.rdbuf();
  bool any = false;
  for (int c; (c = buf->sbumpc()) != std::char_traits<char>::eof();) {
    any = true;
    if (line && c == '\n') return true;
    if (out.size() >= bound) {
      over = true;
      return true;
    }
    out.push_back(static_cast<char>(c));
  }
  return any;
}

std::string read_all(const std::string& name, const std::string& label, std::optional<size_t> max_chars) {
  std::ifstream file;
  if (name != "-") open_input(file, name);
  std::istream& in = name == "-" ? std::cin : file;
  std::string data;
  bool over = false;
  try {
    read_bounded(in, data, byte_bound(max_chars, false), false, over);
  } catch (const std::exception& e) {
    throw std::runtime_error("error while reading " + label + ": " + e.what());
  }
  if (over) too_long(label, *max_chars);
  if (in.bad()) throw std::runtime_error("error while reading " + label);
  return data;
}

Document parse_line(const std::string& source, const std::string& line, const std::vector<std::string>& fields) {
  if (size_t bad = find_invalid_utf8(line); bad != std::string::npos) {
    throw std::runtime_error(source + ": not valid UTF-8 at byte offset " + std::to_string(bad) + " of the line");
  }
  nlohmann::ordered_json doc;
  try {
    doc = nlohmann::ordered_json::parse(line);
  } catch (const nlohmann::json::parse_error& e) {
    throw std::runtime_error(source + ": not valid JSON at byte " + std::to_string(e.byte) + " of the line");
  } catch (const nlohmann::json::exception&) {
    throw std::runtime_error(source + ": not valid JSON: a number out of range");
  }
  if (fields.size() == 1 && fields[0] == "text" &&
      (!doc.is_object() || !doc.contains("text") || !doc["text"].is_string())) {
    throw std::runtime_error(source + ": each line must be a JSON object with a string \"text\"");
  }
  if (!doc.is_object()) throw std::runtime_error(source + ": each line must be a JSON object");
  Document d;
  d.source = source;
  for (const std::string& field : fields) {
    auto it = doc.find(field);
    if (it != doc.end() && !it->is_null() && !it->is_string()) {
      throw std::runtime_error(source + ": \"" + field + "\" must be a string");
    }
    // The text leaves the record (an empty string keeps its place for the
    // rewritten one), so that a long line's text is never held twice.
    d.texts.push_back(it != doc.end() && it->is_string() ? std::move(it->get_ref<std::string&>()) : std::string());
  }
  if (doc.contains("language")) {
    if (!doc["language"].is_string()) throw std::runtime_error(source + ": \"language\" must be a string");
    d.language = doc["language"].get<std::string>();
  }
  d.record = std::move(doc);
  return d;
}

// The rows of a CSV input as documents: the header first (which names the
// text columns), then one document a row.
void read_csv(const CommonOptions& options, std::istream& in, const std::string& label, size_t index,
              const std::function<void(Document&)>& fn) {
  CsvReader reader(in, label, byte_bound(options.max_chars, false));
  std::vector<std::string> row;
  std::vector<size_t> columns;
  size_t width = 0;
  while (true) {
    try {
      if (!reader.next(row)) break;
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string(e.what()) +
                               (options.max_chars ? " (--max-chars " + std::to_string(*options.max_chars) + ")" : ""));
    }
    Document doc;
    doc.source = label + ":" + std::to_string(reader.line());
    doc.bytes = reader.bytes();
    doc.input = index;
    if (columns.empty()) {
      for (const std::string& field : options.fields) {
        const auto it = std::find(row.begin(), row.end(), field);
        if (it == row.end()) throw std::runtime_error(doc.source + ": the header has no column \"" + field + "\"");
        columns.push_back(static_cast<size_t>(it - row.begin()));
      }
      width = row.size();
      doc.header = true;
    } else if (row.size() != width) {
      throw std::runtime_error(doc.source + ": " + std::to_string(row.size()) + " fields where the header has " +
                               std::to_string(width));
    }
    for (size_t k = 0; k < columns.size(); ++k) {
      const std::string& text = doc.header ? std::string() : row[columns[k]];
      if (size_t bad = find_invalid_utf8(text); bad != std::string::npos) {
        throw std::runtime_error(doc.source + ": not valid UTF-8 in column \"" + options.fields[k] + "\"");
      }
      doc.texts.push_back(text);
    }
    doc.columns = columns;
    doc.line_end = reader.line_end();
    doc.row = std::move(row);
    row = {};
    fn(doc);
  }
  if (in.bad()) throw std::runtime_error("error while reading " + label);
}

}  // namespace

std::string rewritten_record(const CommonOptions& options, Document& doc) {
  if (options.csv) {
    if (!doc.header) {
      for (size_t k = 0; k < doc.columns.size(); ++k) doc.row[doc.columns[k]] = std::move(doc.texts[k]);
    }
    std::string out;
    append_csv_record(out, doc.row, doc.line_end);
    return out;
  }
  nlohmann::ordered_json record = doc.record.is_object() ? std::move(doc.record) : nlohmann::ordered_json::object();
  for (size_t k = 0; k < doc.texts.size(); ++k) {
    const std::string& field = options.fields[k];
    if (record.contains(field) && record[field].is_string()) {
      record[field] = std::move(doc.texts[k]);
    } else if (field == "text" && !record.contains(field)) {
      record[field] = std::move(doc.texts[k]);  // a blank line answers {"text": ""}
    }
  }
  return record.dump() + "\n";
}

size_t CommonOptions::default_jobs() { return std::max(1u, std::thread::hardware_concurrency()); }

BatchedOutput::BatchedOutput(std::function<void()> before_write) : before_write_(std::move(before_write)) {
  flusher_ = std::thread([this] {
    std::unique_lock<std::mutex> hold(mutex_);
    while (!stopping_) {
      wake_.wait_for(hold, std::chrono::seconds(1));
      if (stopping_ || error_) continue;
      try {
        write_waiting();
      } catch (...) {
        error_ = std::current_exception();
      }
    }
  });
}

BatchedOutput::~BatchedOutput() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  flusher_.join();
}

void BatchedOutput::write_waiting() {
  if (waiting_.empty()) return;
  if (before_write_) before_write_();
  std::cout.write(waiting_.data(), static_cast<std::streamsize>(waiting_.size()));
  waiting_.clear();
  check_output(std::cout);
}

void BatchedOutput::add(const std::function<std::string()>& make) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (error_) std::rethrow_exception(error_);
  if (waiting_.empty()) {
    waiting_ = make();  // a large document's output is not copied
  } else {
    waiting_ += make();
  }
  if (waiting_.size() >= (1u << 20)) write_waiting();
}

void BatchedOutput::flush() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (error_) std::rethrow_exception(error_);
  write_waiting();
}

std::vector<std::string> input_files(const CommonOptions& options) {
  if (!options.recursive_dir.empty() || !options.inputs.empty()) return options.inputs;
  return {"-"};
}

MirroredOutput::MirroredOutput(const CommonOptions& options, std::function<void()> before_write)
    : inputs_(input_files(options)),
      root_(options.recursive_dir),
      output_dir_(options.output_dir),
      before_write_(std::move(before_write)) {}

MirroredOutput::~MirroredOutput() {
  if (file_ != nullptr) std::fclose(file_);
  if (open_) ::unlink(temporary_.c_str());
}

void MirroredOutput::open_next() {
  namespace fs = std::filesystem;
  const fs::path relative = root_.empty() ? fs::path(inputs_[next_]).filename()
                                          : fs::path(inputs_[next_]).lexically_relative(root_);
  target_ = (fs::path(output_dir_) / relative).string();
  std::error_code error;
  fs::create_directories(fs::path(target_).parent_path(), error);
  if (error) throw std::runtime_error("cannot create the folder of " + target_ + ": " + error.message());
  temporary_ = target_ + ".tesk-tmp";
  file_ = std::fopen(temporary_.c_str(), "wb");
  if (file_ == nullptr) throw std::runtime_error("cannot write " + temporary_ + ": " + std::strerror(errno));
  open_ = true;
  ++next_;
}

void MirroredOutput::publish() {
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) throw std::runtime_error("cannot write " + temporary_ + ": " + std::strerror(errno));
  if (before_write_) before_write_();
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw std::runtime_error("cannot rename " + temporary_ + " to " + target_ + ": " + std::strerror(errno));
  }
  open_ = false;
}

void MirroredOutput::add(const Document& doc, std::string_view data) {
  while (!open_ || next_ <= doc.input) {
    if (open_) publish();
    open_next();
  }
  if (std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
    throw std::runtime_error("cannot write " + temporary_ + ": " + std::strerror(errno));
  }
}

void MirroredOutput::finish() {
  if (open_) publish();
  while (next_ < inputs_.size()) {
    open_next();
    publish();
  }
}

void for_each_document(const CommonOptions& options, const std::function<void(Document&)>& fn) {
  const std::vector<std::string> inputs = input_files(options);
  for (size_t index = 0; index < inputs.size(); ++index) {
    const std::string& name = inputs[index];
    const std::string label = name == "-" ? "<stdin>" : name;
    if (!options.jsonl && !options.csv) {
      std::string data = read_all(name, label, options.max_chars);
      if (size_t bad = find_invalid_utf8(data); bad != std::string::npos) {
        throw std::runtime_error(label + ": not valid UTF-8 at byte offset " + std::to_string(bad));
      }
      Document doc;
      doc.source = label;
      doc.bytes = data.size();
      doc.text = std::move(data);
      doc.input = index;
      fn(doc);
      continue;
    }
    std::ifstream file;
    if (name != "-") open_input(file, name);
    std::istream& in = name == "-" ? std::cin : file;
    if (options.csv) {
      read_csv(options, in, label, index, fn);
      continue;
    }
    size_t number = 0;
    const size_t bound = byte_bound(options.max_chars, true);
    bool over = false;
    for (std::string line; read_bounded(in, line, bound, true, over);) {
      ++number;
      const std::string source = label + ":" + std::to_string(number);
      if (over) too_long(source, *options.max_chars);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos) {
        Document blank;  // answered by a line of its own
        blank.source = source;
        blank.input = index;
        blank.bytes = line.size() + 1;
        blank.texts.assign(options.fields.size(), std::string());
        fn(blank);
        continue;
      }
      Document doc = parse_line(source, line, options.fields);
      doc.bytes = line.size() + 1;
      doc.input = index;
      if (line.capacity() > (size_t{1} << 20)) std::string().swap(line);  // a long line is not kept while it is worked on
      fn(doc);
    }
    if (in.bad()) throw std::runtime_error("error while reading " + label);
  }
}

std::shared_ptr<pii_detector::TextAnalyzer> make_analyzer(
    const CommonOptions& options, std::vector<std::shared_ptr<const recognition::RemoteRecognizer>>* remotes,
    std::vector<std::shared_ptr<recognition::EntityRecognizer>> extra) {
  std::vector<std::shared_ptr<recognition::EntityRecognizer>> remote;
  if (!options.ner_api_url.empty()) {
    remote.push_back(std::make_shared<pii_detector::HalvernNerApiRemoteRecognizer>(
        options.ner_api_url, std::nullopt, std::nullopt, options.remote_timeout, options.language));
  }
  if (!options.prosa_url.empty()) {
    const char* key = std::getenv("PROSA_API_KEY");
    if (key == nullptr || *key == '\0') {
      throw UsageError("--prosa-url needs the API key in the environment variable PROSA_API_KEY");
    }
    remote.push_back(std::make_shared<pii_detector::ProsaRemoteRecognizer>(options.prosa_url, key));
  }
  if (remotes != nullptr) {
    for (const auto& r : remote) remotes->push_back(std::static_pointer_cast<const recognition::RemoteRecognizer>(r));
  }
  for (auto& r : extra) remote.push_back(std::move(r));
  if (options.config) {
    for (const auto& r : options.config->recognizers) remote.push_back(r);
  }
  // The caller's own words and patterns, for both languages.
  for (const char* language : {"id", "en"}) {
    for (const auto& [type, words] : options.deny) {
      remote.push_back(std::make_shared<recognition::PatternRecognizer>(
          type, std::vector<recognition::Pattern>{}, language, std::vector<std::string>{}, words,
          "deny list of " + type));
    }
    for (const CommonOptions::CustomPattern& p : options.patterns) {
      try {
        remote.push_back(std::make_shared<recognition::PatternRecognizer>(
            p.type, std::vector<recognition::Pattern>{{"custom pattern", p.regex, p.score}}, language,
            std::vector<std::string>{}, std::vector<std::string>{}, "pattern for " + p.type));
      } catch (const std::exception& e) {
        throw UsageError("--pattern " + p.type + ": " + e.what());
      }
    }
  }
  return std::make_shared<pii_detector::TextAnalyzer>(
      std::move(remote), std::nullopt, pii_detector::default_model_platform(),
      pii_detector::TextAnalyzerOptions{.indonesian_formats = options.indonesian_formats, .window_chars = 1u << 17});
}

void check_output(std::ostream& out) {
  out.flush();
  if (!out) {
    const int err = errno;
    throw std::runtime_error(std::string("cannot write the output: ") +
                             (err != 0 ? std::strerror(err) : "the output stream failed"));
  }
}

void check_remote_failures(const CommonOptions& options,
                           const std::vector<std::shared_ptr<const recognition::RemoteRecognizer>>& remotes,
                           const std::string& consequence) {
  uint64_t failed = 0;
  for (const auto& remote : remotes) failed += remote->failed_requests();
  if (failed == 0) return;
  if (!options.allow_remote_failures) {
    throw std::runtime_error(std::to_string(failed) + " requests to remote recognizers failed, so some text went " +
                             "unchecked; " + consequence);
  }
  std::cerr << "tesk-privacy: warning: " << failed << " requests to remote recognizers failed\n";
}

Progress::Progress(const CommonOptions& options)
    : enabled_(options.progress.value_or(::isatty(STDERR_FILENO) == 1)) {
  if (!enabled_) return;
  for (const std::string& name : input_files(options)) {
    struct stat info {};
    if (name == "-" || ::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      total_bytes_ = 0;
      return;
    }
    total_bytes_ += static_cast<uint64_t>(info.st_size);
  }
}

std::string Progress::line() const {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double rate = seconds > 0 ? bytes_ / seconds : 0;
  char text[200];
  int n = std::snprintf(text, sizeof text, "tesk-privacy: %llu documents, %.1f MB, %.2f MB/s",
                        static_cast<unsigned long long>(count_), bytes_ / 1e6, rate / 1e6);
  if (total_bytes_ > 0 && n > 0 && static_cast<size_t>(n) < sizeof text) {
    const double share = std::min(1.0, static_cast<double>(bytes_) / total_bytes_);
    const double left = rate > 0 ? (total_bytes_ - std::min<uint64_t>(bytes_, total_bytes_)) / rate : 0;
    std::snprintf(text + n, sizeof text - n, ", %.0f%% done, about %.0f s left", share * 100, left);
  }
  return text;
}

void Progress::within(Document& doc, size_t done, size_t total) {
  if (!enabled_ || total == 0) return;
  const size_t bytes = static_cast<size_t>(static_cast<double>(doc.bytes) * done / total);
  if (bytes <= doc.bytes_reported) return;
  const size_t more = bytes - doc.bytes_reported;
  doc.bytes_reported = bytes;
  add(more, 0);
}

void Progress::tick(const Document& doc) { add(doc.bytes - std::min(doc.bytes, doc.bytes_reported), 1); }

void Progress::add(uint64_t bytes, uint64_t documents) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> hold(mutex_);
  count_ += documents;
  bytes_ += bytes;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::seconds(2)) return;
  last_ = now;
  std::cerr << line() << "\n";
}

void Progress::done() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (enabled_) std::cerr << line() << ", done\n";
}

}  // namespace tesk_privacy::cli
