// tesk-privacy: command-line front end of the library.
#include <iostream>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/pii_detector/format_entities.h"
#include "tesk_privacy/version.h"

namespace {

constexpr const char* kUsage = R"(Usage: tesk-privacy <command> [options] [FILE...]

Finds personally identifiable information in Indonesian and English text and
replaces it reversibly. Each FILE is one document; with no FILE, or "-",
standard input is read.

Commands:
  analyze       report the PII found: one JSON line {"results": [...]} per
                document, each result with entity_type, start, end (code-point
                offsets), score and text
  anonymize     write the documents with PII replaced by placeholders such as
                <PERSON_1>, or by fake values with --fake
  deanonymize   put the originals back, from the mapping file
  serve         run an HTTP service (JSON) with sessions: POST /v1/analyze,
                /v1/anonymize, /v1/deanonymize, /v1/deanonymize/stream,
                DELETE /v1/sessions/ID, GET /healthz, /metrics, /openapi.json
                and a web page at /
  list-entities print the entity types that can be detected, one a line:
                the built-in types, then those of the Indonesian formats

Options of every command:
      --jsonl             each input line is a JSON object {"text": ...,
                          "language"?: ...}; each output line answers the input
                          line of the same number (a blank line is a document
                          with empty text)
  -l, --language LANG     language of the text: id (default) or en
      --ner-api-url URL   also ask the remote NER service at URL
      --remote-timeout S  end each request to --ner-api-url after S seconds,
                          connecting, sending and receiving (default 60; the
                          Prosa API's requests end after 100)
      --prosa-url URL     also ask the Prosa NER API at URL; the API key is read
                          from the environment variable PROSA_API_KEY
      --no-indonesian-formats
                          run the built-in recognizer set only, without the
                          recognizers for Indonesian formats (identity, account,
                          card and phone numbers in groups, written-out e-mail
                          addresses, dates, vehicle plates, street addresses,
                          amounts with scale words) and the rules that keep
                          every identifier whole
      --allow LIST        comma-separated texts never reported or replaced
      --allow-file FILE   the same, one text a line
      --deny TYPE:WORDS   comma-separated words always reported as TYPE
      --pattern TYPE:REGEX[:SCORE]
                          also report what REGEX (Python's re dialect) matches
                          as TYPE (score 0.85 unless given)
      --fields LIST       with --jsonl: the text fields of a record (default:
                          text); every other field is written back as it came
  -r, --recursive DIR     every file below DIR is a document (or, with --jsonl,
                          a file of them); needs -o
  -o, --output-dir OUT    write each file's output to the file of the same
                          relative path below OUT instead of standard output
                          (each appears whole once done; an input file
                          without documents gives an empty one)
  -j, --jobs N            detect on N threads at once (default: the number of
                          cores); output, placeholders and fake values are the
                          same whatever N
      --progress          report progress on standard error
      --allow-remote-failures
                          succeed even when requests to --ner-api-url or
                          --prosa-url failed (their count is still reported)

analyze:
  -e, --entities LIST     comma-separated entity types to report (default: all)
  -t, --threshold SCORE   lowest score reported, 0..1 (default 0.46)
      --context LIST      comma-separated context words that support detections
      --explain           add each result's recognizer and explanation, and
                          list under "removed" the spans the length filter
                          dropped (anonymize replaces them all the same)
      --transformer-model PATH_OR_ID
                          also run a transformer NER model: a model folder or a
                          model-hub identifier found in the local hub cache
                          (never downloaded)
      --tokenization-level LEVEL
                          with --transformer-model: subword (default) or word

anonymize:
      --mapping STORE     the mapping runs share: a FILE (locked while the run
                          uses it, so concurrent runs take turns, and replaced
                          atomically), or redis://[:PASSWORD@]HOST:PORT/NAME or
                          redis+unix:///PATH/NAME (entries are added atomically
                          on the server, so any number of runs on any number of
                          machines get consistent placeholders)
      --mapping-key-file KEYFILE
                          encrypt the mapping file with AES-256-GCM under the
                          key in KEYFILE (64 hexadecimal digits or 32 bytes);
                          the key may instead be in TESK_PRIVACY_MAPPING_KEY
      --mapping-ttl SECONDS
                          with Redis: the mapping's keys expire SECONDS after
                          the last write
      --fake              replace with realistic fake values
      --seed N            seed of the fake values (default 42)
      --locale L          locale of the fake values: en_US or id_ID (default:
                          id_ID for Indonesian text, en_US for English); a fake
                          value never stands for two originals
      --max-chars N       refuse a document (with --jsonl, a line) longer than
                          N characters; reading stops at the limit
      --operator TYPE:NAME[,KEY=VALUE...]
                          replace TYPE (or DEFAULT: every type without one) by
                          an operator instead of a placeholder: replace
                          (new_value=), redact, mask (masking_char=,
                          chars_to_mask=, from_end=true), hash (hash_type=
                          sha256|sha512|md5) or keep; redacted and kept spans
                          are not recorded in the mapping
      --keep-going        when a recognizer fails on a document (for instance a
                          pattern over its backtracking bound), log it and
                          anonymize from the other recognizers instead of
                          failing the run

deanonymize:
      --mapping STORE     the mapping written by anonymize (required), with
                          --mapping-key-file when it is encrypted

serve:
      --host HOST         address to listen on (default 127.0.0.1)
      --port PORT         port (default 8080)
      --mapping-store S   where sessions keep their mappings: memory (default)
                          or redis://HOST:PORT/PREFIX, which processes share
      --api-key-file FILE every endpoint but /healthz and / needs
                          "Authorization: Bearer KEY" with the key in FILE
      --threads N         connections served at once (default 64)
      --session-ttl S     a session ends S seconds after its last use
                          (default 3600)
      --max-sessions N    sessions alive at once (default 10000)
      --max-body BYTES    largest request body (default 10485760)
                          SIGTERM or SIGINT stops the service gracefully.

  -h, --help              show this help
      --version           show the version

Exit status: 0 on success, 2 on a usage error, 1 on any other error, with a
one-line message on standard error. anonymize fails when detection could not
complete on a document; the documents before it have been written, each
after the mapping that undoes it was saved. Once a request to a remote
recognizer has failed, anonymize writes no further document and fails;
analyze fails at the end, having written the results it found.
)";

}  // namespace

int main(int argc, char** argv) {
  using namespace tesk_privacy::cli;
  try {
    if (argc < 2) throw UsageError("no command given");
    const std::string command = argv[1];
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if (a == "-h" || a == "--help" || (i == 1 && a == "help")) {
        std::cout << kUsage;
        return 0;
      }
    }
    if (command == "--version") {
      std::cout << "tesk-privacy " << tesk_privacy::kVersion << "\n";
      return 0;
    }
    if (command == "analyze") return run_analyze(argc, argv);
    if (command == "anonymize") return run_anonymize(argc, argv);
    if (command == "deanonymize") return run_deanonymize(argc, argv);
    if (command == "serve") return run_serve(argc, argv);
    if (command == "list-entities") {
      for (const auto& member : tesk_privacy::pii_detector::ENTITY_MEMBERS) std::cout << member.value << "\n";
      for (const char* type : tesk_privacy::pii_detector::FORMAT_ENTITIES) std::cout << type << "\n";
      return 0;
    }
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& e) {
    std::cerr << "tesk-privacy: " << e.what() << "\nTry 'tesk-privacy --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "tesk-privacy: error: " << e.what() << "\n";
    return 1;
  }
}
