#include "tesk_privacy/recognition/simple_nlp_engine.h"

#include "tesk_privacy/text/case_mapping.h"

namespace tesk_privacy::recognition {
namespace {

// Function words of English and Indonesian that never serve as context.
constexpr const char* kStopWords[] = {
    // English
    "a", "an", "the", "and", "or", "but", "of", "to", "in", "on", "at", "by", "for", "with",
    "from", "as", "is", "are", "was", "were", "be", "been", "being", "am", "it", "its", "this",
    "that", "these", "those", "i", "me", "my", "you", "your", "he", "him", "his", "she", "her",
    "we", "our", "they", "their", "them", "do", "does", "did", "have", "has", "had", "not", "no",
    "so", "if", "then", "than", "there", "here", "what", "which", "who", "whom", "will", "would",
    "can", "could", "should", "shall", "may", "might", "must", "into", "about", "over", "under",
    // Indonesian
    "yang", "dan", "di", "ke", "dari", "ini", "itu", "dengan", "untuk", "pada", "adalah", "atau",
    "dalam", "tidak", "akan", "juga", "saya", "aku", "kami", "kita", "anda", "kamu", "dia", "ia",
    "mereka", "sudah", "telah", "belum", "oleh", "karena", "tetapi", "tapi", "jika", "kalau",
    "sebagai", "bahwa", "ada", "para", "pun", "lah", "kah", "nya", "saja", "masih", "sangat",
    "bisa", "dapat", "harus", "agar", "supaya", "secara", "seperti", "hingga", "sampai", "serta",
};

}  // namespace

SimpleNlpEngine::SimpleNlpEngine() : token_pattern_(R"((\w+)|[^\w\s])", 0) {
  for (const char* w : kStopWords) stop_words_.insert(w);
}

NlpArtifacts SimpleNlpEngine::process_text(const Utf8Text& text, const std::string& /*language*/) const {
  NlpArtifacts a;
  a.nlp_engine_name = "simple";
  for (const regex::Match& m : token_pattern_.find_all(text)) {
    std::string token(text.view().substr(m.byte_start, m.byte_end - m.byte_start));
    std::string lemma = to_lower(token);
    const bool word = m.groups[0].start >= 0;
    if (word && !stop_words_.contains(lemma)) a.keywords.push_back(lemma);
    a.tokens.push_back(std::move(token));
    a.tokens_indices.push_back(m.start);
    a.lemmas.push_back(std::move(lemma));
  }
  return a;
}

}  // namespace tesk_privacy::recognition
