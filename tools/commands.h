// The tesk-privacy commands. Each adds itself to the tool's parser as a
// subcommand with its options, and returns what runs it once the command
// line was parsed; that returns the process exit status.
#pragma once

#include <functional>

namespace CLI {
class App;
}  // namespace CLI

namespace tesk_privacy::cli {

using Runner = std::function<int()>;

Runner add_analyze(CLI::App& app);
Runner add_anonymize(CLI::App& app);
Runner add_deanonymize(CLI::App& app);
Runner add_serve(CLI::App& app);

}  // namespace tesk_privacy::cli
