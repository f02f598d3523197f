// tesk-train-ner: trains the built-in named-entity model from the corpora in
// the shared data folder, and evaluates a model on their test splits.
//
//   tesk-train-ner                         train, write models/ner_model.bin
//   tesk-train-ner --evaluate              evaluate the built-in model
//   tesk-train-ner --evaluate --model F    evaluate the model file F
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "ner/corpus.h"
#include "ner/evaluation.h"
#include "ner/feature_extractor.h"
#include "ner/gazetteer.h"
#include "ner/model.h"
#include "ner/stacked_features.h"
#include "ner/tagger.h"
#include "ner/trainer.h"
#include "ner/word_clusters.h"
#include "recognition/tokenizer.h"
#include "text/case_mapping.h"

namespace {

namespace fs = std::filesystem;
using namespace tesk_privacy;

constexpr const char* kUsage = R"(Usage: tesk-train-ner [options]

Trains the named-entity model on the corpora under DATA and writes it, or
with --evaluate reports entity-level precision, recall and F1 (exact span
and type) per type and overall on each corpus's test split.

Options:
  --data DIR         the corpora (default: $TESK_SHARED_DIR/data/ner, else
                     ../shared/data/ner beside the source tree)
  --gazetteers DIR   the name lists (default: tools/train_ner/gazetteers)
  --output FILE      where to write the model (default: models/ner_model.bin)
  --epochs N         training epochs (default 12)
  --hash-bits B      log2 of the feature-table rows (default 18)
  --clusters K       word clusters learnt from the training text (default
                     256; 0: none)
  --wordnet DIR      WordNet's data files, whose definitions and examples
                     join the text the clusters are learnt from (default
                     /usr/share/wordnet, Debian wordnet-base; "": none)
  --nerp-as-is       keep NERP's labels as they are (default: its parties
                     and state bodies left unlabelled, "dpr", "pks", are
                     labelled as the listed organisations they are, in
                     training and in evaluation)
  --seed N           order in which training visits the sentences (default 2)
  --stages N         1: one tagger; 2 (default): a second tagger stacked on
                     the first, learnt from the labels the first stage gives
                     each training text when trained without it
  --folds K          with --stages 2: parts of the training data for those
                     labels (default 4)
  --stage2-bits B    with --stages 2: log2 of the second stage's rows
                     (default 17, at most --hash-bits)
  --bags N           train N times (seeds SEED, SEED+1, ...) and keep the
                     mean of the weights (default 3)
  --crf              train a CRF instead of the averaged perceptron
  --learning-rate R  CRF step size (default 0.1)
  --l2 L             CRF weight decay (default 1e-6)
  --only PREFIX      train only on corpora whose path starts with PREFIX
                     ("id/", "en/wikigold")
  --copies PREFIX=N  add each sentence of the corpora whose path starts with
                     PREFIX N times (repeatable; e.g. id/nergrit=2)
  --no-domains       no language-specific weights (train and evaluate alike)
  --no-lower-copies  do not add lower-cased copies of cased corpora
  --sentences        train on wikigold, GUM and the SEC filings a sentence at
                     a time (default: a document at a time, so that the
                     second stage learns from a name's other mentions)
  --documents        with --evaluate: tag wikigold, GUM and the SEC filings
                     a document at a time (default: a sentence at a time)
  --evaluate         evaluate instead of training
  --model FILE       with --evaluate: the model to evaluate (default: built in)
  --show-errors NAME with --evaluate: print the sentences of test split NAME
                     ("nergrit test") whose entities differ from the gold ones
  --tag TEXT         with --evaluate: print the entities found in TEXT with
                     their confidences (language "id")
  --language L       with --evaluate: tag every split as language L ("id",
                     "en"; "none": no language), as the analyzer does with
                     its one language per run (default: each split's own)
  --chat FILE        with --evaluate: report PERSON precision and recall on
                     the chat messages of FILE (one a line, persons marked
                     [[so]], "#" lines skipped; tests/ner/data/chat_messages.txt)
                     and list every false person, instead of the corpora
  --threshold T      with --evaluate: count only the entities whose
                     confidence is at least T, as the analyzer reports
                     them with its score threshold (default 0: all)
  --analyze          with --evaluate: per split, classify the errors (type
                     confusion, boundary, missed, spurious) and list the
                     commonest missed and spurious PERSON spans
  --dev              train without the development parts of wikigold
                     (documents 3, 8, 13, ...) and of GUM's news (documents
                     1, 4, 7, ...); with --evaluate, report the development
                     splits (nergrit valid, nerp valid, those parts, and
                     idner-news-2k train, unseen when trained with --copies
                     id/idner-news-2k=0) instead of the test splits
  -h, --help         this text
)";

// Corpus files, relative to the data folder. Wikigold has no split of its
// own: every fifth document (numbers 4, 9, 14, ... counting from 0) is held
// out for evaluation. Of GUM's news documents (a file each) every third
// (numbers 2, 5, 8, ...) is held out, an English newswire sample.
constexpr int kWikigoldHoldOut = 5;
constexpr int kGumHoldOut = 3;

struct Split {
  std::string name;
  std::string path;  // a file, or a folder of GUM files (a document each, IO tags)
  enum Part { kAll, kWikigoldTrain, kWikigoldTest, kWikigoldDev, kGumTrain, kGumTest, kGumDev } part = kAll;
  int copies = 1;  // times each sentence is added to the training data
};

bool is_gum(const Split& split) { return split.path.starts_with("en/gum"); }

