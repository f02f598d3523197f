// Embeds models/ner_model.bin into the library's read-only data. The build
// defines TESK_NER_MODEL_FILE as the file's absolute path.
#include "ner/builtin_model.h"

#ifdef TESK_NER_MODEL_FILE

asm(".pushsection .rodata.tesk_ner_model, \"a\", @progbits\n"
    ".balign 64\n"
    ".globl tesk_ner_model_begin\n"
    ".hidden tesk_ner_model_begin\n"
    "tesk_ner_model_begin:\n"
    ".incbin \"" TESK_NER_MODEL_FILE "\"\n"
    ".globl tesk_ner_model_end\n"
    ".hidden tesk_ner_model_end\n"
    "tesk_ner_model_end:\n"
    ".popsection\n");

extern "C" __attribute__((visibility("hidden"))) const char tesk_ner_model_begin[];
extern "C" __attribute__((visibility("hidden"))) const char tesk_ner_model_end[];

namespace tesk_privacy::ner {

std::string_view builtin_model_bytes() {
  return std::string_view(tesk_ner_model_begin, static_cast<size_t>(tesk_ner_model_end - tesk_ner_model_begin));
}

}  // namespace tesk_privacy::ner

#else

namespace tesk_privacy::ner {

std::string_view builtin_model_bytes() { return {}; }

}  // namespace tesk_privacy::ner

#endif
