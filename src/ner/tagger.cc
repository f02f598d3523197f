#include "ner/tagger.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "ner/decoder.h"
#include "ner/hashing.h"

namespace tesk_privacy::ner {
namespace {

bool ends_sentence(std::string_view token) {
  if (token.empty()) return false;
  size_t i = 0;
  while (i < token.size()) {
    if (token[i] == '.' || token[i] == '!' || token[i] == '?') {
      ++i;
    } else if (token.compare(i, 3, "\xE2\x80\xA6") == 0) {  // "…"
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

bool is_single_letter(std::string_view token) {
  return token.size() == 1 && ((token[0] >= 'A' && token[0] <= 'Z') || (token[0] >= 'a' && token[0] <= 'z'));
}

// A period after an initial is no sentence end: glued ("H." as the tokenizer
// may split it) or, for a capital, also spaced ("S . Djajeng" in text that
// was tokenized before it reached us).
bool closes_initial(std::string_view previous, bool glued) {
  return is_single_letter(previous) && (glued || (previous[0] >= 'A' && previous[0] <= 'Z'));
}

// Punctuation that never opens or closes a name: a span the decoder ends on
// "?" or begins with "(" is narrowed to the words inside.
bool is_edge_punctuation(std::string_view token) {
  return !token.empty() && token.find_first_not_of("?!,;:\"'()[]`") == std::string_view::npos;
}

// An e-mail address, a URL, markup ("<script>alert") or a number of five
// digits or more (an identity, phone or account number) is never part of a
// name; a span that takes one in is a misreading of the whole phrase ("email
// budi@x.id", "NIK 3171..."), not a name next to it.
bool is_never_in_a_name(std::string_view token) {
  if (token.find_first_of("@<>") != std::string_view::npos || token.find("://") != std::string_view::npos) {
    return true;
  }
  // Digits broken by punctuation count together ("+62-821-3344-5566",
  // "09.876.543.2-123.000").
  // So do codes of letters and digits ("JP5350952359", "SKU62415186").
  size_t digits = 0;
  for (char c : token) digits += c >= '0' && c <= '9';
  return digits >= 5;
}

// Labels of contact details and words of greeting, address and chat that
// stand next to a name without being part of it ("WA", "Hubungi", "kak",
// "HBD").
bool is_label_or_filler(std::string_view normalized) {
  static constexpr std::string_view kWords[] = {
      "a.n", "a.n.", "alamat", "an", "aku", "atas", "congrats", "cp", "dear", "email", "e-mail", "fax", "gan", "gws",
      "hai", "halo", "hallo", "hape", "hbd", "hi", "hello", "hp", "hub", "hubungi", "info", "inv", "invoice", "kak",
      "kakak", "kami", "kepada", "kirim", "kode", "mas", "mbak", "mohon", "nama", "no", "no.", "nomor", "norek",
      "order", "pesanan", "pikir", "produk", "rek", "rekening", "resi", "salam", "saya", "sis", "sku", "sms",
      "tagihan", "tel", "telp", "telepon", "terima", "tlp", "tolong", "untuk", "wa", "whatsapp", "ya", "yth"};
  return std::find(std::begin(kWords), std::end(kWords), normalized) != std::end(kWords);
}

// Names of identity documents and their numbers ("NIK saya 3171...",
// "KTP hilang"), normalised. Such a word alone is the label of a number,
// never a name, though written in capitals like an organisation's acronym.
bool is_document_word(std::string_view normalized) {
  static constexpr std::string_view kWords[] = {"bpkb", "kitas", "kk", "ktp", "nik", "nip", "nisn",
                                                "nkk", "npwp", "nrp", "paspor", "sim", "stnk"};
  return std::find(std::begin(kWords), std::end(kWords), normalized) != std::end(kWords);
}

// A lower-case word inside a person's span of capitalised words that is no
// particle of a name: "met" in "Clinton met Yeltsin", not "bin", "van" or
// "al-Baghdadi".
bool breaks_a_name(std::string_view token) {
  static constexpr std::string_view kParticles[] = {"al", "bin", "binti", "bt", "bte", "d", "da", "das", "de",
                                                    "del", "della", "der", "di", "do", "dos", "du", "e", "el",
                                                    "ibn", "la", "le", "st", "ten", "ter", "van", "von", "y", "zu"};
  if (token.empty() || token[0] < 'a' || token[0] > 'z') return false;
  const size_t hyphen = token.find_first_of("-'");
  const std::string_view head = hyphen == std::string_view::npos ? token : token.substr(0, hyphen);
  return std::find(std::begin(kParticles), std::end(kParticles), head) == std::end(kParticles);
}

// Compass points that end place names ("Jakarta Utara", "Afrika barat"),
// normalised.
bool is_compass_point(std::string_view normalized) {
  static constexpr std::string_view kPoints[] = {"barat", "east",  "north",  "selatan", "south",
                                                 "tengah", "timur", "utara", "west"};
  return std::find(std::begin(kPoints), std::end(kPoints), normalized) != std::end(kPoints);
}

// Days of the week, normalised: a dateline's day after a name ("the
// Financial Times Senin", "Khartoum Tuesday") is not part of it.
bool is_weekday(std::string_view normalized) {
  static constexpr std::string_view kDays[] = {"friday", "jumat", "kamis",   "minggu", "monday", "rabu",   "sabtu",
                                               "saturday", "selasa", "senin", "sunday", "thursday", "tuesday",
                                               "wednesday"};
  return std::find(std::begin(kDays), std::end(kDays), normalized) != std::end(kDays);
}

// Months that are also given names ("untuk Juli", "thanks May"): never
// taken for a person by their cue alone.
bool is_month(std::string_view normalized) {
  static constexpr std::string_view kMonths[] = {"april", "august", "agustus", "juli", "july", "june",
                                                 "juni", "may", "mei"};
  return std::find(std::begin(kMonths), std::end(kMonths), normalized) != std::end(kMonths);
}

// Words that address or introduce the person named next, in chat and
// letters ("halo Budi", "saya Riko", "salam buat Indah", "kabar Fitri"),
// normalised.
bool is_address_cue(std::string_view normalized) {
  static constexpr std::string_view kCues[] = {
      "bang", "bapak", "bu", "buat", "dear", "dik", "halo", "hallo", "hai", "hello", "hi", "ibu", "kabar", "kak",
      "mas", "mbak", "om", "pak", "saya", "tahun", "tante", "thanks", "untuk"};
  return std::find(std::begin(kCues), std::end(kCues), normalized) != std::end(kCues);
}

// Titles, ranks and forms of address that stand before a name but are not
// part of it ("Mayor Suryo Santoso", "Drs . Ahmad Hamid"), normalised
// (normalize_token). Titles that are also given names (Sri, Putri, Ratu) are
// not listed.
bool is_title(std::string_view normalized) {
  static constexpr std::string_view kTitles[] = {
      "aipda", "aiptu", "akbp", "akp", "bapak", "bripda", "bripka", "brigjen", "brigpol", "briptu", "bu",
      "bupati", "camat", "dr", "dra", "drs", "gubernur", "ibu", "ipda", "iptu", "ir", "irjen", "jenderal",
      "jendral", "kapolda", "kapolres", "kapolri", "kapten", "kh", "ki", "kiai", "kolonel", "kombes", "komjen",
      "kompol", "kopda", "kopka", "koptu", "kyai", "laksamana", "letda", "letjen", "letkol", "lettu", "lurah",
      "marsekal", "mayjen", "mayor", "menteri", "mr", "mrs", "ms", "nona", "ny", "nyonya", "pak", "pelda",
      "peltu", "prada", "praka", "pratu", "presiden", "prof", "saudara", "saudari", "sdr", "sdri", "senator",
      "serda", "serka", "serma", "sertu", "tuan", "ustad", "ustadz", "ustaz", "walikota"};
  return std::find(std::begin(kTitles), std::end(kTitles), normalized) != std::end(kTitles);
}

// Academic degrees written after a name ("Budi Santoso, S.H., M.Kn."),
// normalised (normalize_token). They are not part of the name.
bool is_degree(std::string_view normalized) {
  static constexpr std::string_view kDegrees[] = {
      "a.md", "ak", "amd", "b.a", "b.sc", "ba", "bsc", "m.a", "m.ag", "m.b.a", "m.eng", "m.h", "m.hum", "m.kes",
      "m.kn", "m.kom", "m.m", "m.pd", "m.sc", "m.si", "m.sn", "m.t", "ma", "mba", "mh", "mkn", "mkom", "mm", "mpd",
      "msc", "msi", "mt", "ph.d", "phd", "s.ag", "s.e", "s.farm", "s.h", "s.hi", "s.hum", "s.ip", "s.kep", "s.ked",
      "s.kom", "s.pd", "s.psi", "s.si", "s.sos", "s.t", "se", "sh", "shi", "sip", "skep", "sked", "skom", "spd",
      "spsi", "ssi", "ssos", "st"};
  return std::find(std::begin(kDegrees), std::end(kDegrees), normalized) != std::end(kDegrees);
}

// A degree that is no surname either: written with an inner period
// ("S.H", "M.Si.") or of a form no name takes. "Ma", "Se", "Ba" and the
// like are taken for degrees only after a comma ("Jack Ma" keeps "Ma").
bool is_unmistakable_degree(std::string_view token, std::string_view normalized) {
  static constexpr std::string_view kPlain[] = {"amd", "mba", "mkn", "mkom", "mpd", "msc", "msi", "phd",
                                                "shi", "skep", "sked", "skom", "spd", "spsi", "ssi", "ssos"};
  return token.substr(0, token.size() - 1).find('.') != std::string_view::npos ||
         std::find(std::begin(kPlain), std::end(kPlain), normalized) != std::end(kPlain);
}

// A word written with a capital and then lower-case letters: "Waters", not
// "NASA", "iPhone" or "-".
bool is_capitalised_word(std::string_view token) {
  if (token.size() < 2 || !(token[0] >= 'A' && token[0] <= 'Z')) return false;
  for (size_t i = 1; i < token.size(); ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    if (!((c >= 'a' && c <= 'z') || c >= 0x80)) return false;
  }
  return true;
}

// A figure of a results line: a score or count ("2", "109"), a score
// pair ("2-1", "1:0"), a ratio (".558") or a dash for none. A number with a
// leading zero ("0812") or of four digits (a year) is none.
bool is_result_figure(std::string_view token) {
  if (token == "-") return true;
  size_t digits = 0, marks = 0;
  for (char c : token) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '-' || c == ':' || c == '.') {
      ++marks;
    } else {
      return false;
    }
  }
  return digits >= 1 && digits <= 3 + marks && marks <= 1 && !(token.size() > 1 && token[0] == '0');
}

bool has_digit(std::string_view token) { return token.find_first_of("0123456789") != std::string_view::npos; }

// A date as news datelines write it: "1996-08-22".
bool is_iso_date(std::string_view token) {
  if (token.size() != 10 || token[4] != '-' || token[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (token[i] < '0' || token[i] > '9') return false;
  }
  return true;
}

// A word of a team's or player's name in a results line: it opens with a
// capital (or a letter beyond ASCII) and holds no digit.
bool is_team_word(std::string_view token) {
  const auto c = static_cast<unsigned char>(token.empty() ? ' ' : token[0]);
  return ((c >= 'A' && c <= 'Z') || c >= 0x80) && !has_digit(token);
}

// Words and marks inside such a name ("Brighton & Hove", "St . Pauli",
// "Queen of the South").
bool is_team_joiner(std::string_view token) {
  static constexpr std::string_view kJoiners[] = {"&",  ".",   "'",  "'s", "-",  "of",
                                                  "the", "de", "del", "la", "van", "von"};
  return std::find(std::begin(kJoiners), std::end(kJoiners), token) != std::end(kJoiners);
}

double logit(double p) {
  p = std::clamp(p, 1e-6, 1 - 1e-6);
  return std::log(p / (1 - p));
}

}  // namespace

std::vector<std::string_view> token_words(std::string_view text, std::span<const TokenSpan> tokens) {
  std::vector<std::string_view> words;
  words.reserve(tokens.size());
  for (const TokenSpan& t : tokens) words.push_back(text.substr(t.begin, t.end - t.begin));
  return words;
}

std::vector<std::pair<size_t, size_t>> split_sentences(std::string_view text, std::span<const TokenSpan> tokens) {
  std::vector<std::pair<size_t, size_t>> sentences;
  size_t start = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i > start && text.substr(tokens[i - 1].end, tokens[i].begin - tokens[i - 1].end).find('\n') !=
                         std::string_view::npos) {
      sentences.emplace_back(start, i);
      start = i;
    }
    const std::string_view token = text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    // Nor does a decimal point glued to the digits after it (".558").
    const bool decimal_point = token == "." && i + 1 < tokens.size() && tokens[i].end == tokens[i + 1].begin &&
                               text[tokens[i + 1].begin] >= '0' && text[tokens[i + 1].begin] <= '9';
    if (ends_sentence(token) && !decimal_point &&
        !(i > start && token == "." &&
          closes_initial(text.substr(tokens[i - 1].begin, tokens[i - 1].end - tokens[i - 1].begin),
                         tokens[i - 1].end == tokens[i].begin))) {
      sentences.emplace_back(start, i + 1);
      start = i + 1;
    }
  }
  if (start < tokens.size()) sentences.emplace_back(start, tokens.size());
  return sentences;
}

Tagger::Tagger(std::shared_ptr<const Model> model)
    : model_(model ? std::move(model) : throw std::invalid_argument("the NER tagger needs a model")),
      extractor_(model_->gazetteer(), model_->hash_bits(), &model_->clusters()) {
  if (model_->has_second_stage()) stacked_.emplace(model_->second_stage_hash_bits());
}

namespace {

// Emission scores of a feature set under one weight table: the rows' i16
// weights summed per label, times the table's scale. The rows a word's
// tokens share are summed once per word.
void accumulate(const int16_t* table, float scale, const FeatureSet& features, std::vector<float>& out) {
  constexpr int kStride = ModelParameters::kRowStride;
  using Sums = std::array<int32_t, kStride>;
  const size_t n = features.size();
  out.resize(n * kNumLabels);
  const bool by_word = features.word_of.size() == n;
  std::vector<Sums> word_sums(by_word ? features.word_rows.size() : 0);
  std::vector<char> summed(word_sums.size());
  // The rows are scattered over a table larger than the caches; each is
  // fetched a few rows ahead of its use, which hides most of the misses.
  constexpr size_t kAhead = 12;
  const uint32_t* rows = features.rows.data();
  const size_t total = features.rows.size();
  auto add = [&](Sums& acc, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (i + kAhead < total) __builtin_prefetch(table + static_cast<size_t>(rows[i + kAhead]) * kStride);
      const int16_t* w = table + static_cast<size_t>(rows[i]) * kStride;
      for (int k = 0; k < kStride; ++k) acc[k] += w[k];
    }
  };
  for (size_t t = 0; t < n; ++t) {
    Sums acc{};
    size_t from = features.offsets[t];
    if (by_word) {
      const uint32_t w = features.word_of[t];
      const size_t shared = features.word_rows[w];
      if (!summed[w]) {
        add(word_sums[w], from, from + shared);
        summed[w] = 1;
      }
      acc = word_sums[w];
      from += shared;
    }
    add(acc, from, features.offsets[t + 1]);
    for (int y = 0; y < kNumLabels; ++y) out[t * kNumLabels + y] = scale * static_cast<float>(acc[y]);
  }
}

void check_tokens(std::string_view text, std::span<const TokenSpan> tokens) {
  size_t previous_end = 0;
  for (const TokenSpan& t : tokens) {
    if (t.begin < previous_end || t.end < t.begin || t.end > text.size()) {
      throw std::invalid_argument("NER tagger: token byte range [" + std::to_string(t.begin) + ", " +
                                  std::to_string(t.end) + ") is out of order or outside the text of " +
                                  std::to_string(text.size()) + " bytes");
    }
    previous_end = t.end;
  }
}

// The best labels of each sentence under `transitions`.
void best_labels(const TransitionScores& transitions, std::span<const float> emissions,
                 std::span<const std::pair<size_t, size_t>> sentences, std::span<int> labels) {
  for (const auto& [first, last] : sentences) {
    viterbi(transitions, emissions.subspan(first * kNumLabels, (last - first) * kNumLabels),
            labels.subspan(first, last - first));
  }
}

}  // namespace