const std::vector<Split> kTrainSplits = {
    {"nergrit train", "id/nergrit/train.txt"},
    {"nerp train", "id/nerp/train.txt"},
    {"idner-news-2k train", "id/idner-news-2k/train.txt"},
    {"wikigold train", "en/wikigold/wikigold.conll.txt", Split::kWikigoldTrain},
    {"btc", "en/btc/a.conll"},
    {"btc", "en/btc/b.conll"},
    {"btc", "en/btc/e.conll"},
    {"btc", "en/btc/f.conll"},
    {"btc", "en/btc/g.conll"},
    {"btc", "en/btc/h.conll"},
    // WNUT 2017 labels only rare, emerging entities and leaves well-known
    // ones unlabelled, which teaches the tagger to miss them: its text serves
    // the word clusters, its labels are not learnt (--copies en/wnut17=1).
    {"wnut17 train", "en/wnut17/train.conll", Split::kAll, 0},
    {"gum", "en/gum/interview"},
    {"gum", "en/gum/voyage"},
    {"gum", "en/gum/news", Split::kGumTrain},
    {"sec-filings FIN5", "en/sec-filings/FIN5.txt"},
};
const std::vector<Split> kCalibrationSplits = {
    {"nergrit valid", "id/nergrit/valid.txt"},
    {"nerp valid", "id/nerp/valid.txt"},
};
const std::vector<Split> kTestSplits = {
    {"nergrit test", "id/nergrit/test.txt"},
    {"nerp test", "id/nerp/test.txt"},
    {"idner-news-2k dev", "id/idner-news-2k/dev.txt"},
    {"wikigold held-out", "en/wikigold/wikigold.conll.txt", Split::kWikigoldTest},
    {"wnut17 test", "en/wnut17/test.conll"},
    {"gum news held-out", "en/gum/news", Split::kGumTest},
    {"sec-filings FIN3", "en/sec-filings/FIN3.txt"},
};
// For decisions while developing the model: test splits stay unseen.
const std::vector<Split> kDevSplits = {
    {"nergrit valid", "id/nergrit/valid.txt"},
    {"nerp valid", "id/nerp/valid.txt"},
    {"wikigold dev", "en/wikigold/wikigold.conll.txt", Split::kWikigoldDev},
    {"gum news dev", "en/gum/news", Split::kGumDev},
    // A corpus the model has not seen when trained with
    // --copies id/idner-news-2k=0: how well it carries over to other news.
    {"idner-news-2k train", "id/idner-news-2k/train.txt"},
};

struct Options {
  fs::path data;
  fs::path gazetteers = fs::path(TESK_SOURCE_DIR) / "tools/train_ner/gazetteers";
  fs::path output = fs::path(TESK_SOURCE_DIR) / "models/ner_model.bin";
  fs::path model;
  int epochs = 12;
  int hash_bits = 18;
  int clusters = 256;
  bool nerp_organizations = true;  // label NERP's unlabelled listed organisations
  fs::path wordnet = "/usr/share/wordnet";  // its glosses join the clusters' text; empty: none
  int stages = 2;
  int bags = 3;
  int folds = 4;
  int stage2_bits = 17;
  uint64_t seed = 2;  // the shipped model's
  bool evaluate = false;
  bool analyze = false;
  std::string tag_text;  // with --evaluate: tag this text instead of the corpora
  fs::path chat;         // with --evaluate: a file of chat messages to check instead of the corpora
  std::string language;  // with --evaluate: the language every split is tagged as (default: its own)
  bool dev = false;  // hold wikigold's development documents out / evaluate the development splits
  std::string only;         // train only on corpora whose path starts with this
  std::vector<std::pair<std::string, int>> copies;  // --copies PREFIX=N
  std::string show_errors;  // with --evaluate: print the sentences of this split with mistakes
  double threshold = 0.0;   // with --evaluate: count only entities of at least this confidence
  bool lower_copies = true;
  bool train_documents = true;  // train on wikigold, GUM and the SEC filings a document at a time
  bool documents = false;        // evaluate them a document at a time
  bool domains = true;
  ner::TrainerOptions::Algorithm algorithm = ner::TrainerOptions::Algorithm::kPerceptron;
  double learning_rate = 0.1;
  double l2 = 1e-6;
};

// Word lists that decide which of GUM's mentions are names.
struct MentionFilter {
  std::unordered_set<std::string> common;         // common_words.txt
  std::unordered_set<std::string> nationalities;  // nationalities.txt
};

std::unordered_set<std::string> read_word_list(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read word list '" + file.string() + "'");
  std::unordered_set<std::string> words;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) words.insert(ner::normalize_token(line));
  }
  return words;
}

// The byte ranges of the corpus tokens a sentence's text joins by single
// spaces.
std::vector<std::pair<size_t, size_t>> corpus_tokens(const std::string& text) {
  std::vector<std::pair<size_t, size_t>> tokens;
  for (size_t at = 0; at <= text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    tokens.emplace_back(at, end);
    at = end + 1;
  }
  return tokens;
}

bool starts_upper(std::string_view w) {
  return !w.empty() && ((w[0] >= 'A' && w[0] <= 'Z') || static_cast<unsigned char>(w[0]) >= 0xC0);
}
bool has_letter(std::string_view w) {
  return std::any_of(w.begin(), w.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80;
  });
}

