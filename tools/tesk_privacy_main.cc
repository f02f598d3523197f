// tesk-privacy: command-line front end of the library.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "tesk_privacy/version.h"

#ifdef TESK_WITH_JEMALLOC
// One arena for every thread: what a worker frees is reused by the stage
// that follows on another thread, so a long document's peak is not held
// twice (a 10 MB JSON line: 400 MB with jemalloc's arena per core, under
// 300 MB with one; throughput at the worker counts the tool uses did not
// change). Dirty pages go back to the system after a second, not ten.
extern "C" {
const char* malloc_conf = "narenas:1,dirty_decay_ms:1000";
}
#endif

namespace {

using tesk_privacy::cli::UsageError;

constexpr const char* kDescription =
    "Finds personally identifiable information in Indonesian and English text and replaces it reversibly. Each FILE "
    "is one document (or, with --jsonl or --csv, a file of records); with no FILE, or \"-\", standard input is "
    "read. 'tesk-privacy COMMAND --help' lists a command's options.";

constexpr const char* kFooter =
    "Exit status: 0 on success, 2 on a usage error, 1 on any other error, with a one-line message on standard error. "
    "anonymize fails when detection could not complete on a document; the documents before it have been written, "
    "each after the mapping that undoes it was saved. Once a request to a remote recognizer has failed, anonymize "
    "writes no further document and fails; analyze fails at the end, having written the results it found.";

// A bash completion script for the commands and options of `app`.
std::string bash_completion(const CLI::App& app) {
  std::string commands, cases;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    commands += sub->get_name() + " ";
    std::string words;
    for (const CLI::Option* option : sub->get_options()) {
      for (const std::string& name : option->get_lnames()) words += "--" + name + " ";
      for (const std::string& name : option->get_snames()) words += "-" + name + " ";
    }
    cases += "    " + sub->get_name() + ") words=\"" + words + "\" ;;\n";
  }
  return "# bash completion for tesk-privacy\n"
         "_tesk_privacy() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} words\n"
         "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
         "    COMPREPLY=($(compgen -W \"" + commands + "--help --version\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  case ${COMP_WORDS[1]} in\n" + cases +
         "    *) words=\"\" ;;\n"
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -o filenames -F _tesk_privacy tesk-privacy\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tesk_privacy::cli;
  CLI::App app(kDescription, "tesk-privacy");
  format_help(app);
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("tesk-privacy ") + tesk_privacy::kVersion, "show the version");
  app.set_help_flag("-h,--help", "show this help");
  app.set_help_all_flag("--help-all", "show the help of every command");
  app.require_subcommand(1, 1);
  app.fallthrough(false);

  std::vector<std::pair<CLI::App*, Runner>> commands;
  auto add = [&](Runner runner) {
    CLI::App* sub = app.get_subcommands([](const CLI::App*) { return true; }).back();
    format_help(*sub);
    sub->set_help_all_flag();
    sub->group("Commands");
    commands.emplace_back(sub, std::move(runner));
  };
  add(add_analyze(app));
  add(add_anonymize(app));
  add(add_deanonymize(app));
  add(add_serve(app));
  CLI::App* list = app.add_subcommand(
      "list-entities", "print the entity types that can be detected with the given options, one a line, sorted "
                       "(what -e accepts)");
  format_help(*list);
  CommonOptions list_options;
  add_detection_options(*list, list_options);
  list->set_help_all_flag();
  list->group("Commands");
  CLI::App* completion = app.add_subcommand("completion", "print a bash completion script for tesk-privacy");
  format_help(*completion);
  completion->set_help_all_flag();
  completion->group("Commands");
  CLI::App* help = app.add_subcommand("help", "show this help");
  help->group("");  // not listed

  std::string command;
  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
      std::cout << app.help();
      return 0;
    } catch (const CLI::CallForAllHelp&) {
      std::cout << app.help("", CLI::AppFormatMode::All);
      return 0;
    } catch (const CLI::CallForVersion&) {
      std::cout << app.version() << "\n";
      return 0;
    } catch (const CLI::ParseError& e) {
      const auto parsed = app.get_subcommands();
      if (!parsed.empty()) command = parsed.front()->get_name();
      throw UsageError(e.what());
    }
    command = app.get_subcommands().front()->get_name();
    if (help->parsed()) {
      std::cout << app.help();
      return 0;
    }
    if (list->parsed()) {
      finish_options(list_options);
      for (const std::string& type : known_entity_types(*make_analyzer(list_options))) std::cout << type << "\n";
      return 0;
    }
    if (completion->parsed()) {
      std::cout << bash_completion(app);
      return 0;
    }
    for (auto& [sub, run] : commands) {
      if (sub->parsed()) return run();
    }
    throw UsageError("no command given");
  } catch (const UsageError& e) {
    if (command.empty() && !app.get_subcommands().empty()) command = app.get_subcommands().front()->get_name();
    std::cerr << "tesk-privacy: " << e.what() << "\nTry 'tesk-privacy " << (command.empty() ? "" : command + " ")
              << "--help'.\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "tesk-privacy: error: " << e.what() << "\n";
    return 1;
  }
}
