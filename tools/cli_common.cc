#include "cli_common.h"

#include <sys/stat.h>

#include <algorithm>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

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

void parse_options(int argc, char** argv, int first, CommonOptions& common,
                   const std::function<bool(const std::string&, const std::function<std::string()>&)>& other) {
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError("option " + a + " needs a value");
      return argv[++i];
    };
    if (a == "--jsonl") {
      common.jsonl = true;
    } else if (a == "--progress") {
      common.progress = true;
    } else if (a == "-l" || a == "--language") {
      common.language = value();
      if (common.language != "id" && common.language != "en") {
        throw UsageError("--language must be 'id' or 'en', not '" + common.language + "'");
      }
    } else if (a == "--ner-api-url") {
      common.ner_api_url = value();
    } else if (a == "--remote-timeout") {
      const std::string v = value();
      char* end = nullptr;
      const long seconds = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || seconds < 1 || seconds > 3600) {
        throw UsageError("--remote-timeout must be a number of seconds from 1 to 3600");
      }
      common.remote_timeout = seconds;
    } else if (a == "--prosa-url") {
      common.prosa_url = value();
    } else if (a == "--no-indonesian-formats") {
      common.indonesian_formats = false;
    } else if (a == "-r" || a == "--recursive") {
      common.recursive_dir = value();
    } else if (a == "-o" || a == "--output-dir") {
      common.output_dir = value();
    } else if (a == "--allow") {
      for (std::string& word : split_list(value())) common.allow.push_back(std::move(word));
    } else if (a == "--allow-file") {
      const std::string path = value();
      std::ifstream in(path);
      if (!in) throw UsageError("cannot read the allow list " + path);
      for (std::string word; std::getline(in, word);) {
        if (!word.empty() && word.back() == '\r') word.pop_back();
        if (!word.empty()) common.allow.push_back(word);
      }
    } else if (a == "--deny") {
      const std::string v = value();
      const size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0 || split_list(v.substr(colon + 1)).empty()) {
        throw UsageError("--deny needs TYPE:WORD[,WORD...], not '" + v + "'");
      }
      common.deny.emplace_back(v.substr(0, colon), split_list(v.substr(colon + 1)));
    } else if (a == "--pattern") {
      const std::string v = value();
      const size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0 || colon + 1 == v.size()) {
        throw UsageError("--pattern needs TYPE:REGEX[:SCORE], not '" + v + "'");
      }
      CommonOptions::CustomPattern p{v.substr(0, colon), v.substr(colon + 1), 0.85};
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
      common.patterns.push_back(std::move(p));
    } else if (a == "--fields") {
      common.fields = split_list(value());
      if (common.fields.empty()) throw UsageError("--fields needs at least one field name");
    } else if (a == "-j" || a == "--jobs") {
      const std::string v = value();
      char* end = nullptr;
      const long jobs = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || jobs < 1 || jobs > 1024) throw UsageError("--jobs must be a number from 1 to 1024");
      common.jobs = static_cast<size_t>(jobs);
    } else if (a == "--allow-remote-failures") {
      common.allow_remote_failures = true;
    } else if (a.size() > 1 && a[0] == '-') {
      if (!other(a, value)) throw UsageError("unknown option " + a);
    } else {
      common.inputs.push_back(a);
    }
  }
  if (!common.recursive_dir.empty() && !common.inputs.empty()) throw UsageError("-r DIR takes no FILE");
  if (!common.jsonl && common.fields != std::vector<std::string>{"text"}) throw UsageError("--fields needs --jsonl");
  if (!common.recursive_dir.empty() && common.output_dir.empty()) throw UsageError("-r DIR needs -o OUTDIR");
  if (!common.output_dir.empty() && common.recursive_dir.empty() && common.inputs.empty()) {
    throw UsageError("-o OUTDIR needs -r DIR or FILE arguments");
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
    d.texts.push_back(it != doc.end() && it->is_string() ? it->get<std::string>() : std::string());
  }
  d.text = d.texts.front();
  if (doc.contains("language")) {
    if (!doc["language"].is_string()) throw std::runtime_error(source + ": \"language\" must be a string");
    d.language = doc["language"].get<std::string>();
  }
  d.record = std::move(doc);
  return d;
}

}  // namespace

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
    if (!options.jsonl) {
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
      pii_detector::TextAnalyzerOptions{.indonesian_formats = options.indonesian_formats, .window_chars = 1u << 20});
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

Progress::Progress(const CommonOptions& options) : enabled_(options.progress) {
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

void Progress::tick(size_t bytes) {
  ++count_;
  bytes_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::seconds(2)) return;
  last_ = now;
  std::cerr << line() << "\n";
}

void Progress::done() const {
  if (enabled_) std::cerr << line() << ", done\n";
}

}  // namespace tesk_privacy::cli