// GUM marks every mention of a person, place or organisation, named or not
// ("900 asylum seekers", "the Indonesian coast", "He"); only names are
// entities for the tagger. A mention is kept, without leading determiners,
// titles and trailing punctuation, when it reads as a name: capitalised
// words (joined by "of", "the", "de", ...), ending in one, and not a lone
// common word, pronoun or nationality. A sentence whose dropped mention
// holds a capitalised word that may be a name nested in it ("Obama 's
// administration") is left out: its labels would teach the tagger to miss
// that name.
std::vector<ner::AnnotatedText> named_mentions(std::vector<ner::AnnotatedText> texts, const MentionFilter& filter) {
  static const std::unordered_set<std::string> kConnectors = {"of", "the", "and", "de", "del", "da", "di", "von",
                                                              "van", "for", "on", "&", "-", "la", "le", "du",
                                                              "des", "der", "at", "in", "'s", ".", "y", "al"};
  static const std::unordered_set<std::string> kTitles = {
      "mr", "mrs", "ms", "dr", "prof", "professor", "president", "sir", "senator", "governor", "king", "queen",
      "pope", "general", "captain", "minister", "prime", "chief", "secretary", "judge", "mayor", "lord", "lady",
      "rev", "reverend", "father", "st", "saint", "prince", "princess", "emperor", "sen", "rep", "gov", "gen",
      "col", "lt", "sgt", "director", "ceo", "chairman", "coach", "officer", "detective", "agent", "uncle", "aunt"};
  std::vector<ner::AnnotatedText> out;
  for (ner::AnnotatedText& a : texts) {
    const std::vector<std::pair<size_t, size_t>> tokens = corpus_tokens(a.text);
    auto word = [&](size_t k) { return std::string_view(a.text).substr(tokens[k].first, tokens[k].second - tokens[k].first); };
    bool doubtful = false;
    std::vector<ner::EntitySpan> kept;
    // A run of one label may be a list of mentions ("Stan Lee , Mark
    // Hamill , and Margaret Atwood"): it is cut at its commas, and at "and"
    // and "or" in a run with a comma.
    std::vector<ner::EntitySpan> mentions;
    for (const ner::EntitySpan& e : a.entities) {
      const std::string_view run = std::string_view(a.text).substr(e.begin, e.end - e.begin);
      if (run.find(" , ") == std::string_view::npos) {
        mentions.push_back(e);
        continue;
      }
      size_t begin = e.begin;
      for (size_t k = 0; k < tokens.size(); ++k) {
        if (tokens[k].first < e.begin || tokens[k].second > e.end) continue;
        const std::string_view w = word(k);
        if (w == "," || w == "and" || w == "or") {
          if (tokens[k].first > begin) mentions.push_back({e.type, begin, tokens[k].first - 1});
          begin = tokens[k].second + 1;
        }
      }
      if (begin < e.end) mentions.push_back({e.type, begin, e.end});
    }
    for (const ner::EntitySpan& e : mentions) {
      size_t first = 0, last = 0;  // tokens [first, last) of the mention
      while (first < tokens.size() && tokens[first].second <= e.begin) ++first;
      last = first;
      while (last < tokens.size() && tokens[last].first < e.end) ++last;
      const size_t mention_first = first;
      while (first < last && (!starts_upper(word(first)) ||
                              (e.type == ner::EntityType::kPerson && kTitles.contains(ner::normalize_token(word(first)))))) {
        ++first;
      }
      while (last > first && (!has_letter(word(last - 1)) || word(last - 1) == "'s")) --last;
      auto capitalised = [&](size_t k) {
        const std::string_view w = word(k);
        const size_t hyphen = w.rfind('-');
        return starts_upper(w) && (hyphen == std::string_view::npos || !has_letter(w.substr(hyphen + 1)) ||
                                   starts_upper(w.substr(hyphen + 1)));
      };
      bool named = first < last && capitalised(last - 1);
      for (size_t k = first; named && k < last; ++k) {
        named = capitalised(k) || !has_letter(word(k)) || kConnectors.contains(ner::normalize_token(word(k)));
      }
      if (named && last - first == 1) {
        const std::string w = ner::normalize_token(word(first));
        const std::string singular = w.size() > 1 && w.back() == 's' ? w.substr(0, w.size() - 1) : w;
        named = w.size() > 1 && !filter.common.contains(w) && !filter.nationalities.contains(w) &&
                !filter.nationalities.contains(singular);
      }
      if (named) {
        kept.push_back({e.type, tokens[first].first, tokens[last - 1].second});
        continue;
      }
      for (size_t k = mention_first; k < last; ++k) {
        const std::string w = ner::normalize_token(word(k));
        if (k > 0 && starts_upper(word(k)) && w.size() > 1 && !filter.common.contains(w) &&
            !filter.nationalities.contains(w) && !kTitles.contains(w)) {
          doubtful = true;
        }
      }
    }
    if (doubtful) continue;
    a.entities = std::move(kept);
    out.push_back(std::move(a));
  }
  return out;
}

// NERP labels brands and companies but leaves parties and state bodies
// ("pks", "dpr", "kpk", "partai golkar") as O in about two thousand places,
// where the other corpora, and news in general, call them organisations;
// those labels taught the tagger to miss them. The unlabelled runs of its
// sentences that spell a listed organisation are labelled ORGANIZATION.
// Left as they are: one-word names that are common words or generic words
// of government ("pemerintah", "polda"), names of two letters and less, and
// names also listed as places or persons.
class ListedOrganizations {
 public:
  ListedOrganizations(const fs::path& gazetteers, const std::unordered_set<std::string>& common) {
    std::unordered_set<std::string> others;
    for (const char* file : {"indonesian_places.txt", "world_places.txt", "iso_places.txt", "dbpedia_places.txt",
                             "dbpedia_persons.txt"}) {
      for (const std::string& name : read_names(gazetteers / file)) others.insert(name);
    }
    static const std::unordered_set<std::string> kGeneric = {
        "pemerintah", "kepolisian", "polda", "polres", "polsek", "pemda", "pemprov", "pemkot", "pemkab",
        "dana", "independen", "kedaulatan", "who"};
    for (const char* file : {"organizations.txt", "dbpedia_organizations.txt"}) {
      for (const std::string& name : read_names(gazetteers / file)) {
        const bool one_word = name.find(' ') == std::string::npos;
        if (others.contains(name) || name.size() < 3 ||
            (one_word && (common.contains(name) || kGeneric.contains(name)))) {
          continue;
        }
        longest_ = std::max(longest_, static_cast<size_t>(std::count(name.begin(), name.end(), ' ') + 1));
        names_.insert(name);
      }
    }
  }