void Tagger::first_stage(std::string_view text, std::span<const TokenSpan> tokens, std::span<const uint64_t> domains,
                         FirstStage& out, bool labels) const {
  check_tokens(text, tokens);
  out.words = token_words(text, tokens);
  out.sentences = split_sentences(text, tokens);
  extractor_.extract_sentences(out.words, out.sentences, out.features, domains);
  out.labels.clear();
  if (!labels) return;
  std::vector<float> emissions;
  accumulate(model_->row(0), model_->weight_scale(), out.features, emissions);
  out.labels.resize(tokens.size());
  best_labels(model_->transitions(), emissions, out.sentences, out.labels);
}

void Tagger::score(std::string_view text, std::span<const TokenSpan> tokens, std::span<const uint64_t> domains,
                   Scores& out) const {
  check_tokens(text, tokens);
  const std::vector<std::string_view> words = token_words(text, tokens);
  out.sentences = split_sentences(text, tokens);
  out.emissions.resize(tokens.size() * kNumLabels);
  // Sentences are scored in blocks of about kBlockTokens tokens, so that a
  // long text's features never pile up in memory; the second stage's view
  // of "elsewhere in the text" is the block.
  constexpr size_t kBlockTokens = 4096;
  FeatureSet features, second;
  std::vector<float> scores;
  std::vector<int> labels;
  std::vector<std::pair<size_t, size_t>> block;
  for (size_t next = 0; next < out.sentences.size();) {
    const size_t first = out.sentences[next].first;
    block.clear();
    while (next < out.sentences.size() &&
           (block.empty() || out.sentences[next].second - first <= kBlockTokens)) {
      block.emplace_back(out.sentences[next].first - first, out.sentences[next].second - first);
      ++next;
    }
    const size_t n = block.back().second;
    const auto block_words = std::span<const std::string_view>(words).subspan(first, n);
    extractor_.extract_sentences(block_words, block, features, domains);
    accumulate(model_->row(0), model_->weight_scale(), features, scores);
    if (stacked_) {
      labels.resize(n);
      best_labels(model_->transitions(), scores, block, labels);
      stacked_->extract(block_words, labels, block, features, model_->hash_bits(), second);
      accumulate(model_->second_stage_row(0), model_->second_stage_weight_scale(), second, scores);
    }
    std::copy(scores.begin(), scores.end(), out.emissions.begin() + static_cast<ptrdiff_t>(first * kNumLabels));
  }
}

