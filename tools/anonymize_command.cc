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
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
#include "tesk_privacy/pii_detector/store/mapping_store.h"
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
};

// An unnamed temporary file that holds the output until the run succeeded.
class Spool {
 public:
  // In TMPDIR (else /tmp), unlinked at once: nothing is left behind, even
  // after a crash.
  Spool() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tesk-privacy-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
      throw std::runtime_error("cannot create a temporary file in " + path.substr(0, path.rfind('/')) + ": " +
                               std::strerror(errno));
    }
    ::unlink(path.c_str());
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
      ::close(fd);
      throw std::runtime_error(std::string("cannot create a temporary file: ") + std::strerror(errno));
    }
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
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
      throw std::runtime_error(std::string("cannot read back the temporary file: ") + std::strerror(errno));
    }
    std::vector<char> buffer(1 << 16);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file_)) > 0;) {
      out.write(buffer.data(), static_cast<std::streamsize>(n));
    }
    return !std::ferror(file_) && out.flush();
  }

 private:
  std::FILE* file_ = nullptr;
};

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

int rewrite(const RewriteOptions& o, bool anonymizing) {
  std::unique_ptr<pii_detector::MappingStore> store = open_store(o);
  // What the shared store holds, as far as this run knows.
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
  // A file is held under its lock for the whole run and written once at the
  // end; a Redis store takes each document's entries as soon as they exist.
  const bool commit_each = store && !store->exclusive();
  pii_detector::MappingDataType pending;

  Spool output;
  Progress progress(o.common.progress);
  for_each_document(o.common, [&](const Document& doc) {
    std::string text;
    try {
      if (!anonymizing) {
        if (commit_each) {
          const pii_detector::MappingDataType others = store->refresh();
          if (!others.empty()) {
            pii_detector::append_entries(shared, others);
            anonymizer.set_deanonymizer_mapping(shared);
          }
        }
        text = anonymizer.deanonymize(doc.text);
      } else {
        pii_detector::AnonymizeOptions a;
        a.language = doc.language.value_or(o.common.language);
        for (int attempt = 0;; ++attempt) {
          if (commit_each) {
            const pii_detector::MappingDataType others = store->refresh();
            if (!others.empty() || attempt > 0) {
              pii_detector::append_entries(shared, others);
              anonymizer.set_deanonymizer_mapping(shared);
            }
          }
          const pii_detector::EntryCounts before = pii_detector::entry_counts(anonymizer.store().mapping);
          text = anonymizer.anonymize(doc.text, a);
          const pii_detector::MappingDataType added = pii_detector::entries_beyond(anonymizer.store().mapping, before);
          if (!commit_each) {
            pii_detector::append_entries(pending, added);
            break;
          }
          if (store->commit(added)) {
            pii_detector::append_entries(shared, added);
            break;
          }
          // Another process wrote first: redo the document on its entries.
          if (attempt == 1000) throw std::runtime_error(store->describe() + " stayed too busy to take the entries");
        }
      }
    } catch (const pii_detector::MappingStoreError&) {
      throw;
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
  if (anonymizing && store && !commit_each) store->commit(pending);
  if (!output.copy_to(std::cout)) check_output(std::cout);
  progress.done();
  return 0;
}

}  // namespace

int run_anonymize(int argc, char** argv) { return rewrite(parse(argc, argv, true), true); }
int run_deanonymize(int argc, char** argv) { return rewrite(parse(argc, argv, false), false); }

}  // namespace tesk_privacy::cli