  // Adds the organisations found in the unlabelled tokens of `a`, whose
  // text is its corpus tokens joined by single spaces.
  void label(ner::AnnotatedText& a) const {
    const std::vector<std::pair<size_t, size_t>> tokens = corpus_tokens(a.text);
    auto labelled = [&](size_t k) {
      return std::any_of(a.entities.begin(), a.entities.end(), [&](const ner::EntitySpan& e) {
        return tokens[k].first < e.end && e.begin < tokens[k].second;
      });
    };
    for (size_t k = 0; k < tokens.size(); ++k) {
      for (size_t n = std::min(longest_, tokens.size() - k); n > 0; --n) {
        const size_t begin = tokens[k].first, end = tokens[k + n - 1].second;
        if (!names_.contains(to_lower(a.text.substr(begin, end - begin)))) continue;
        bool free = true;
        for (size_t j = k; j < k + n && free; ++j) free = !labelled(j);
        if (!free) continue;
        a.entities.push_back({ner::EntityType::kOrganization, begin, end});
        k += n - 1;
        break;
      }
    }
    std::sort(a.entities.begin(), a.entities.end(), [](const auto& x, const auto& y) { return x.begin < y.begin; });
  }

 private:
  // The lines of a name list, lower-cased, with white space runs made one
  // space.
  static std::vector<std::string> read_names(const fs::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read gazetteer list '" + file.string() + "'");
    std::vector<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
      if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
      std::istringstream words(line);
      std::string word, name;
      while (words >> word) name += (name.empty() ? "" : " ") + word;
      if (!name.empty()) names.push_back(to_lower(name));
    }
    return names;
  }

  std::unordered_set<std::string> names_;
  size_t longest_ = 1;
};

// The sentences of a folder of GUM files, each file a document.
std::vector<ner::AnnotatedText> read_gum(const fs::path& folder, const MentionFilter& filter) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<ner::AnnotatedText> texts;
  for (size_t d = 0; d < files.size(); ++d) {
    for (ner::AnnotatedText& a : named_mentions(ner::read_conll_file(files[d].string(), ner::TagScheme::kIo), filter)) {
      a.document = static_cast<int>(d);
      texts.push_back(std::move(a));
    }
  }
  return texts;
}

const MentionFilter* g_mention_filter = nullptr;  // set by main() from the gazetteer folder
const ListedOrganizations* g_listed_organizations = nullptr;  // likewise; null: NERP as it comes

std::vector<ner::AnnotatedText> read_split(const fs::path& data, const Split& split, bool dev = false) {
  std::vector<ner::AnnotatedText> texts = is_gum(split) ? read_gum(data / split.path, *g_mention_filter)
                                                        : ner::read_conll_file((data / split.path).string());
  if (split.path.starts_with("id/nerp") && g_listed_organizations != nullptr) {
    for (ner::AnnotatedText& a : texts) g_listed_organizations->label(a);
  }
  if (split.part == Split::kGumTrain || split.part == Split::kGumTest || split.part == Split::kGumDev) {
    std::erase_if(texts, [&](const ner::AnnotatedText& t) {
      const int fold = t.document % kGumHoldOut;
      switch (split.part) {
        case Split::kGumTest: return fold != kGumHoldOut - 1;
        case Split::kGumDev: return fold != kGumHoldOut - 2;
        default: return fold == kGumHoldOut - 1 || (dev && fold == kGumHoldOut - 2);
      }
    });
  } else if (split.part != Split::kAll) {
    std::erase_if(texts, [&](const ner::AnnotatedText& t) {
      const int fold = t.document % kWikigoldHoldOut;
      switch (split.part) {
        case Split::kWikigoldTest: return fold != kWikigoldHoldOut - 1;
        case Split::kWikigoldDev: return fold != kWikigoldHoldOut - 2;
        default: return fold == kWikigoldHoldOut - 1 || (dev && fold == kWikigoldHoldOut - 2);
      }
    });
  }
  return texts;
}

// The sentences of each document ("-DOCSTART-") as one text, a line per
// sentence, so that the tagger's second stage sees a word's other mentions.
std::vector<ner::AnnotatedText> join_documents(const std::vector<ner::AnnotatedText>& sentences) {
  std::vector<ner::AnnotatedText> documents;
  for (const ner::AnnotatedText& a : sentences) {
    if (documents.empty() || documents.back().document != a.document) {
      documents.push_back({"", {}, a.document});
    } else {
      documents.back().text += '\n';
    }
    ner::AnnotatedText& d = documents.back();
    const size_t at = d.text.size();
    d.text += a.text;
    for (ner::EntitySpan e : a.entities) {
      e.begin += at;
      e.end += at;
      d.entities.push_back(e);
    }
  }
  return documents;
}

// Corpora whose documents are marked; they are read a document at a time.
bool has_documents(const Split& split) {
  return split.path.starts_with("en/wikigold") || split.path.starts_with("en/gum") || split.path.starts_with("en/sec-filings");
}

// Where the predicted entities of a split go wrong, beyond the counts.
class ErrorAnalysis {
 public:
  void add(std::string_view text, std::span<const ner::EntitySpan> gold, std::span<const ner::EntitySpan> predicted) {
    auto overlaps = [](const ner::EntitySpan& a, const ner::EntitySpan& b) { return a.begin < b.end && b.begin < a.end; };
    auto contains = [](std::span<const ner::EntitySpan> v, const ner::EntitySpan& e) {
      return std::find(v.begin(), v.end(), e) != v.end();
    };
    auto words = [&](const ner::EntitySpan& e) { return std::string(text.substr(e.begin, e.end - e.begin)); };
    for (const ner::EntitySpan& g : gold) {
      if (contains(predicted, g)) continue;
      std::string kind = "missed";
      for (const ner::EntitySpan& p : predicted) {
        if (p.begin == g.begin && p.end == g.end) {
          kind = "type: as " + std::string(ner::entity_type_name(p.type));
          break;
        }
        if (overlaps(p, g)) kind = p.type == g.type ? "boundary" : "boundary and type";
      }
      ++kinds_[std::string(ner::entity_type_name(g.type)) + " " + kind];
      if (g.type == ner::EntityType::kPerson) {
        const std::string w = words(g);
        const bool multi = w.find(' ') != std::string::npos;
        ++kinds_["PERSON " + kind + (multi ? " (several words)" : " (one word)")];
        if (w.find('?') != std::string::npos) ++kinds_["PERSON " + kind + " (holds '?')"];
        if (kind == "missed") ++missed_[w];
        if (kind == "boundary") {
          for (const ner::EntitySpan& p : predicted) {
            if (overlaps(p, g) && p.type == g.type) ++boundary_[w + "  ->  " + words(p)];
          }
        }
      }
    }
    for (const ner::EntitySpan& p : predicted) {
      if (contains(gold, p)) continue;
      bool any = false;
      for (const ner::EntitySpan& g : gold) any |= overlaps(p, g);
      if (!any) {
        ++kinds_[std::string(ner::entity_type_name(p.type)) + " spurious"];
        if (p.type == ner::EntityType::kPerson) ++spurious_[words(p)];
      }
    }
  }

