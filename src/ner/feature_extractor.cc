#include "ner/feature_extractor.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "ner/hashing.h"
#include "ner/string_ids.h"
#include "tesk_privacy/text/utf8_text.h"
#include "text/case_mapping.h"

namespace tesk_privacy::ner {
namespace {

// Feature templates. The numbers are part of the model format: changing one
// changes every hash, so a model must be retrained.
enum Template : uint64_t {
  kBias = 1,
  kWord,
  kLower,
  kPrefix1,
  kPrefix2,
  kPrefix3,
  kPrefix4,
  kSuffix1,
  kSuffix2,
  kSuffix3,
  kSuffix4,
  kShape,
  kShapeFirst,
  kLowerPrev2,
  kLowerPrev1,
  kLowerNext1,
  kLowerNext2,
  kShapePrev1,
  kShapeNext1,
  kBigramPrev,
  kBigramNext,
  kShapeTrigram,
  kGazetteer,
  kGazetteerClass,
  kGazetteerPrev,
  kGazetteerNext,
  kPosition,
  kLength,
  kClassPrevCurrent,
  kClassCurrentNext,
  kLast,
  kSuffix3Class,
  kPrefix5,
  kSuffix5,
  kLowerPrev1Class,
  kLowerNext1Class,
  kWindowClasses,
  kFirstLower,
  kClusterFine,
  kClusterCoarseClass,
  kClusterPrev,
  kClusterNext,
  kClusterPrevCurrent,
  kClusterCurrentNext,
};
// Added to the template of case-bearing features in caseless sentences.
constexpr uint64_t kCaselessOffset = 1000;

// Capitalisation classes.
enum Case : uint64_t { kLowerCase, kInitialCap, kAllCaps, kMixedCase, kDigits, kPunct, kOther };

bool ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool ascii_lower(char c) { return c >= 'a' && c <= 'z'; }

bool cp_upper(char32_t c) { return c < 0x80 ? ascii_upper(static_cast<char>(c)) : u_isupper(static_cast<UChar32>(c)); }
bool cp_lower(char32_t c) { return c < 0x80 ? ascii_lower(static_cast<char>(c)) : u_islower(static_cast<UChar32>(c)); }
bool cp_letter(char32_t c) {
  return c < 0x80 ? ascii_upper(static_cast<char>(c)) || ascii_lower(static_cast<char>(c))
                  : u_isalpha(static_cast<UChar32>(c));
}
bool cp_digit(char32_t c) { return c < 0x80 ? (c >= '0' && c <= '9') : u_isdigit(static_cast<UChar32>(c)); }

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

Case case_class(std::string_view token) {
  size_t upper = 0, lower = 0, digits = 0, letters = 0, others = 0;
  bool first_upper = false;
  size_t pos = 0;
  while (pos < token.size()) {
    const bool first = pos == 0;
    const char32_t c = decode_utf8(token, pos);
    if (cp_letter(c)) {
      ++letters;
      if (cp_upper(c)) {
        ++upper;
        first_upper |= first;
      } else if (cp_lower(c)) {
        ++lower;
      }
    } else if (cp_digit(c)) {
      ++digits;
    } else {
      ++others;
    }
  }
  if (letters == 0) return digits > 0 ? kDigits : (others > 0 ? kPunct : kOther);
  if (upper == 0) return kLowerCase;
  if (lower == 0) return upper > 1 ? kAllCaps : kInitialCap;
  if (first_upper && upper == 1) return kInitialCap;
  return kMixedCase;
}

// The mix64 of each template number, plain and then caseless, worked out
// at compile time: a feature's hash is hash_combine(seed, value), as
// feature_hash(template, value) would give it, and some eighty features are
// hashed per token. A template's seed is kTemplateSeeds[template + mode],
// where mode is 0 in cased sentences and kNumTemplates in caseless ones.
constexpr uint64_t kNumTemplates = kClusterCurrentNext + 1;
constexpr auto kTemplateSeeds = [] {
  std::array<uint64_t, 2 * kNumTemplates> seeds{};
  for (uint64_t t = 0; t < kNumTemplates; ++t) {
    seeds[t] = mix64(t);
    seeds[kNumTemplates + t] = mix64(t + kCaselessOffset);
  }
  return seeds;
}();

uint64_t case_mode(bool caseless) { return caseless ? kNumTemplates : 0; }

// The hash of a feature: its template (plus the case mode, where it has
// one) with its value.
uint64_t feature(uint64_t tmpl, uint64_t value) { return hash_combine(kTemplateSeeds[tmpl], value); }

const uint64_t kBeginHash = hash_bytes("<s>");
const uint64_t kEndHash = hash_bytes("</s>");

uint64_t length_bucket(size_t cps) {
  if (cps <= 4) return cps;
  if (cps <= 6) return 5;
  if (cps <= 9) return 6;
  return 7;
}

uint64_t position_bucket(size_t i) { return i < 3 ? i : (i < 6 ? 3 : 4); }

}  // namespace

std::string normalize_token(std::string_view token) {
  std::string out;
  if (is_ascii(token)) {
    out.assign(token);
    for (char& c : out) {
      if (ascii_upper(c)) c = static_cast<char>(c - 'A' + 'a');
    }
  } else {
    out = to_lower(token);
  }
  bool has_letter = false;
  size_t pos = 0;
  std::string folded;
  folded.reserve(out.size());
  while (pos < out.size()) {
    const size_t begin = pos;
    const char32_t c = decode_utf8(out, pos);
    if (cp_digit(c)) {
      folded.push_back('0');
    } else {
      has_letter |= cp_letter(c);
      folded.append(out, begin, pos - begin);
    }
  }
  if (has_letter && folded.size() > 1 && folded.back() == '.') folded.pop_back();
  return folded;
}

std::string word_shape(std::string_view token, bool fold_case) {
  std::string shape;
  size_t pos = 0;
  while (pos < token.size() && shape.size() < 12) {
    const char32_t c = decode_utf8(token, pos);
    char s;
    if (cp_letter(c)) {
      s = !fold_case && cp_upper(c) ? 'X' : 'x';
    } else if (cp_digit(c)) {
      s = 'd';
    } else if (c < 0x80 && c > 0x20) {
      s = static_cast<char>(c);
    } else {
      s = 'o';
    }
    if (shape.empty() || shape.back() != s) shape.push_back(s);
  }
  return shape;
}

uint64_t domain_key(std::string_view name) { return hash_bytes(name); }

bool is_caseless(std::span<const std::string_view> tokens) {
  bool upper = false, lower = false;
  for (std::string_view t : tokens) {
    if (is_ascii(t)) {
      for (char c : t) {
        upper |= ascii_upper(c);
        lower |= ascii_lower(c);
      }
    } else {
      size_t pos = 0;
      while (pos < t.size()) {
        const char32_t c = decode_utf8(t, pos);
        upper |= cp_upper(c);
        lower |= cp_lower(c);
      }
    }
    if (upper && lower) return false;
  }
  return upper || lower;
}

FeatureExtractor::FeatureExtractor(const Gazetteer& gazetteer, int hash_bits, const WordClusters* clusters)
    : gazetteer_(&gazetteer), hash_bits_(hash_bits), clusters_(clusters) {
  if (hash_bits < 8 || hash_bits > 28) {
    throw std::invalid_argument("feature hash bits must be between 8 and 28, got " + std::to_string(hash_bits));
  }
}

namespace {

// Rows to reserve per token and per copy of its features (one plain, one
// per domain): a little more than a token gets, so that the rows are
// allocated once.
constexpr size_t kRowsPerToken = 56;

void start(FeatureSet& out, size_t tokens, size_t domains) {
  out.rows.clear();
  out.offsets.clear();
  out.word_of.clear();
  out.word_rows.clear();
  out.rows.reserve(tokens * kRowsPerToken * (1 + domains));
  out.offsets.reserve(tokens + 1);
  out.offsets.push_back(0);
  out.word_of.reserve(tokens);
}

// Appends the rows of the features hashed as `hashes`: each as is, then
// once more for each domain.
void append_rows(std::vector<uint32_t>& rows, std::span<const uint64_t> hashes, std::span<const uint64_t> domains,
                 int shift) {
  const size_t at = rows.size();
  rows.resize(at + hashes.size() * (1 + domains.size()));
  uint32_t* row = rows.data() + at;
  for (const uint64_t h : hashes) {
    *row++ = static_cast<uint32_t>(h >> shift);
    for (const uint64_t d : domains) *row++ = static_cast<uint32_t>(hash_combine(h, d) >> shift);
  }
}

}  // namespace

// What one token contributes to its own and its neighbours' features.
struct FeatureExtractor::TokenInfo {
  uint64_t lower;  // hash of normalize_token
  uint64_t shape;
  uint64_t case_class;
  uint32_t fine_cluster;  // 0: unknown word
  uint32_t coarse_cluster;
  uint32_t local_begin, local_end;  // its rows that depend on the token alone, in Words::rows
  uint32_t id;                      // its index in Words::info
};

// The distinct tokens of one extraction call, each with what the feature
// templates need of it and its rows that depend on the token alone and on
// whether its sentence is caseless. Most tokens of running text are
// repeats; their lexical features are copied instead of worked out again.
struct FeatureExtractor::Words {
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit Words(size_t tokens) : ids(tokens) {}

