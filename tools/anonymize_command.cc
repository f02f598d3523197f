// tesk-privacy anonymize / deanonymize: rewrite documents through one
// TextAnonymizer whose store can live in a mapping file between runs.
//
// Fail closed: output is written only after every document succeeded (a
// failed run writes nothing), and the mapping file is saved before the
// output, so anonymized text never exists without the mapping that undoes it.
// A document whose detection cannot complete (a pattern over its
// backtracking bound, a recognizer error, a text over --max-chars) fails the
// run unless --keep-going; a failed request to a remote service fails it
// at the end, after every document was tried, unless --allow-remote-failures.
// Finished documents are spooled to an unnamed temporary file, so memory
// stays bounded by the largest document (or, with --jsonl, the longest line)
// plus the mapping store.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

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
  bool keep_going = false;
  std::optional<size_t> max_chars;
};

// An unnamed temporary file that holds the output until the run succeeded.
class Spool {
 public:
  Spool() : file_(std::tmpfile()) {
    if (file_ == nullptr) throw std::runtime_error(std::string("cannot create a temporary file: ") + std::strerror(errno));
  }
  ~Spool() { std::fclose(file_); }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  void write(std::string_view data) {
    if (std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
      throw std::runtime_error(std::string("cannot write the temporary file: ") + std::strerror(errno));
    }
  }
  // Copies everything written to `out`; false when writing failed.
  bool copy_to(std::ostream& out) {
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) return false;
    std::vector<char> buffer(1 << 16);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file_)) > 0;) {
      out.write(buffer.data(), static_cast<std::streamsize>(n));
    }
    return !std::ferror(file_) && out.flush();
  }

 private:
  std::FILE* file_;
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
    } else if (anonymizing && name == "--keep-going") {
      o.keep_going = true;
    } else if (anonymizing && name == "--max-chars") {
      std::string v = value();
      char* end = nullptr;
      unsigned long long n = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || v[0] == '-' || n == 0) throw UsageError("--max-chars must be a positive integer");
      o.max_chars = static_cast<size_t>(n);
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
  options.keep_going = o.keep_going;
  options.max_text_length = o.max_chars;
  // Deanonymizing needs no detection, so no analyzer work happens there.
  std::vector<std::shared_ptr<const recognition::RemoteRecognizer>> remotes;
  pii_detector::TextAnonymizer anonymizer(make_analyzer(o.common, &remotes), options);

  Spool output;
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
    output.write(o.common.jsonl ? nlohmann::json{{"text", text}}.dump() + "\n" : text);
    progress.tick();
  });
  if (anonymizer.detection_failures() > 0) {
    std::cerr << "tesk-privacy: warning: " << anonymizer.detection_failures()
              << " recognizer failures were skipped (--keep-going); see the error lines above\n";
  }
  check_remote_failures(o.common, remotes, "nothing was written (--allow-remote-failures writes the output anyway)");
  if (anonymizing && !o.mapping_path.empty()) {
    pii_detector::save_mapping_file(o.mapping_path, anonymizer.deanonymizer_mapping());
  }
  const bool written = output.copy_to(std::cout);
  progress.done();
  return written ? 0 : 1;
}

}  // namespace

int run_anonymize(int argc, char** argv) { return rewrite(parse(argc, argv, true), true); }
int run_deanonymize(int argc, char** argv) { return rewrite(parse(argc, argv, false), false); }

}  // namespace tesk_privacy::cli