  void print() const {
    for (const auto& [kind, n] : kinds_) std::printf("  %-45s %5zu\n", kind.c_str(), n);
    print_top("missed PERSON", missed_);
    print_top("PERSON boundary (gold -> found)", boundary_);
    print_top("spurious PERSON", spurious_);
  }

 private:
  static void print_top(const char* title, const std::map<std::string, size_t>& counts) {
    std::vector<std::pair<size_t, std::string>> top;
    for (const auto& [w, n] : counts) top.emplace_back(n, w);
    std::sort(top.begin(), top.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("  %s (%zu distinct):", title, top.size());
    for (size_t i = 0; i < top.size() && i < 25; ++i) std::printf("%s %s x%zu", i ? ";" : "", top[i].second.c_str(), top[i].first);
    std::printf("\n");
  }
  std::map<std::string, size_t> kinds_, missed_, boundary_, spurious_;
};

std::vector<ner::TokenSpan> tokenize(const recognition::Tokenizer& tokenizer, std::string_view text) {
  std::vector<ner::TokenSpan> spans;
  for (const recognition::Token& t : tokenizer.tokenize(text)) spans.push_back({t.byte_start, t.byte_end});
  return spans;
}

std::string language_of(const Split& split) { return split.path.substr(0, 2); }

ner::TrainingText to_training(const recognition::Tokenizer& tokenizer, const ner::AnnotatedText& a,
                              std::vector<uint64_t> domains) {
  ner::TrainingText t{a.text, tokenize(tokenizer, a.text), {}, std::move(domains)};
  t.labels = ner::project_labels(a, t.tokens);
  return t;
}

// The text lower-cased with its entities kept: byte offsets stay valid only
// when lower-casing keeps the length, so other texts are skipped.
std::optional<ner::AnnotatedText> lower_cased(const ner::AnnotatedText& a) {
  std::string lower = to_lower(a.text);
  if (lower.size() != a.text.size() || lower == a.text) return std::nullopt;
  return ner::AnnotatedText{std::move(lower), a.entities, a.document};
}

// The text without a final " ." (corpus tokens are joined by spaces), when
// it has one and no entity ends there.
std::optional<ner::AnnotatedText> without_closing_period(const ner::AnnotatedText& a) {
  if (a.text.size() < 3 || !a.text.ends_with(" .")) return std::nullopt;
  ner::AnnotatedText open{a.text.substr(0, a.text.size() - 2), a.entities, a.document};
  for (const ner::EntitySpan& e : open.entities) {
    if (e.end > open.text.size()) return std::nullopt;
  }
  return open;
}

ner::GazetteerBuilder read_gazetteers(const fs::path& dir, const recognition::Tokenizer& tokenizer) {
  using ner::GazetteerCategory;
  const std::vector<std::pair<std::string, GazetteerCategory>> files = {
      {"indonesian_places.txt", GazetteerCategory::kIndonesianPlace},
      {"world_places.txt", GazetteerCategory::kWorldPlace},
      {"iso_places.txt", GazetteerCategory::kWorldPlace},
      {"countries.txt", GazetteerCategory::kCountry},
      {"indonesian_given_names.txt", GazetteerCategory::kIndonesianGivenName},
      {"english_given_names.txt", GazetteerCategory::kEnglishGivenName},
      {"census_given_names.txt", GazetteerCategory::kEnglishGivenName},
      {"census_surnames.txt", GazetteerCategory::kFamilyName},
      {"family_names.txt", GazetteerCategory::kFamilyName},
      {"organizations.txt", GazetteerCategory::kOrganization},
      {"organization_cues.txt", GazetteerCategory::kOrganizationCue},
      {"person_cues.txt", GazetteerCategory::kPersonCue},
      {"location_cues.txt", GazetteerCategory::kLocationCue},
      {"nationalities.txt", GazetteerCategory::kNationality},
      {"common_words.txt", GazetteerCategory::kCommonWord},
      {"colloquial_words.txt", GazetteerCategory::kCommonWord},
      {"dbpedia_persons.txt", GazetteerCategory::kListedPerson},
      {"dbpedia_places.txt", GazetteerCategory::kListedPlace},
      {"dbpedia_organizations.txt", GazetteerCategory::kListedOrganization},
      {"dbpedia_name_words.txt", GazetteerCategory::kPersonNameWord},
      {"wordnet_persons.txt", GazetteerCategory::kListedPerson},
      {"wordnet_places.txt", GazetteerCategory::kListedPlace},
      {"wordnet_organizations.txt", GazetteerCategory::kListedOrganization},
  };
  ner::GazetteerBuilder builder;
  for (const auto& [file, category] : files) {
    std::ifstream in(dir / file);
    if (!in) throw std::runtime_error("cannot read gazetteer list '" + (dir / file).string() + "'");
    std::string line;
    while (std::getline(in, line)) {
      if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
      while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
      if (line.empty()) continue;
      std::vector<std::string> normalized;
      for (const recognition::Token& t : tokenizer.tokenize(line)) {
        normalized.push_back(ner::normalize_token(std::string_view(line).substr(t.byte_start, t.byte_end - t.byte_start)));
      }
      const std::vector<std::string_view> views(normalized.begin(), normalized.end());
      builder.add(views, category);
    }
  }
  return builder;
}

void print_counts(const std::string& corpus, const std::string& type, const ner::EntityCounts& c) {
  std::printf("%-22s %-13s %6zu %6zu %6zu   %.3f  %.3f  %.3f\n", corpus.c_str(), type.c_str(), c.gold(),
              c.predicted(), c.true_positives, c.precision(), c.recall(), c.f1());
}

// Chat messages with their persons marked [[so]], one a line.
std::vector<ner::AnnotatedText> read_chat(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read chat messages '" + file.string() + "'");
  std::vector<ner::AnnotatedText> texts;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ner::AnnotatedText& a = texts.emplace_back();
    for (size_t at = 0; at < line.size();) {
      const size_t open = line.find("[[", at);
      const size_t close = open == std::string::npos ? std::string::npos : line.find("]]", open);
      if (close == std::string::npos) {
        a.text += line.substr(at);
        break;
      }
      a.text += line.substr(at, open - at);
      const size_t begin = a.text.size();
      a.text += line.substr(open + 2, close - open - 2);
      a.entities.push_back({ner::EntityType::kPerson, begin, a.text.size()});
      at = close + 2;
    }
  }
  return texts;
}