  StringIds ids;
  std::vector<std::array<uint32_t, 2>> info_of;  // per id: index into `info` in cased and caseless sentences, or kNone
  std::vector<TokenInfo> info;
  std::vector<uint32_t> rows;  // the infos' rows, one range each

  // Tells `out` how many leading rows each word's tokens share.
  void finish(FeatureSet& out) const {
    out.word_rows.reserve(info.size());
    for (const TokenInfo& t : info) out.word_rows.push_back(t.local_end - t.local_begin);
  }
};

FeatureExtractor::TokenInfo FeatureExtractor::token_info(std::string_view token, bool caseless,
                                                         std::span<const uint64_t> domains, Words& words) const {
  const uint64_t written = hash_bytes(token);
  const auto [id, fresh] = words.ids.insert(token, written);
  if (fresh) words.info_of.push_back({Words::kNone, Words::kNone});
  if (const uint32_t known = words.info_of[id][caseless]; known != Words::kNone) return words.info[known];

  TokenInfo t;
  const std::string norm = normalize_token(token);
  t.lower = hash_bytes(norm);
  t.shape = hash_bytes(word_shape(token, caseless));
  t.case_class = case_class(token);
  if (caseless && (t.case_class == kInitialCap || t.case_class == kAllCaps || t.case_class == kMixedCase)) {
    t.case_class = kLowerCase;
  }
  const uint32_t cluster = clusters_ != nullptr ? clusters_->lookup(t.lower) : 0;
  t.fine_cluster = cluster & 0xFFFF;
  t.coarse_cluster = cluster >> 16;

  const uint64_t mode = case_mode(caseless);
  std::vector<uint64_t> hashes;
  hashes.reserve(20);
  auto emit = [&](uint64_t tmpl, uint64_t value) { hashes.push_back(feature(tmpl, value)); };
  emit(kBias + mode, 0);
  emit(kWord + mode, caseless ? t.lower : written);
  emit(kLower, t.lower);

  // Prefixes and suffixes of 1..4 code points, for words longer than that.
  std::array<size_t, 6> starts{};  // byte offset of code point k, k < 6
  size_t cps = 0;
  for (size_t pos = 0; pos < norm.size();) {
    if (cps < starts.size()) starts[cps] = pos;
    decode_utf8(norm, pos);
    ++cps;
  }
  std::array<size_t, 5> suffix_starts{};  // byte offset of the k-th code point from the end
  {
    size_t pos = norm.size();
    for (size_t k = 0; k < 5 && pos > 0; ++k) {
      do {
        --pos;
      } while (pos > 0 && (static_cast<unsigned char>(norm[pos]) & 0xC0) == 0x80);
      suffix_starts[k] = pos;
    }
  }
  const std::string_view n(norm);
  for (size_t k = 1; k <= 4 && k < cps; ++k) {
    const size_t end = k < starts.size() ? starts[k] : n.size();
    emit(kPrefix1 + k - 1, hash_bytes(n.substr(0, end)));
    emit(kSuffix1 + k - 1, hash_bytes(n.substr(suffix_starts[k - 1])));
  }
  if (cps > 6) {
    emit(kPrefix5, hash_bytes(n.substr(0, starts[5])));
    emit(kSuffix5, hash_bytes(n.substr(suffix_starts[4])));
  }
  if (cps > 3) {
    emit(kSuffix3Class + mode, hash_combine(hash_bytes(n.substr(suffix_starts[2])), t.case_class));
  }
  emit(kShape + mode, t.shape);
  emit(kLength + mode, length_bucket(cps) * 16 + t.case_class);
  // Word clusters generalise the lexical features to words seen only in
  // unlabelled text; 0 stands for a word the clusters do not know.
  if (clusters_ != nullptr && clusters_->size() > 0) {
    emit(kClusterFine, t.fine_cluster);
    emit(kClusterCoarseClass + mode, t.coarse_cluster * 128 + t.case_class);
  }
  t.local_begin = static_cast<uint32_t>(words.rows.size());
  append_rows(words.rows, hashes, domains, 64 - hash_bits_);
  t.local_end = static_cast<uint32_t>(words.rows.size());

  t.id = static_cast<uint32_t>(words.info.size());
  words.info_of[id][caseless] = t.id;
  words.info.push_back(t);
  return t;
}

void FeatureExtractor::extract(std::span<const std::string_view> tokens, FeatureSet& out,
                               std::span<const uint64_t> domains) const {
  start(out, tokens.size(), domains.size());
  Words words(tokens.size());
  append(tokens, out, domains, words);
  words.finish(out);
}

void FeatureExtractor::append(std::span<const std::string_view> tokens, FeatureSet& out,
                              std::span<const uint64_t> domains, Words& words) const {
  const size_t n = tokens.size();
  if (n == 0) return;

  const bool caseless = is_caseless(tokens);
  const uint64_t mode = case_mode(caseless);
  std::vector<TokenInfo> info(n);
  std::vector<uint64_t> lower_hashes(n);
  for (size_t i = 0; i < n; ++i) {
    info[i] = token_info(tokens[i], caseless, domains, words);
    lower_hashes[i] = info[i].lower;
  }
  std::vector<uint32_t> gaz_begin(n), gaz_inside(n);
  gazetteer_->match(lower_hashes, gaz_begin, gaz_inside);

  // A token's other features are hashed first and turned into rows, with
  // their domain copies, in one pass.
  std::vector<uint64_t> hashes;
  hashes.reserve(128);
  auto emit = [&](uint64_t tmpl, uint64_t value) { hashes.push_back(feature(tmpl, value)); };
  auto lower_at = [&](ptrdiff_t j) {
    return j < 0 ? kBeginHash : j >= static_cast<ptrdiff_t>(n) ? kEndHash : info[j].lower;
  };
  auto shape_at = [&](ptrdiff_t j) {
    return j < 0 ? kBeginHash : j >= static_cast<ptrdiff_t>(n) ? kEndHash : info[j].shape;
  };
  auto fine_at = [&](ptrdiff_t j) -> uint64_t {
    return j < 0 ? 0x10000 : j >= static_cast<ptrdiff_t>(n) ? 0x10001 : info[j].fine_cluster;
  };
  auto coarse_at = [&](ptrdiff_t j) -> uint64_t {
    return j < 0 ? 0x10000 : j >= static_cast<ptrdiff_t>(n) ? 0x10001 : info[j].coarse_cluster;
  };
  auto class_at = [&](ptrdiff_t j) -> uint64_t {
    return j < 0 ? 100 : j >= static_cast<ptrdiff_t>(n) ? 101 : info[j].case_class;
  };

  for (size_t i = 0; i < n; ++i) {
    const TokenInfo& t = info[i];
    const auto p = static_cast<ptrdiff_t>(i);
    out.rows.insert(out.rows.end(), words.rows.begin() + t.local_begin, words.rows.begin() + t.local_end);
    out.word_of.push_back(t.id);
    hashes.clear();
    emit(kShapeFirst + mode, hash_combine(t.shape, i == 0));
    emit(kLowerPrev2, lower_at(p - 2));
    emit(kLowerPrev1, lower_at(p - 1));
    emit(kLowerNext1, lower_at(p + 1));
    emit(kLowerNext2, lower_at(p + 2));
    emit(kShapePrev1 + mode, shape_at(p - 1));
    emit(kShapeNext1 + mode, shape_at(p + 1));
    emit(kBigramPrev, hash_combine(lower_at(p - 1), t.lower));
    emit(kBigramNext, hash_combine(t.lower, lower_at(p + 1)));
    emit(kShapeTrigram + mode, hash_combine(hash_combine(shape_at(p - 1), t.shape), shape_at(p + 1)));
    emit(kClassPrevCurrent + mode, class_at(p - 1) * 128 + t.case_class);
    emit(kClassCurrentNext + mode, t.case_class * 128 + class_at(p + 1));
    emit(kPosition + mode, position_bucket(i) * 16 + t.case_class);
    if (i + 1 == n) emit(kLast + mode, t.case_class);
    // A neighbouring word together with this token's capitalisation: "pilot"
    // before a capitalised word, "bin" after one.
    emit(kLowerPrev1Class + mode, hash_combine(lower_at(p - 1), t.case_class));
    emit(kLowerNext1Class + mode, hash_combine(lower_at(p + 1), t.case_class));
    emit(kWindowClasses + mode, (((class_at(p - 2) * 128 + class_at(p - 1)) * 128 + t.case_class) * 128 +
                                 class_at(p + 1)) * 128 + class_at(p + 2));
    // The first word's capital says little, so its lower-cased form stands
    // apart from the same word inside the sentence.
    if (i == 0) emit(kFirstLower, t.lower);
    if (clusters_ != nullptr && clusters_->size() > 0) {
      emit(kClusterPrev, fine_at(p - 1));
      emit(kClusterNext, fine_at(p + 1));
      emit(kClusterPrevCurrent, coarse_at(p - 1) * 0x20000 + t.coarse_cluster);
      emit(kClusterCurrentNext, t.coarse_cluster * 0x20000 + coarse_at(p + 1));
    }

    for (int c = 0; c < kNumGazetteerCategories; ++c) {
      const uint32_t bit = 1u << c;
      for (int inside = 0; inside < 2; ++inside) {
        if (((inside ? gaz_inside[i] : gaz_begin[i]) & bit) == 0) continue;
        emit(kGazetteer, c * 2 + inside);
        emit(kGazetteerClass + mode, (c * 2 + inside) * 128 + t.case_class);
      }
      if (i > 0 && ((gaz_begin[i - 1] | gaz_inside[i - 1]) & bit)) emit(kGazetteerPrev, c);
      if (i + 1 < n && (gaz_begin[i + 1] & bit)) emit(kGazetteerNext, c * 2);
      if (i + 1 < n && (gaz_inside[i + 1] & bit)) emit(kGazetteerNext, c * 2 + 1);
    }
    append_rows(out.rows, hashes, domains, 64 - hash_bits_);
    out.offsets.push_back(static_cast<uint32_t>(out.rows.size()));
  }
}

void FeatureExtractor::extract_sentences(std::span<const std::string_view> tokens,
                                         std::span<const std::pair<size_t, size_t>> sentences, FeatureSet& out,
                                         std::span<const uint64_t> domains) const {
  size_t n = 0;
  for (const auto& [first, last] : sentences) n += last - first;
  start(out, n, domains.size());
  Words words(n);
  for (const auto& [first, last] : sentences) append(tokens.subspan(first, last - first), out, domains, words);
  words.finish(out);
}

}  // namespace tesk_privacy::ner
