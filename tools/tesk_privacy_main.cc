// tesk-privacy: command-line front end of the library.
//
//   tesk-privacy analyze [options] [FILE]   report the PII found in FILE (or stdin)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/recognizer/bpjs_number_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/family_card_number_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/prosa_remote_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/ktp_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/npwp_recognizer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

namespace {

using namespace tesk_privacy;

constexpr const char* kUsage = R"(Usage: tesk-privacy <command> [options] [FILE]

Commands:
  analyze     Report the personally identifiable information found in FILE
              (standard input when FILE is "-" or absent), one JSON object per
              line: entity_type, start, end (code-point offsets), score, text.

Options for analyze:
  -l, --language LANG     language of the text: id (default) or en
  -e, --entities LIST     comma-separated entity types to report (default: all)
  -t, --threshold SCORE   lowest score reported, 0..1 (default 0.46)
      --ner-api-url URL   also ask the remote NER service at URL
      --prosa-url URL     also ask the Prosa NER API at URL; the API key is
                          read from the environment variable PROSA_API_KEY
  -h, --help              show this help
      --version           show the version
)";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct AnalyzeArgs {
  std::string language = "id";
  std::vector<std::string> entities;
  double threshold = 0.46;
  std::string file = "-";
  std::string ner_api_url;
  std::string prosa_url;
};

std::vector<std::string> split_list(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  for (std::string item; std::getline(ss, item, ',');) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

AnalyzeArgs parse_analyze(int argc, char** argv) {
  AnalyzeArgs args;
  bool have_file = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError("option " + a + " needs a value");
      return argv[++i];
    };
    if (a == "-l" || a == "--language") {
      args.language = value();
    } else if (a == "-e" || a == "--entities") {
      args.entities = split_list(value());
    } else if (a == "-t" || a == "--threshold") {
      std::string v = value();
      char* end = nullptr;
      args.threshold = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(args.threshold >= 0.0 && args.threshold <= 1.0)) {
        throw UsageError("--threshold must be a number from 0 to 1, not '" + v + "'");
      }
    } else if (a == "--ner-api-url") {
      args.ner_api_url = value();
    } else if (a == "--prosa-url") {
      args.prosa_url = value();
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError("unknown option " + a);
    } else if (have_file) {
      throw UsageError("only one FILE may be given");
    } else {
      args.file = a;
      have_file = true;
    }
  }
  if (args.language != "id" && args.language != "en") {
    throw UsageError("--language must be 'id' or 'en', not '" + args.language + "'");
  }
  return args;
}

std::string read_input(const std::string& file) {
  if (file == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file + ": " + std::strerror(errno));
  std::string data((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw std::runtime_error("error while reading " + file);
  return data;
}

std::shared_ptr<recognition::RecognizerRegistry> build_registry(const AnalyzeArgs& args) {
  auto registry = std::make_shared<recognition::RecognizerRegistry>(
      std::vector<std::shared_ptr<recognition::EntityRecognizer>>{},
      std::vector<std::string>{"en", "id"});
  for (const char* lang : {"en", "id"}) {
    registry->add_recognizer(std::make_shared<pii_detector::BPJSNumberRecognizer>(lang));
    registry->add_recognizer(std::make_shared<pii_detector::HalvernEmployeeIdRecognizer>(lang));
    registry->add_recognizer(std::make_shared<pii_detector::FamilyCardNumberRecognizer>(lang));
    registry->add_recognizer(std::make_shared<pii_detector::KTPRecognizer>(lang));
    registry->add_recognizer(std::make_shared<pii_detector::NPWPRecognizer>(lang));
  }
  if (!args.ner_api_url.empty()) {
    registry->add_recognizer(std::make_shared<pii_detector::HalvernNerApiRemoteRecognizer>(
        args.ner_api_url, std::nullopt, std::nullopt, 60, args.language));
  }
  if (!args.prosa_url.empty()) {
    const char* key = std::getenv("PROSA_API_KEY");
    if (key == nullptr || *key == '\0') {
      throw UsageError("--prosa-url needs the API key in the environment variable PROSA_API_KEY");
    }
    registry->add_recognizer(std::make_shared<pii_detector::ProsaRemoteRecognizer>(args.prosa_url, key));
  }
  return registry;
}

int run_analyze(const AnalyzeArgs& args) {
  Utf8Text text(read_input(args.file));
  recognition::AnalyzerEngine engine(build_registry(args), nullptr, {"en", "id"});
  recognition::AnalyzeOptions options;
  options.score_threshold = args.threshold;
  if (!args.entities.empty()) options.entities = args.entities;
  for (const auto& r : engine.analyze(text, args.language, options)) {
    nlohmann::json line = {{"entity_type", r.entity_type},
                           {"start", r.start},
                           {"end", r.end},
                           {"score", r.score},
                           {"text", std::string(text.slice(r.start, r.end))}};
    std::cout << line.dump() << "\n";
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) throw UsageError("no command given");
    std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
      std::cout << kUsage;
      return 0;
    }
    if (command == "--version") {
      std::cout << "tesk-privacy 0.1.0\n";
      return 0;
    }
    if (command == "analyze") return run_analyze(parse_analyze(argc, argv));
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& e) {
    std::cerr << "tesk-privacy: " << e.what() << "\n\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "tesk-privacy: error: " << e.what() << "\n";
    return 1;
  }
}
