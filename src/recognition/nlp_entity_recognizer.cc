#include "recognition/nlp_entity_recognizer.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "text/case_mapping.h"

namespace tesk_privacy::recognition {
namespace {

// Words that name a nationality, ethnic or religious group by themselves.
const std::unordered_set<std::string_view>& standalone_groups() {
  static const std::unordered_set<std::string_view> kWords = {
      // Religions and their followers, Indonesian and English
      "muslim", "muslimah", "moslem", "islam", "kristen", "nasrani", "katolik", "protestan", "hindu", "buddha",
      "budha", "buddhis", "konghucu", "yahudi", "christian", "christians", "catholic", "catholics", "protestant",
      "protestants", "buddhist", "buddhists", "hindus", "muslims", "jewish", "jews", "sikh", "sikhs", "sunni",
      "shia", "shiite", "syiah", "confucian", "taoist", "atheist", "atheists",
      // English demonyms
      "indonesian", "indonesians", "javanese", "sundanese", "balinese", "madurese", "malay", "malaysian",
      "singaporean", "filipino", "thai", "vietnamese", "cambodian", "burmese", "chinese", "japanese",
      "korean", "indian", "pakistani", "bangladeshi", "arab", "arabs", "saudi", "iranian", "iraqi", "turkish",
      "israeli", "palestinian", "egyptian", "american", "americans", "canadian", "mexican", "brazilian",
      "argentinian", "british", "french", "german", "germans", "dutch", "spanish", "portuguese", "italian",
      "italians", "russian", "russians", "ukrainian", "polish", "swedish", "norwegian", "danish", "finnish",
      "greek", "irish", "scottish", "welsh", "australian", "australians", "african", "nigerian", "european",
      "europeans", "asian", "asians", "latino", "hispanic",
      // Indonesian group names used on their own
      "tionghoa", "pribumi",
  };
  return kWords;
}

// Words that introduce a group name in Indonesian: "orang Jawa", "suku Batak".
const std::unordered_set<std::string_view>& group_cues() {
  static const std::unordered_set<std::string_view> kWords = {
      "orang", "bangsa", "suku", "etnis", "etnik", "keturunan", "umat", "agama", "beragama", "kaum",
  };
  return kWords;
}

// Group names that follow a cue; one or two words.
const std::unordered_set<std::string_view>& group_names() {
  static const std::unordered_set<std::string_view> kNames = {
      "indonesia", "jawa", "sunda", "batak", "minang", "minangkabau", "bugis", "makassar", "dayak", "betawi",
      "madura", "bali", "ambon", "aceh", "banjar", "sasak", "toraja", "papua", "melayu", "tionghoa", "cina",
      "china", "arab", "india", "jepang", "korea", "belanda", "inggris", "amerika", "amerika serikat", "eropa",
      "afrika", "australia", "jerman", "prancis", "perancis", "rusia", "malaysia", "singapura", "filipina",
      "thailand", "vietnam", "yahudi", "islam", "kristen", "katolik", "protestan", "hindu", "buddha", "budha",
      "konghucu", "muslim", "nasrani", "arab saudi", "timor leste", "korea selatan", "asing",
  };
  return kNames;
}

struct Span {
  int64_t start;
  int64_t end;
};

}  // namespace

NlpEntityRecognizer::NlpEntityRecognizer(std::string supported_language)
    : EntityRecognizer({"PERSON", "LOCATION", "ORGANIZATION", "NRP"}, "NlpEntityRecognizer",
                       std::move(supported_language)) {}

std::vector<RecognizerResult> NlpEntityRecognizer::analyze(const Utf8Text& text,
                                                           const std::vector<std::string>& entities,
                                                           const NlpArtifacts* nlp_artifacts,
                                                           std::optional<int> /*regex_flags*/) const {
  std::vector<RecognizerResult> results;
  if (nlp_artifacts == nullptr) return results;
  const auto wanted = [&](std::string_view type) {
    return supports_entity(std::string(type)) &&
           (entities.empty() || std::find(entities.begin(), entities.end(), type) != entities.end());
  };
  std::optional<RecognizerResult::Metadata> metadata;  // made with the first result, shared by the others
  const auto explained = [&](const std::string& type, int64_t start, int64_t end, double score,
                             const std::string& how) {
    if (!metadata) metadata = recognizer_metadata();
    RecognizerResult r(type, start, end, score, AnalysisExplanation(name(), score, how), *metadata);
    results.push_back(std::move(r));
  };

  // NRP from the word lists, over the engine's tokens.
  const std::vector<std::string>& tokens = nlp_artifacts->tokens;
  const auto end_of = [&](size_t i) {
    return nlp_artifacts->tokens_indices[i] + static_cast<int64_t>(utf8_length(tokens[i]));
  };
  std::vector<Span> groups;
  std::vector<std::string> lower(tokens.size());
  for (size_t i = 0; i < tokens.size(); ++i) lower[i] = to_lower(tokens[i]);
  const size_t n = std::min(tokens.size(), nlp_artifacts->tokens_indices.size());
  for (size_t i = 0; i < n; ++i) {
    const bool after_cue = i > 0 && (group_cues().contains(lower[i - 1]) ||
                                     (i > 1 && lower[i - 2] == "warga" && lower[i - 1] == "negara"));
    if (after_cue && i + 1 < n && group_names().contains(lower[i] + " " + lower[i + 1])) {
      groups.push_back({nlp_artifacts->tokens_indices[i], end_of(i + 1)});
      ++i;
    } else if (standalone_groups().contains(lower[i]) || (after_cue && group_names().contains(lower[i]))) {
      groups.push_back({nlp_artifacts->tokens_indices[i], end_of(i)});
    }
  }

  for (const NlpEntity& e : nlp_artifacts->entities) {
    if (!wanted(e.entity_type) || e.start < 0 || e.end > static_cast<int64_t>(text.length())) continue;
    const bool is_group = std::any_of(groups.begin(), groups.end(),
                                      [&](const Span& g) { return g.start == e.start && g.end == e.end; });
    if (is_group && e.entity_type != "PERSON") continue;
    explained(e.entity_type, e.start, e.end, e.score, "Identified as " + e.entity_type + " by the named-entity model");
  }
  if (wanted("NRP")) {
    for (const Span& g : groups) {
      explained("NRP", g.start, g.end, kNrpScore, "Identified as NRP from the nationality and religion word lists");
    }
  }
  std::stable_sort(results.begin(), results.end(),
                   [](const RecognizerResult& a, const RecognizerResult& b) { return a.start < b.start; });
  return results;
}

}  // namespace tesk_privacy::recognition