double Tagger::confidence(double probability) const {
  const double z = model_->calibration_slope() * logit(probability) + model_->calibration_intercept();
  return 1.0 / (1.0 + std::exp(-z));
}

const TransitionScores& Tagger::transitions() const {
  return stacked_ ? model_->second_stage_transitions() : model_->transitions();
}

std::vector<Entity> Tagger::decode(std::span<const float> emissions) const {
  const size_t n = emissions.size() / kNumLabels;
  std::vector<int> labels(n);
  viterbi(transitions(), emissions, labels);
  const std::vector<LabelledSpan> spans = spans_from_labels(labels);
  std::vector<Entity> entities;
  if (spans.empty()) return entities;
  const Marginals marginals(transitions(), emissions, model_->temperature());
  for (const LabelledSpan& s : spans) {
    entities.push_back({s.type, s.begin, s.end, confidence(marginals.span_probability(s))});
  }
  return entities;
}

std::string_view guess_language(std::span<const std::string_view> words, std::string_view fallback) {
  // Frequent words of one language that are rare in the other's text
  // (names aside): "di" and "dan" are no English words, "the" and "of" no
  // Indonesian ones. 1: Indonesian, 2: English.
  static const std::unordered_map<std::string_view, int> kWords = [] {
    std::unordered_map<std::string_view, int> words;
    for (const std::string_view w :
         {"yang", "dan", "di", "ke", "dari", "ini", "itu", "dengan", "untuk", "pada", "tidak", "akan", "dalam",
          "adalah", "juga", "sudah", "saya", "ada", "kami", "mereka", "bisa", "atau", "oleh", "karena", "telah",
          "bahwa", "tersebut", "para", "kata", "belum", "sebagai", "seperti", "lebih", "kita", "aku"}) {
      words.emplace(w, 1);
    }
    for (const std::string_view w :
         {"the", "of", "and", "to", "is", "was", "for", "on", "that", "with", "by", "at", "from", "as", "he",
          "she", "it", "said", "his", "her", "has", "have", "were", "are", "be", "an", "which", "this", "will",
          "been", "their", "they", "after", "who", "would", "not", "but", "its", "had"}) {
      words.emplace(w, 2);
    }
    return words;
  }();
  size_t counts[3] = {0, 0, 0};
  for (const std::string_view w : words) {
    if (w.size() < 2 || w.size() > 8) continue;
    char lower[8];
    bool letters = true;
    for (size_t i = 0; i < w.size(); ++i) {
      const char c = w[i];
      letters &= (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (!letters) continue;
    if (const auto it = kWords.find(std::string_view(lower, w.size())); it != kWords.end()) ++counts[it->second];
  }
  // Two words at least, and three times as many as of the other language.
  const size_t id = counts[1], en = counts[2];
  if (en >= 2 && en > 3 * id) return "en";
  if (id >= 2 && id > 3 * en) return "id";
  return fallback;
}

uint64_t Tagger::language_domain(std::string_view language) {
  return domain_key("lang:" + std::string(language));
}

size_t Tagger::skip_opening_filler(std::string_view text, std::span<const TokenSpan> tokens, size_t begin,
                                   size_t end) const {
  const Gazetteer& gazetteer = model_->gazetteer();
  constexpr uint32_t kName =
      category_bit(GazetteerCategory::kIndonesianGivenName) | category_bit(GazetteerCategory::kEnglishGivenName) |
      category_bit(GazetteerCategory::kFamilyName) | category_bit(GazetteerCategory::kListedPerson) |
      category_bit(GazetteerCategory::kPersonNameWord);
  uint64_t whole = kEmptyPhraseHash;
  std::array<uint32_t, 8> categories{};
  if (end - begin > categories.size()) return begin;
  for (size_t i = begin; i < end; ++i) {
    const uint64_t h = hash_bytes(normalize_token(text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin)));
    whole = extend_phrase_hash(whole, h);
    categories[i - begin] = gazetteer.lookup(extend_phrase_hash(kEmptyPhraseHash, h));
  }
  // A listed name made of common words ("Bunga Citra Lestari") stays whole.
  if (gazetteer.lookup(whole) & category_bit(GazetteerCategory::kListedPerson)) return begin;
  size_t i = begin;
  while (i < end && (categories[i - begin] & category_bit(GazetteerCategory::kCommonWord)) &&
         !(categories[i - begin] & kName)) {
    ++i;
  }
  return i;
}

std::vector<Entity> Tagger::tag(std::string_view text, std::span<const TokenSpan> tokens,
                                std::string_view language) const {
  std::vector<uint64_t> domains;
  if (language == "id" || language == "en") {
    check_tokens(text, tokens);
    language = guess_language(token_words(text, tokens), language);
  }
  if (!language.empty()) domains.push_back(language_domain(language));
  Scores scores;
  score(text, tokens, domains, scores);
  auto word = [&](size_t i) { return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  auto has_capitals = [&](size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) {
      if (!word(i).empty() && word(i)[0] >= 'A' && word(i)[0] <= 'Z') return true;
    }
    return false;
  };
  auto starts_upper = [](std::string_view w) { return !w.empty() && w[0] >= 'A' && w[0] <= 'Z'; };
  auto is_lower_case_common_word = [&](std::string_view w) {
    if (!breaks_a_name(w)) return false;
    const std::string normalized = normalize_token(w);
    return !is_compass_point(normalized) &&
           (model_->gazetteer().lookup(phrase_hash({normalized})) & category_bit(GazetteerCategory::kCommonWord));
  };
  std::vector<Entity> entities;
  for (const auto& [first, last] : scores.sentences) {
    const auto emissions =
        std::span<const float>(scores.emissions).subspan(first * kNumLabels, (last - first) * kNumLabels);
    const bool cased = has_capitals(first, last);
    std::optional<Marginals> marginals;
    for (Entity e : decode(emissions)) {
      e.begin_token += first;
      e.end_token += first;
      while (e.begin_token < e.end_token && is_edge_punctuation(word(e.begin_token))) ++e.begin_token;
      while (e.end_token > e.begin_token && is_edge_punctuation(word(e.end_token - 1))) --e.end_token;
      // A person's or place's span ends before a full stop after a word
      // ("Budi."); the stop after an initial or a short abbreviation ("S.",
      // "Jr.") may belong to the name.
      if (e.type != EntityType::kOrganization && e.end_token - e.begin_token >= 2 && word(e.end_token - 1) == "." &&
          is_capitalised_word(word(e.end_token - 2)) && word(e.end_token - 2).size() >= 3) {
        --e.end_token;
      }
      // In a sentence written with capitals, a person of capitalised words
      // is cut at a lower-case word that is no particle of a name ("Clinton
      // met Yeltsin", not "Muhammad bin Salman"); each part's confidence is
      // its own probability as a span.
      bool split_at_lower_case = false;
      if (e.type == EntityType::kPerson && cased) {
        for (size_t i = e.begin_token; i < e.end_token && !split_at_lower_case; ++i) {
          split_at_lower_case = starts_upper(word(i));
        }
      }
      // A span that takes in a number, an address or a document word is cut
      // there into the names around it ("Budi Santoso NIK 3171..."); labels
      // and filler at the edges of each part are left out, and a part with
      // no capitalised word is no name.
      bool lower_case_cut = false;
      for (size_t begin = e.begin_token; begin < e.end_token;) {
        size_t end = begin;
        const bool after_lower_case_cut = lower_case_cut;
        lower_case_cut = false;
        while (end < e.end_token && !is_never_in_a_name(word(end)) &&
               !is_document_word(normalize_token(word(end)))) {
          if (split_at_lower_case && breaks_a_name(word(end))) {
            lower_case_cut = true;
            break;
          }
          ++end;
        }
        if (lower_case_cut && end == begin) {
          ++begin;
          continue;
        }
        Entity part = e;
        part.begin_token = begin;
        part.end_token = end;
        if (lower_case_cut || after_lower_case_cut) {
          if (!marginals) marginals.emplace(transitions(), emissions, model_->temperature());
          part.score = confidence(marginals->span_probability({e.type, begin - first, end - first}));
        }
        while (part.begin_token < part.end_token && is_label_or_filler(normalize_token(word(part.begin_token)))) {
          ++part.begin_token;
        }
        while (part.end_token > part.begin_token &&
               (is_label_or_filler(normalize_token(word(part.end_token - 1))) ||
                is_edge_punctuation(word(part.end_token - 1)))) {
          --part.end_token;
        }
        // An organisation or place does not end in a lower-case common word
        // of a sentence written with capitals: "periksa" in "KPK periksa
        // pejabat" is the verb after the name. Compass points ("Afrika
        // barat") and the second half of a hyphenated name ("Ponding -
        // ponding") stay.
        while (cased && part.type != EntityType::kPerson && part.end_token > part.begin_token + 1 &&
               word(part.end_token - 2) != "-" && is_lower_case_common_word(word(part.end_token - 1))) {
          --part.end_token;
        }
        while (part.end_token > part.begin_token + 1 && is_weekday(normalize_token(word(part.end_token - 1)))) {
          --part.end_token;
        }
        if (part.type == EntityType::kPerson && part.begin_token == first) {
          part.begin_token = skip_opening_filler(text, tokens, part.begin_token, part.end_token);
        }
        size_t capitalised = 0, upper_initial = 0;
        for (size_t i = part.begin_token; i < part.end_token; ++i) {
          const auto c = static_cast<unsigned char>(word(i).empty() ? ' ' : word(i)[0]);
          capitalised += is_capitalised_word(word(i));
          upper_initial += (c >= 'A' && c <= 'Z') || c >= 0x80;
        }
        const bool changed = part.begin_token != e.begin_token || part.end_token != e.end_token;
        // The span's confidence counts the doubt about the number it took
        // in, or that stands right after it ("Budi Santoso NIK 3171..."); a
        // name of two capitalised words cut free of it, or beside it, keeps
        // at least an even chance.
        const bool before_identifier = part.end_token < tokens.size() &&
                                       (is_never_in_a_name(word(part.end_token)) ||
                                        is_document_word(normalize_token(word(part.end_token))));
        if ((changed || before_identifier) && capitalised >= 2) part.score = std::max(part.score, 0.5);
        // In a sentence written with capitals, a person of lower-case
        // common words only ("apa kabar?") is chat, not a name someone
        // forgot to capitalise.
        if (part.type == EntityType::kPerson && upper_initial == 0 && part.begin_token < part.end_token &&
            has_capitals(first, last) &&
            skip_opening_filler(text, tokens, part.begin_token, part.end_token) == part.end_token) {
          part.end_token = part.begin_token;
        }
        if (part.begin_token < part.end_token && (upper_initial > 0 || !changed)) entities.push_back(part);
        begin = end + 1;
      }
    }
  }
  settle_report_lines(text, tokens, scores.sentences, model_->gazetteer(), entities);
  settle_addressed_names(text, tokens, model_->gazetteer(), entities);
  refine_person_names(text, tokens, entities);
  take_in_given_names(text, tokens, model_->gazetteer(), entities);
  return entities;
}

void settle_report_lines(std::string_view text, std::span<const TokenSpan> tokens,
                         std::span<const std::pair<size_t, size_t>> sentences, const Gazetteer& gazetteer,
                         std::vector<Entity>& entities) {
  auto word = [&](size_t i) { return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  constexpr uint32_t kPlace =
      category_bit(GazetteerCategory::kIndonesianPlace) | category_bit(GazetteerCategory::kWorldPlace) |
      category_bit(GazetteerCategory::kListedPlace) | category_bit(GazetteerCategory::kCountry);
  struct Name {
    size_t begin, end;
  };
  // The model's entity that covers most of a name, if any. Entities lie
  // inside sentences, sorted by their first token.
  auto covering = [&](const Name& n) {
    const Entity* best = nullptr;
    size_t best_overlap = 0;
    auto it = std::lower_bound(entities.begin(), entities.end(), n.begin,
                               [](const Entity& e, size_t token) { return e.end_token <= token; });
    for (; it != entities.end() && it->begin_token < n.end; ++it) {
      const size_t begin = std::max(it->begin_token, n.begin), end = std::min(it->end_token, n.end);
      if (end > begin && end - begin > best_overlap) best = &*it, best_overlap = end - begin;
    }
    return best;
  };
  // The gazetteer's categories of a name as a whole, and whether each of
  // its words is a common word.
  auto categories = [&](const Name& n, bool* common) {
    uint64_t phrase = kEmptyPhraseHash;
    *common = true;
    for (size_t i = n.begin; i < n.end; ++i) {
      const uint64_t h = hash_bytes(normalize_token(word(i)));
      phrase = extend_phrase_hash(phrase, h);
      *common = *common && (is_team_joiner(word(i)) || (gazetteer.lookup(extend_phrase_hash(kEmptyPhraseHash, h)) &
                                                        category_bit(GazetteerCategory::kCommonWord)));
    }
    return gazetteer.lookup(phrase);
  };
  // The name of capitalised words that starts at `i`, and where it ends.
  auto name_at = [&](size_t i, size_t last) {
    const size_t begin = i;
    while (i < last && (is_team_word(word(i)) || (i > begin && is_team_joiner(word(i))))) ++i;
    while (i > begin && !is_team_word(word(i - 1))) --i;
    return Name{begin, i};
  };
  std::vector<Entity> settled;
  std::vector<std::pair<size_t, size_t>> lines;
  for (const auto& [first, last] : sentences) {
    if (last - first < 2) continue;
    if (is_iso_date(word(last - 1))) {
      // A dateline: places separated by commas, then the date.
      std::vector<Name> names;
      size_t i = first;
      while (i < last - 1) {
        const Name n = name_at(i, last - 1);
        if (n.end == n.begin || n.end - n.begin > 6) break;
        names.push_back(n);
        i = n.end;
        if (i < last - 1 && word(i) == ",") ++i;
      }
      if (i != last - 1 || names.empty()) continue;
      lines.emplace_back(first, last);
      for (const Name& n : names) {
        const Entity* best = covering(n);
        bool common;
        const bool place = categories(n, &common) & kPlace;
        if (best != nullptr && best->type == EntityType::kPerson && !place) {
          settled.push_back({EntityType::kPerson, n.begin, n.end, best->score});
        } else if (best != nullptr || place) {
          settled.push_back({EntityType::kLocation, n.begin, n.end, best != nullptr ? best->score : 0.5});
        }
      }
      continue;
    }
    if (last - first < 3 || !is_result_figure(word(last - 1))) continue;
    // A results line: names, each followed by its figures; a ratio may
    // come as "." and its digits.
    std::vector<Name> names;
    std::vector<int> figures;
    bool ok = true;
    for (size_t i = first; i < last && ok;) {
      const Name n = name_at(i, last);
      ok = n.end > n.begin && n.end - n.begin <= 6;
      names.push_back(n);
      i = n.end;
      int count = 0;
      for (; i < last && (is_result_figure(word(i)) || word(i) == "."); ++i) count += has_digit(word(i));
      figures.push_back(count);
      ok = ok && count > 0;
    }
    const bool fixture = names.size() == 2 && figures[0] == 1 && figures[1] == 1;
    const bool table = names.size() == 1 && figures[0] >= 3;
    if (!ok || !(fixture || table)) continue;
    lines.emplace_back(first, last);
    for (const Name& n : names) {
      const Entity* best = covering(n);
      bool common;
      const uint32_t listed = categories(n, &common);
      bool long_word = false;
      for (size_t i = n.begin; i < n.end; ++i) long_word = long_word || word(i).size() >= 4;
      if (best == nullptr && !(fixture && long_word && !common)) continue;
      Entity e{EntityType::kOrganization, n.begin, n.end, best != nullptr ? best->score : 0.5};
      if (best != nullptr && best->type == EntityType::kPerson) e.type = EntityType::kPerson;
      if (listed & category_bit(GazetteerCategory::kCountry)) e.type = EntityType::kLocation;
      settled.push_back(e);
    }
  }
  if (lines.empty()) return;
  std::vector<bool> in_a_line(tokens.size(), false);
  for (const auto& [first, last] : lines) std::fill(in_a_line.begin() + first, in_a_line.begin() + last, true);
  std::erase_if(entities, [&](const Entity& e) { return in_a_line[e.begin_token]; });
  entities.insert(entities.end(), settled.begin(), settled.end());
  std::sort(entities.begin(), entities.end(),
            [](const Entity& a, const Entity& b) { return a.begin_token < b.begin_token; });
}

void settle_addressed_names(std::string_view text, std::span<const TokenSpan> tokens, const Gazetteer& gazetteer,
                            std::vector<Entity>& entities) {
  auto word = [&](size_t i) { return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  constexpr uint32_t kGiven =
      category_bit(GazetteerCategory::kIndonesianGivenName) | category_bit(GazetteerCategory::kEnglishGivenName);
  constexpr uint32_t kName =
      kGiven | category_bit(GazetteerCategory::kFamilyName) | category_bit(GazetteerCategory::kPersonNameWord);
  auto categories = [&](size_t i) {
    return gazetteer.lookup(phrase_hash({normalize_token(word(i))}));
  };
  // The entity of each token, if any (kNone).
  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> at(tokens.size(), kNone);
  for (size_t k = 0; k < entities.size(); ++k) {
    for (size_t i = entities[k].begin_token; i < entities[k].end_token; ++i) at[i] = k;
  }
  const size_t found = entities.size();
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (!is_capitalised_word(word(i)) || !is_address_cue(normalize_token(word(i - 1))) ||
        (categories(i) & kGiven) == 0 || is_month(normalize_token(word(i)))) {
      continue;
    }
    size_t end = i + 1;
    while (end < tokens.size() && at[end] == at[i] && is_capitalised_word(word(end)) && (categories(end) & kName)) {
      ++end;
    }
    if (at[i] == kNone) {
      entities.push_back({EntityType::kPerson, i, end, 0.5});
    } else if (Entity& e = entities[at[i]];
               e.score < 0.5 && e.begin_token == i && (e.type == EntityType::kPerson || e.end_token == i + 1)) {
      e.type = EntityType::kPerson;
      e.score = 0.5;
    }
    i = end - 1;
  }
  if (entities.size() > found) {
    std::sort(entities.begin(), entities.end(),
              [](const Entity& a, const Entity& b) { return a.begin_token < b.begin_token; });
  }
}

void take_in_given_names(std::string_view text, std::span<const TokenSpan> tokens, const Gazetteer& gazetteer,
                         std::vector<Entity>& entities) {
  auto word = [&](size_t i) { return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  constexpr uint32_t kGiven =
      category_bit(GazetteerCategory::kIndonesianGivenName) | category_bit(GazetteerCategory::kEnglishGivenName);
  std::vector<bool> covered(tokens.size(), false);
  for (const Entity& e : entities) std::fill(covered.begin() + e.begin_token, covered.begin() + e.end_token, true);
  for (Entity& e : entities) {
    if (e.type != EntityType::kPerson) continue;
    while (e.begin_token > 0 && !covered[e.begin_token - 1] && is_capitalised_word(word(e.begin_token - 1))) {
      const std::string n = normalize_token(word(e.begin_token - 1));
      const uint32_t categories = gazetteer.lookup(phrase_hash({n}));
      if (!(categories & kGiven) || (categories & category_bit(GazetteerCategory::kCommonWord)) || is_title(n) ||
          is_month(n) || is_weekday(n)) {
        break;
      }
      covered[--e.begin_token] = true;
    }
  }
}

void refine_person_names(std::string_view text, std::span<const TokenSpan> tokens, std::vector<Entity>& entities) {
  auto word = [&](size_t i) { return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  for (Entity& e : entities) {
    if (e.type != EntityType::kPerson) continue;
    // A title before the name is left out, with the period of a spaced
    // abbreviation ("Drs . Ahmad").
    while (e.end_token - e.begin_token > 1 && is_title(normalize_token(word(e.begin_token)))) {
      ++e.begin_token;
      if (e.end_token - e.begin_token > 1 && word(e.begin_token) == ".") ++e.begin_token;
    }
  }
  for (Entity& e : entities) {
    if (e.type != EntityType::kPerson) continue;
    // Degrees after the name are left out, with the commas and periods
    // around them; "Ph.D." comes as "Ph", ".", "D.".
    size_t k = e.end_token;
    bool degree = false;
    while (k > e.begin_token + 1) {
      const std::string_view w = word(k - 1);
      const std::string n = normalize_token(w);
      if (w == "," || w == ".") {
        --k;
      } else if (n == "d" && k > e.begin_token + 3 && word(k - 2) == "." && normalize_token(word(k - 3)) == "ph") {
        k -= 3;
        degree = true;
      } else if (is_degree(n) && (is_unmistakable_degree(w, n) || word(k - 2) == ",")) {
        degree = true;
        --k;
      } else {
        break;
      }
    }
    if (degree) e.end_token = k;
  }
  // The capitalised words of confident person names, with the best confidence of each.
  std::unordered_map<std::string_view, double> names;
  std::vector<bool> covered(tokens.size(), false);
  for (const Entity& e : entities) {
    for (size_t i = e.begin_token; i < e.end_token; ++i) {
      covered[i] = true;
      if (e.type != EntityType::kPerson || e.score < 0.5 || !is_capitalised_word(word(i)) ||
          is_title(normalize_token(word(i)))) {
        continue;
      }
      double& best = names[word(i)];
      best = std::max(best, e.score);
    }
  }
  if (names.empty()) return;
  auto score_of = [&](size_t i) {
    if (covered[i]) return 0.0;
    const auto it = names.find(word(i));
    return it == names.end() ? 0.0 : it->second;
  };
  const size_t found = entities.size();
  for (size_t i = 0; i < tokens.size();) {
    double score = score_of(i);
    if (score == 0.0) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    for (double next; end < tokens.size() && (next = score_of(end)) > 0.0; ++end) score = std::min(score, next);
    entities.push_back({EntityType::kPerson, i, end, score});
    i = end;
  }
  if (entities.size() > found) {
    std::sort(entities.begin(), entities.end(),
              [](const Entity& a, const Entity& b) { return a.begin_token < b.begin_token; });
  }
}

}  // namespace tesk_privacy::ner