int evaluate_chat(const Options& options, const ner::Tagger& tagger, const recognition::Tokenizer& tokenizer) {
  ner::EntityCounts counts;
  for (const ner::AnnotatedText& a : read_chat(options.chat)) {
    const std::vector<ner::TokenSpan> tokens = tokenize(tokenizer, a.text);
    size_t right = 0;
    for (const ner::Entity& e : tagger.tag(a.text, tokens, options.language.empty() ? "id" : options.language)) {
      if (e.type != ner::EntityType::kPerson || e.score < options.threshold) continue;
      const ner::EntitySpan span{e.type, tokens[e.begin_token].begin, tokens[e.end_token - 1].end};
      if (std::find(a.entities.begin(), a.entities.end(), span) != a.entities.end()) {
        ++counts.true_positives;
        ++right;
      } else {
        ++counts.false_positives;
        std::printf("false PERSON %-28s %.2f  in: %s\n",
                    ("\"" + a.text.substr(span.begin, span.end - span.begin) + "\"").c_str(), e.score, a.text.c_str());
      }
    }
    counts.false_negatives += a.entities.size() - right;
  }
  print_counts(options.chat.filename().string(), "PERSON", counts);
  return 0;
}

int evaluate(const Options& options) {
  const auto model = options.model.empty() ? ner::Model::builtin() : ner::Model::load(options.model.string());
  const ner::Tagger tagger(model);
  const recognition::Tokenizer tokenizer;
  std::printf("model: %s (%zu bytes)\n", std::string(model->description()).c_str(), model->size_bytes());
  if (!options.tag_text.empty()) {
    const std::string& text = options.tag_text;
    const std::vector<ner::TokenSpan> tokens = tokenize(tokenizer, text);
    for (const ner::Entity& e : tagger.tag(text, tokens, "id")) {
      std::printf("%s\t%s\t%.3f\n", text.substr(tokens[e.begin_token].begin, tokens[e.end_token - 1].end - tokens[e.begin_token].begin).c_str(),
                  std::string(ner::entity_type_name(e.type)).c_str(), e.score);
    }
    return 0;
  }
  if (!options.chat.empty()) return evaluate_chat(options, tagger, tokenizer);
  std::printf("%-22s %-13s %6s %6s %6s   %-5s  %-5s  %-5s\n", "corpus", "type", "gold", "found", "right",
              "P", "R", "F1");
  for (const Split& split : options.dev ? kDevSplits : kTestSplits) {
    ner::Evaluation eval;
    ErrorAnalysis analysis;
    size_t bytes = 0;
    double seconds = 0;
    auto annotated = read_split(options.data, split);
    if (options.documents && has_documents(split)) annotated = join_documents(annotated);
    for (const ner::AnnotatedText& a : annotated) {
      const auto start = std::chrono::steady_clock::now();
      const std::vector<ner::TokenSpan> tokens = tokenize(tokenizer, a.text);
      const std::string language = !options.language.empty() ? options.language : options.domains ? language_of(split) : "";
      std::vector<ner::Entity> entities = tagger.tag(a.text, tokens, language == "none" ? "" : language);
      std::erase_if(entities, [&](const ner::Entity& e) { return e.score < options.threshold; });
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      bytes += a.text.size();
      const auto predicted = ner::entity_spans(entities, tokens);
      eval.add(a.entities, predicted);
      if (options.analyze) analysis.add(a.text, a.entities, predicted);
      if (split.name == options.show_errors) {
        auto show = [&](std::vector<ner::EntitySpan> spans) {
          std::sort(spans.begin(), spans.end(), [](const auto& x, const auto& y) { return x.begin < y.begin; });
          std::string out;
          size_t at = 0;
          for (const auto& e : spans) {
            out += a.text.substr(at, e.begin - at) + "[" + a.text.substr(e.begin, e.end - e.begin) + "/" +
                   std::string(ner::entity_type_name(e.type)).substr(0, 3) + "]";
            at = e.end;
          }
          return out + a.text.substr(at);
        };
        auto g = a.entities, p = predicted;
        std::sort(g.begin(), g.end());
        std::sort(p.begin(), p.end());
        if (g != p) std::printf("GOLD %s\nPRED %s\n\n", show(g).c_str(), show(p).c_str());
      }
    }
    for (int t = 0; t < ner::kNumEntityTypes; ++t) {
      const auto type = static_cast<ner::EntityType>(t);
      print_counts(split.name, std::string(ner::entity_type_name(type)), eval.counts(type));
    }
    print_counts(split.name, "overall", eval.overall());
    if (options.analyze) analysis.print();
    std::printf("%-22s %.2f MB/s (tokenizing and tagging)\n", split.name.c_str(), bytes / seconds / 1e6);
  }
  return 0;
}

