// The tesk-privacy commands; each returns the process exit status.
#pragma once

namespace tesk_privacy::cli {

int run_analyze(int argc, char** argv);
int run_anonymize(int argc, char** argv);
int run_deanonymize(int argc, char** argv);
int run_serve(int argc, char** argv);

}  // namespace tesk_privacy::cli
