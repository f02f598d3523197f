#include "recognition/stop_words.h"

#include <stdexcept>
#include <string>

namespace tesk_privacy::recognition {
namespace {

constexpr std::string_view kEnglish[] = {
    // articles, conjunctions
    "a", "an", "the", "and", "or", "but", "nor", "if", "then", "else", "than", "so", "as", "because",
    "since", "until", "while", "although", "though", "whether", "yet",
    // prepositions
    "of", "to", "in", "on", "at", "by", "for", "with", "from", "into", "onto", "upon", "about", "above",
    "below", "over", "under", "between", "among", "through", "during", "before", "after", "against",
    "without", "within", "via", "up", "down", "out", "off",
    // auxiliaries and their clitics
    "is", "am", "are", "was", "were", "be", "been", "being", "do", "does", "did", "doing", "have",
    "has", "had", "having", "will", "would", "shall", "should", "can", "could", "may", "might", "must",
    "ought", "'s", "'re", "'m", "'ve", "'ll", "'d", "n't", "ca", "wo", "not",
    // pronouns and determiners
    "i", "me", "my", "mine", "myself", "you", "your", "yours", "yourself", "yourselves", "he", "him",
    "his", "himself", "she", "her", "hers", "herself", "it", "its", "itself", "we", "us", "our", "ours",
    "ourselves", "they", "them", "their", "theirs", "themselves", "this", "that", "these", "those",
    "what", "which", "who", "whom", "whose", "when", "where", "why", "how", "here", "there", "some",
    "any", "all", "both", "each", "either", "neither", "every", "other", "another", "such", "same",
    "own",
    // adverbs
    "also", "just", "very", "too", "only", "more", "most", "much", "many", "again", "once", "now",
    "still", "even", "ever", "never", "always", "often", "already", "please",
};

constexpr std::string_view kIndonesian[] = {
    // conjunctions
    "dan", "atau", "tetapi", "tapi", "namun", "serta", "maupun", "sedangkan", "sehingga", "karena",
    "sebab", "jika", "kalau", "apabila", "bila", "jikalau", "agar", "supaya", "bahwa", "meskipun",
    "walaupun", "meski", "walau", "sambil", "sementara", "ketika", "setelah", "sebelum", "sesudah",
    "selama", "sejak", "hingga", "sampai", "lalu", "kemudian", "maka", "jadi", "yaitu", "yakni",
    "bahkan", "adapun", "sedang",
    // prepositions
    "di", "ke", "dari", "pada", "dalam", "dengan", "untuk", "bagi", "kepada", "terhadap", "tentang",
    "oleh", "antara", "tanpa", "melalui", "atas", "daripada",
    // pronouns, demonstratives, question words
    "saya", "aku", "kami", "kita", "anda", "kamu", "engkau", "dia", "ia", "beliau", "mereka", "ini",
    "itu", "sini", "situ", "sana", "begitu", "begini", "apa", "siapa", "mana", "kapan", "mengapa",
    "kenapa", "bagaimana", "berapa", "tersebut",
    // copulas, auxiliaries, modal words
    "adalah", "ialah", "merupakan", "ada", "akan", "sudah", "telah", "belum", "masih", "sedang",
    "bisa", "dapat", "harus", "boleh", "mau", "ingin", "perlu", "mungkin", "tidak", "tak", "bukan",
    // particles, quantifiers, adverbs
    "yang", "juga", "saja", "pun", "lah", "kah", "nya", "ku", "mu", "pula", "lagi", "hanya", "sangat",
    "lebih", "paling", "secara", "seperti", "semua", "setiap", "tiap", "beberapa", "para", "sang",
    "si", "dong", "kok", "sih", "deh", "ya", "yah", "nah",
};

}  // namespace

StopWords::StopWords(std::string_view language) {
  if (language != "en" && language != "id") {
    throw std::invalid_argument("no stop-word list for language '" + std::string(language) +
                                "'; known: en, id");
  }
  words_.insert(std::begin(kEnglish), std::end(kEnglish));
  if (language == "id") words_.insert(std::begin(kIndonesian), std::end(kIndonesian));
}

}  // namespace tesk_privacy::recognition