// Unlabelled text for the word clusters beyond the training sentences:
// every sentence of GUM's training documents (the mention filter leaves out
// many of them, but their words still tell which words go together), and
// the definitions and examples of WordNet's nouns, verbs, adjectives and
// adverbs, where English names of persons, places and organisations stand
// in ordinary prose ("a United States writer ...").
std::vector<std::string> unlabelled_texts(const Options& options) {
  std::vector<std::string> texts;
  for (const Split& split : kTrainSplits) {
    if (!is_gum(split)) continue;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(options.data / split.path)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (size_t d = 0; d < files.size(); ++d) {
      const int fold = static_cast<int>(d) % kGumHoldOut;
      if (split.part == Split::kGumTrain && (fold == kGumHoldOut - 1 || (options.dev && fold == kGumHoldOut - 2))) {
        continue;
      }
      for (ner::AnnotatedText& a : ner::read_conll_file(files[d].string(), ner::TagScheme::kIo)) {
        texts.push_back(std::move(a.text));
      }
    }
  }
  if (options.wordnet.empty()) return texts;
  for (const char* part : {"data.noun", "data.verb", "data.adj", "data.adv"}) {
    std::ifstream in(options.wordnet / part);
    if (!in) throw std::runtime_error("cannot read WordNet '" + (options.wordnet / part).string() + "'");
    std::string line;
    while (std::getline(in, line)) {
      if (line.starts_with("  ")) continue;  // the licence at the top
      const size_t bar = line.find(" | ");
      if (bar == std::string::npos) continue;
      // "definition; \"example\"; \"example\"": each piece a sentence.
      std::string_view gloss = std::string_view(line).substr(bar + 3);
      while (!gloss.empty()) {
        const size_t semi = gloss.find("; ");
        std::string piece(gloss.substr(0, semi));
        std::erase(piece, '"');
        if (piece.find_first_not_of(' ') != std::string::npos) texts.push_back(std::move(piece));
        gloss = semi == std::string_view::npos ? std::string_view() : gloss.substr(semi + 2);
      }
    }
  }
  return texts;
}

