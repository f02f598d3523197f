#include "recognition/english_lemmatizer.h"

namespace tesk_privacy::recognition {
namespace {

// Each line: the lemma, then its irregular forms.
constexpr std::string_view kIrregular[] = {
    // verbs
    "be am is are was were been being 're 'm", "have has had having 've", "do does did done doing",
    "go goes went gone going", "say says said", "make made", "get got gotten", "take took taken",
    "come came", "see saw seen", "know knew known", "give gave given", "find found", "think thought",
    "tell told", "become became", "leave left", "feel felt", "bring brought", "begin began begun",
    "keep kept", "hold held", "write wrote written", "stand stood", "hear heard", "mean meant",
    "meet met", "run ran", "pay paid", "sit sat", "speak spoke spoken", "lead led", "grow grew grown",
    "lose lost", "fall fell fallen", "send sent", "build built", "understand understood",
    "draw drew drawn", "break broke broken", "spend spent", "rise rose risen", "drive drove driven",
    "buy bought", "wear wore worn", "choose chose chosen", "seek sought", "throw threw thrown",
    "catch caught", "deal dealt", "win won", "forget forgot forgotten", "eat ate eaten",
    "teach taught", "sell sold", "fight fought", "fly flew flown flies", "hide hid hidden",
    "sing sang sung", "swim swam swum", "ride rode ridden", "shake shook shaken", "steal stole stolen",
    "wake woke woken", "bear bore borne", "tear tore torn", "freeze froze frozen", "sleep slept",
    "feed fed", "flee fled", "light lit", "lay laid", "lie lain lying", "die died dying",
    "tie tied tying", "vie vying", "hang hung", "strike struck", "stick stuck", "dig dug",
    "shoot shot", "bite bit bitten", "blow blew blown", "lend lent", "bend bent",
    "withdraw withdrew withdrawn", "forgive forgave forgiven", "arise arose arisen",
    "undertake undertook undertaken", "overcome overcame", "mistake mistook mistaken",
    "use used", "owe owed", "create created creating", "age aged", "add added adding", "focus focused focusing focuses",
    "travel travelled travelling", "cancel cancelled cancelling", "label labelled labelling",
    "model modelled modelling", "will 'll wo", "would 'd", "can ca", "not n't",
    // adjectives
    "good better best", "bad worse worst", "far further furthest farther farthest",
    "big bigger biggest", "large larger largest", "small smaller smallest", "high higher highest",
    "low lower lowest", "old older oldest", "new newer newest", "long longer longest",
    "short shorter shortest", "great greater greatest", "young younger youngest",
    "early earlier earliest", "late later latest", "easy easier easiest", "fast faster fastest",
    "slow slower slowest", "strong stronger strongest", "cheap cheaper cheapest",
    "rich richer richest", "poor poorer poorest", "close closer closest", "near nearer nearest",
    "wide wider widest", "deep deeper deepest", "hard harder hardest", "simple simpler simplest",
    "happy happier happiest", "heavy heavier heaviest", "light lighter lightest", "safe safer safest",
    "clear clearer clearest", "few fewer fewest", "hot hotter hottest", "cold colder coldest",
    "warm warmer warmest", "thin thinner thinnest", "thick thicker thickest", "busy busier busiest",
    "smart smarter smartest",
    // nouns
    "man men", "woman women", "child children", "foot feet", "tooth teeth", "goose geese",
    "mouse mice", "ox oxen", "criterion criteria", "phenomenon phenomena", "analysis analyses",
    "crisis crises", "thesis theses", "diagnosis diagnoses", "hypothesis hypotheses",
    "index indices", "appendix appendices", "matrix matrices", "vertex vertices", "life lives",
    "wife wives", "knife knives", "leaf leaves", "half halves", "self selves", "wolf wolves",
    "shelf shelves", "loaf loaves", "thief thieves", "calf calves", "scarf scarves", "elf elves",
    "alumnus alumni", "cactus cacti", "fungus fungi", "stimulus stimuli", "syllabus syllabi",
    "quiz quizzes", "bus buses", "status statuses", "bonus bonuses", "virus viruses",
    "campus campuses", "census censuses", "movie movies", "cookie cookies", "zombie zombies",
    "calorie calories", "rookie rookies", "selfie selfies", "brownie brownies", "cache caches",
    "ache aches", "headache headaches", "niche niches", "canoe canoes",
};

// Words that look inflected but are base forms.
constexpr std::string_view kUnchanged[] = {
    "as", "is", "was", "has", "his", "its", "this", "thus", "us", "yes", "plus", "minus", "bus", "gas",
    "news", "series", "species", "always", "perhaps", "whereas", "afterwards", "towards", "besides",
    "sometimes", "nowadays", "overseas", "lens", "atlas", "canvas", "alias", "bias", "chaos", "corps",
    "means", "christmas", "diabetes", "herpes", "measles", "mumps", "rabies", "scissors", "trousers",
    "clothes", "kudos", "ethos", "cosmos", "pathos", "physics", "mathematics", "economics", "politics",
    "ethics", "logistics", "electronics", "statistics", "analytics", "genetics", "linguistics",
    "athletics", "gymnastics", "aerobics", "acoustics", "aesthetics", "dynamics", "during", "nothing",
    "something", "anything", "everything", "thing", "king", "ring", "spring", "string", "bring",
    "sing", "wing", "sting", "swing", "morning", "evening", "ceiling", "building", "meeting",
    "wedding", "feeling", "setting", "billing", "shipping", "pricing", "funding", "housing", "parking",
    "banking", "marketing", "accounting", "training", "clothing", "offering", "painting", "drawing",
    "opening", "ending", "beginning", "warning", "booking", "hearing", "landing", "listing", "rating",
    "ranking", "heading", "holding", "filing", "interesting", "amazing", "outstanding", "pending",
    "willing", "sibling", "pudding", "lightning", "herring", "viking", "spelling", "need", "feed",
    "seed", "speed", "deed", "weed", "bleed", "breed", "greed", "heed", "proceed", "succeed", "exceed",
    "indeed", "steed", "reed", "creed", "tweed", "bed", "red", "shed", "wed", "sled", "shred",
    "hundred", "sacred", "naked", "wicked", "kindred", "rugged", "ragged", "beloved", "hatred",
    "crooked", "wretched", "infrared", "embed", "seabed", "priest",
};

bool ends_with(std::string_view w, std::string_view suffix) {
  return w.size() >= suffix.size() && w.compare(w.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool is_consonant(std::string_view w, size_t i) {
  switch (w[i]) {
    case 'a': case 'e': case 'i': case 'o': case 'u':
      return false;
    case 'y':
      return i == 0 || !is_consonant(w, i - 1);
    default:
      return true;
  }
}

bool has_vowel(std::string_view w) {
  for (size_t i = 0; i < w.size(); ++i) {
    if (!is_consonant(w, i)) return true;
  }
  return false;
}

// The number of vowel-consonant sequences in a stem ("tak" 1, "visit" 2).
int measure(std::string_view w) {
  int m = 0;
  size_t i = 0;
  const size_t n = w.size();
  while (i < n && is_consonant(w, i)) ++i;
  while (i < n) {
    while (i < n && !is_consonant(w, i)) ++i;
    if (i >= n) break;
    while (i < n && is_consonant(w, i)) ++i;
    ++m;
  }
  return m;
}

// Consonant, vowel, consonant at the end, the last not w, x or y ("hop").
bool ends_cvc(std::string_view w) {
  const size_t n = w.size();
  return n >= 3 && is_consonant(w, n - 3) && !is_consonant(w, n - 2) && is_consonant(w, n - 1) &&
         w[n - 1] != 'w' && w[n - 1] != 'x' && w[n - 1] != 'y';
}

bool ends_double_consonant(std::string_view w) {
  const size_t n = w.size();
  return n >= 2 && w[n - 1] == w[n - 2] && is_consonant(w, n - 1);
}

// Whether the stem left by removing "-ing" or "-ed" lost a final "e".
bool needs_e(std::string_view stem) {
  const size_t n = stem.size();
  const char last = stem[n - 1];
  if (last == 'v' || last == 'c' || (last == 'z' && (n < 2 || stem[n - 2] != 'z'))) return true;  // giv, danc, siz
  if (ends_with(stem, "rg") || ends_with(stem, "dg") || ends_with(stem, "uir")) return true;     // charg, judg, requir
  if (n >= 5 && (ends_with(stem, "ang") || ends_with(stem, "eng"))) return true;                // chang, challeng
  if (n >= 3 && is_consonant(stem, n - 3) &&
      (ends_with(stem, "ur") || ends_with(stem, "ir") || ends_with(stem, "ar") || ends_with(stem, "at") ||
       ends_with(stem, "ut"))) {
    return true;  // secur, declar, creat, comput
  }
  if (n >= 2 && last == 's' && !is_consonant(stem, n - 2)) return true;  // us, clos, purchas
  return measure(stem) == 1 && ends_cvc(stem);                            // mak, hop, writ
}

// The stem of a verb form once "-ing" or "-ed" is gone.
std::string verb_stem(std::string_view stem) {
  if (ends_double_consonant(stem)) {
    const char last = stem.back();
    if (last != 'l' && last != 's' && last != 'z') return std::string(stem.substr(0, stem.size() - 1));
    return std::string(stem);
  }
  if (needs_e(stem)) return std::string(stem) + "e";
  return std::string(stem);
}

bool is_ascii_lower_word(std::string_view w) {
  for (char c : w) {
    if (c < 'a' || c > 'z') return false;
  }
  return !w.empty();
}

}  // namespace

EnglishLemmatizer::EnglishLemmatizer() {
  for (std::string_view line : kIrregular) {
    const size_t lemma_end = line.find(' ');
    const std::string_view lemma = line.substr(0, lemma_end);
    for (size_t pos = lemma_end; pos != std::string_view::npos;) {
      const size_t start = pos + 1;
      pos = line.find(' ', start);
      exceptions_.emplace(line.substr(start, pos == std::string_view::npos ? pos : pos - start), lemma);
    }
  }
  unchanged_.insert(std::begin(kUnchanged), std::end(kUnchanged));
}

std::string EnglishLemmatizer::lemmatize(std::string_view word) const {
  if (auto it = exceptions_.find(word); it != exceptions_.end()) return std::string(it->second);
  if (word.find("\xE2\x80\x99") != std::string_view::npos) {
    // Typographic apostrophe in a clitic ("n’t", "’s").
    std::string plain;
    for (size_t i = 0; i < word.size(); ++i) {
      if (word.compare(i, 3, "\xE2\x80\x99") == 0) {
        plain += '\'';
        i += 2;
      } else {
        plain += word[i];
      }
    }
    if (auto it = exceptions_.find(plain); it != exceptions_.end()) return std::string(it->second);
    return std::string(word);
  }
  const size_t hyphen = word.rfind('-');
  if (hyphen != std::string_view::npos && hyphen + 1 < word.size()) {
    return std::string(word.substr(0, hyphen + 1)) + lemmatize_simple(word.substr(hyphen + 1));
  }
  return lemmatize_simple(word);
}

std::string EnglishLemmatizer::lemmatize_simple(std::string_view w) const {
  if (!is_ascii_lower_word(w) || w.size() <= 3 || unchanged_.contains(w)) return std::string(w);
  if (auto it = exceptions_.find(w); it != exceptions_.end()) return std::string(it->second);
  const size_t n = w.size();

  if (ends_with(w, "s")) {
    if (ends_with(w, "ss") || ends_with(w, "us") || ends_with(w, "is")) return std::string(w);
    if (ends_with(w, "ies") && n > 4) return std::string(w.substr(0, n - 3)) + "y";
    if (ends_with(w, "sses") || ends_with(w, "xes") || ends_with(w, "ches") || ends_with(w, "shes") ||
        ends_with(w, "zzes") || (ends_with(w, "oes") && n > 5)) {
      return std::string(w.substr(0, n - 2));
    }
    const std::string_view stem = w.substr(0, n - 1);
    return std::string(has_vowel(stem) ? stem : w);
  }
  if (ends_with(w, "iest") && n > 5) return std::string(w.substr(0, n - 4)) + "y";
  if (ends_with(w, "ing") && n >= 5) {
    const std::string_view stem = w.substr(0, n - 3);
    if (!has_vowel(stem)) return std::string(w);
    return verb_stem(stem);
  }
  if (ends_with(w, "ed") && n >= 5) {
    if (ends_with(w, "ied")) return std::string(w.substr(0, n - 3)) + "y";
    if (ends_with(w, "eed")) return std::string(w.substr(0, n - 1));
    const std::string_view stem = w.substr(0, n - 2);
    if (!has_vowel(stem)) return std::string(w);
    return verb_stem(stem);
  }
  return std::string(w);
}

}  // namespace tesk_privacy::recognition