int train(const Options& options) {
  const recognition::Tokenizer tokenizer;
  const ner::GazetteerBuilder gazetteer = read_gazetteers(options.gazetteers, tokenizer);
  std::fprintf(stderr, "gazetteer: %zu phrases and prefixes\n", gazetteer.size());
  // Every training split, read once, a sentence per text.
  std::vector<std::vector<ner::AnnotatedText>> corpora;
  for (const Split& split : kTrainSplits) corpora.push_back(read_split(options.data, split, options.dev));
  std::string clusters;
  if (options.clusters > 0) {
    // Clusters of the normalized words of all training text, labels unused.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::vector<std::string>> sentences;
    auto add_sentence = [&](std::string_view text) {
      std::vector<std::string>& words = sentences.emplace_back();
      for (const recognition::Token& t : tokenizer.tokenize(text)) {
        words.push_back(ner::normalize_token(text.substr(t.byte_start, t.byte_end - t.byte_start)));
      }
    };
    for (const auto& corpus : corpora) {
      for (const ner::AnnotatedText& a : corpus) add_sentence(a.text);
    }
    for (const std::string& text : unlabelled_texts(options)) add_sentence(text);
    clusters = ner::WordClusters::learn(
        sentences, {.clusters = options.clusters, .coarse_clusters = std::max(2, options.clusters / 8)});
    std::fprintf(stderr, "word clusters: %zu words in %d clusters, %.1f s\n", ner::WordClusters(clusters).size(),
                 options.clusters, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  const ner::TrainerOptions trainer_options{.algorithm = options.algorithm,
                                            .hash_bits = options.hash_bits,
                                            .epochs = options.epochs,
                                            .seed = options.seed,
                                            .bags = options.bags,
                                            .learning_rate = options.learning_rate,
                                            .l2 = options.l2};
  ner::Trainer trainer(gazetteer.serialize(), trainer_options, clusters);
  // Every training text, kept for the second stage.
  std::vector<ner::TrainingText> texts;
  size_t unclosed = 0;
  std::string description = "tesk_privacy NER model; trained on";
  for (size_t k = 0; k < kTrainSplits.size(); ++k) {
    const Split& split = kTrainSplits[k];
    if (!split.path.starts_with(options.only)) continue;
    const std::vector<ner::AnnotatedText> annotated =
        options.train_documents && has_documents(split) ? join_documents(corpora[k]) : std::move(corpora[k]);
    std::vector<uint64_t> domains;
    if (options.domains) {
      domains = {ner::Tagger::language_domain(language_of(split))};
    }
    int copies = split.copies;
    for (const auto& [prefix, n] : options.copies) {
      if (split.path.starts_with(prefix)) copies = n;
    }
    for (const ner::AnnotatedText& a : annotated) {
      for (int c = 0; c < copies; ++c) texts.push_back(to_training(tokenizer, a, domains));
      // Cased text lower-cased as well, so that caseless text (chat) is
      // learnt from more than the one lower-case corpus.
      if (copies > 0 && options.lower_copies && (split.path.starts_with("id/") || split.path.starts_with("en/wikigold"))) {
        if (auto lower = lower_cased(a)) texts.push_back(to_training(tokenizer, *lower, domains));
      }
      // Every third cased sentence once more without its closing period,
      // as chat messages and notes end: a name at the very end must not
      // depend on a "." after it.
      if (copies > 0 && options.lower_copies && split.path.starts_with("id/") && ++unclosed % 3 == 0) {
        if (auto open = without_closing_period(a)) texts.push_back(to_training(tokenizer, *open, domains));
      }
    }
    std::fprintf(stderr, "%s: %zu sentences\n", split.name.c_str(), annotated.size());
    if (copies > 0 && description.find(split.name) == std::string::npos) description += " " + split.name + ",";
  }
  for (const ner::TrainingText& t : texts) trainer.add(t);
  description.back() = ';';
  description += " " + std::to_string(options.epochs) + " epochs, 2^" + std::to_string(options.hash_bits) + " rows, " +
                 std::to_string(options.clusters) + " word clusters";
  std::fprintf(stderr, "training on %zu sentences, %zu tokens\n", trainer.sentence_count(), trainer.token_count());
  const auto start = std::chrono::steady_clock::now();
  ner::ModelParameters params = trainer.train([](int epoch, double accuracy) {
    std::fprintf(stderr, "epoch %d: training token accuracy %.4f\n", epoch, accuracy);
  });
  if (options.stages == 2) {
    params = ner::add_second_stage(std::move(params), trainer, texts,
                                   {.folds = options.folds, .hash_bits = options.stage2_bits},
                                   [](int epoch, double accuracy) {
                                     std::fprintf(stderr, "second stage epoch %d: training token accuracy %.4f\n",
                                                  epoch, accuracy);
                                   });
    description += ", a second stage of 2^" + std::to_string(options.stage2_bits) + " rows on " +
                   std::to_string(options.folds) + "-fold first-stage labels";
  }
  std::vector<ner::TrainingText> held_out;
  for (const Split& split : kCalibrationSplits) {
    std::vector<uint64_t> domains;
    if (options.domains) domains = {ner::Tagger::language_domain(language_of(split))};
    for (const ner::AnnotatedText& a : read_split(options.data, split)) {
      held_out.push_back(to_training(tokenizer, a, domains));
    }
  }
  params = ner::calibrate(std::move(params), held_out);
  params.description = description;
  std::fprintf(stderr, "trained in %.1f s; temperature %.3f, calibration %.3f %.3f\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), params.temperature,
               params.calibration_slope, params.calibration_intercept);

  const std::string bytes = params.serialize();
  const fs::path tmp = options.output.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write '" + tmp.string() + "'");
  }
  fs::rename(tmp, options.output);
  std::fprintf(stderr, "wrote %s (%zu bytes)\n", options.output.c_str(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const char* shared = std::getenv("TESK_SHARED_DIR")) {
    options.data = fs::path(shared) / "data/ner";
  } else {
    options.data = fs::path(TESK_SOURCE_DIR) / "../shared/data/ner";
  }
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
        return argv[++i];
      };
      if (arg == "-h" || arg == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (arg == "--data") {
        options.data = value();
      } else if (arg == "--gazetteers") {
        options.gazetteers = value();
      } else if (arg == "--output") {
        options.output = value();
      } else if (arg == "--model") {
        options.model = value();
      } else if (arg == "--epochs") {
        options.epochs = std::stoi(value());
      } else if (arg == "--hash-bits") {
        options.hash_bits = std::stoi(value());
      } else if (arg == "--only") {
        options.only = value();
      } else if (arg == "--copies") {
        const std::string v = value();
        const size_t eq = v.find('=');
        if (eq == std::string::npos || eq == 0) throw std::invalid_argument("--copies needs PREFIX=N, got '" + v + "'");
        const int n = std::stoi(v.substr(eq + 1));
        if (n < 0 || n > 20) throw std::invalid_argument("--copies N must be between 0 and 20, got '" + v + "'");
        options.copies.emplace_back(v.substr(0, eq), n);
      } else if (arg == "--show-errors") {
        options.show_errors = value();
      } else if (arg == "--clusters") {
        options.clusters = std::stoi(value());
        if (options.clusters != 0 && (options.clusters < 2 || options.clusters > 4096)) {
          throw std::invalid_argument("--clusters must be 0 or between 2 and 4096");
        }
      } else if (arg == "--nerp-as-is") {
        options.nerp_organizations = false;
      } else if (arg == "--wordnet") {
        options.wordnet = value();
      } else if (arg == "--stages") {
        options.stages = std::stoi(value());
        if (options.stages != 1 && options.stages != 2) throw std::invalid_argument("--stages must be 1 or 2");
      } else if (arg == "--bags") {
        options.bags = std::stoi(value());
        if (options.bags < 1 || options.bags > 10) throw std::invalid_argument("--bags must be between 1 and 10");
      } else if (arg == "--folds") {
        options.folds = std::stoi(value());
        if (options.folds < 2 || options.folds > 20) throw std::invalid_argument("--folds must be between 2 and 20");
      } else if (arg == "--stage2-bits") {
        options.stage2_bits = std::stoi(value());
      } else if (arg == "--seed") {
        options.seed = std::stoull(value());
      } else if (arg == "--crf") {
        options.algorithm = ner::TrainerOptions::Algorithm::kCrf;
      } else if (arg == "--learning-rate") {
        options.learning_rate = std::stod(value());
      } else if (arg == "--l2") {
        options.l2 = std::stod(value());
      } else if (arg == "--no-domains") {
        options.domains = false;
      } else if (arg == "--documents") {
        options.documents = true;
      } else if (arg == "--sentences") {
        options.train_documents = false;
      } else if (arg == "--no-lower-copies") {
        options.lower_copies = false;
      } else if (arg == "--tag") {
        options.tag_text = value();
      } else if (arg == "--chat") {
        options.chat = value();
      } else if (arg == "--language") {
        options.language = value();
      } else if (arg == "--threshold") {
        options.threshold = std::stod(value());
      } else if (arg == "--analyze") {
        options.analyze = true;
      } else if (arg == "--dev") {
        options.dev = true;
      } else if (arg == "--evaluate") {
        options.evaluate = true;
      } else {
        throw std::invalid_argument("unknown option '" + arg + "'");
      }
    }
    if (options.epochs < 1) throw std::invalid_argument("--epochs must be at least 1");
    if (options.stages == 2 && (options.stage2_bits < 8 || options.stage2_bits > options.hash_bits)) {
      throw std::invalid_argument("--stage2-bits must be between 8 and --hash-bits");
    }
    const MentionFilter filter{read_word_list(options.gazetteers / "common_words.txt"),
                               read_word_list(options.gazetteers / "nationalities.txt")};
    g_mention_filter = &filter;
    std::optional<ListedOrganizations> organizations;
    if (options.nerp_organizations) g_listed_organizations = &organizations.emplace(options.gazetteers, filter.common);
    return options.evaluate ? evaluate(options) : train(options);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tesk-train-ner: %s\n\n%s", e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tesk-train-ner: %s\n", e.what());
    return 1;
  }
}
