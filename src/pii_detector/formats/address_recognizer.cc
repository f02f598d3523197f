#include "address_recognizer.h"

#include <cctype>
#include <algorithm>
#include <string>

#include "cues.h"
#include "tesk_privacy/pii_detector/format_entities.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

enum class Part { kNone, kStreet, kNumber, kNeighbourhood, kArea, kOther };

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

Part keyword(std::string_view lowered) {
  struct Entry {
    std::string_view word;
    Part part;
  };
  static constexpr Entry kKeywords[] = {
      {"jl", Part::kStreet},         {"jln", Part::kStreet},       {"jalan", Part::kStreet},
      {"gg", Part::kStreet},         {"gang", Part::kStreet},      {"perum", Part::kStreet},
      {"perumahan", Part::kStreet},  {"komp", Part::kStreet},      {"komplek", Part::kStreet},
      {"kompleks", Part::kStreet},   {"blok", Part::kNumber},      {"ruko", Part::kStreet},
      {"apartemen", Part::kStreet},  {"apt", Part::kStreet},       {"no", Part::kNumber},
      {"nomor", Part::kNumber},      {"kav", Part::kNumber},       {"unit", Part::kNumber},
      {"km", Part::kNumber},
      {"rt", Part::kNeighbourhood},  {"rw", Part::kNeighbourhood}, {"rt/rw", Part::kNeighbourhood},
      {"kel", Part::kArea},          {"kelurahan", Part::kArea},   {"desa", Part::kArea},
      {"ds", Part::kArea},           {"kel/desa", Part::kArea},    {"dusun", Part::kArea},
      {"dsn", Part::kArea},          {"dukuh", Part::kArea},       {"kampung", Part::kArea},
      {"kp", Part::kArea},           {"kec", Part::kArea},         {"kecamatan", Part::kArea},
      {"kab", Part::kArea},          {"kabupaten", Part::kArea},   {"kota", Part::kArea},
      {"kodya", Part::kArea},        {"prov", Part::kArea},        {"provinsi", Part::kArea},
      {"kode", Part::kOther},        {"pos", Part::kOther},        {"kodepos", Part::kOther},
  };
  for (const Entry& e : kKeywords) {
    if (e.word == lowered) return e.part;
  }
  return Part::kNone;
}

// Words that end an address even when written with a capital.
bool stops_address(std::string_view lowered) {
  static constexpr std::string_view kStops[] = {
      "nik",   "ktp",  "kk",    "npwp", "hp",    "telp",  "tlp",   "telepon", "wa",     "email", "e-mail",
      "hub",   "hubungi", "atas", "an", "untuk", "utk",   "yang",  "yg",      "saya",   "aku",   "kami",
      "mohon", "tolong", "terima", "silakan", "harap", "dan", "atau", "di",    "ke",     "dari",  "pada",
      "sejak", "ya",   "kak",   "pak",  "bu",    "no.hp", "nohp",  "tgl",     "tanggal", "lahir", "paspor",
      "sim",   "rek",  "rekening", "sdr", "bapak", "ibu",  "a.n",   "alamat",  "dengan", "dgn",   "sekarang",
      "senin", "selasa", "rabu", "kamis", "jumat", "sabtu", "minggu"};
  return std::find(std::begin(kStops), std::end(kStops), lowered) != std::end(kStops);
}

// Whether a five-digit postcode is the next word after byte `i`.
bool postcode_follows(std::string_view t, size_t i) {
  while (i < t.size() && (t[i] == ' ' || t[i] == ',')) ++i;
  size_t digits = 0;
  while (i + digits < t.size() && std::isdigit(static_cast<unsigned char>(t[i + digits]))) ++digits;
  return digits == 5 && (i + digits == t.size() || !std::isalnum(static_cast<unsigned char>(t[i + digits])));
}

bool is_word_byte(unsigned char c) { return std::isalnum(c) || c >= 0x80 || c == '.' || c == '\'' || c == '-'; }

}  // namespace

AddressRecognizer::AddressRecognizer(std::string supported_language)
    : FormatRecognizer({FormatEntities::ADDRESS}, "AddressRecognizer", std::move(supported_language), {},
                       /*judges_context=*/true),
      start_(compile(
          R"(\b(?:jl|jln|jalan|gg|gang|perum|perumahan|komp|komplek|kompleks|blok|ruko|apartemen|rt|kel|kelurahan|desa|kec|kecamatan|dusun|dsn)\b)")) {}

void AddressRecognizer::find(const Utf8Text& text, const std::vector<std::string>&, std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  size_t covered_until = 0;
  for (const regex::MatchSpan& m : start_->find_spans(text)) {
    if (m.byte_start < covered_until) continue;
    int street = 0, number = 0, neighbourhood = 0, area = 0, postcode = 0;
    size_t end = m.byte_start;
    size_t i = m.byte_start;
    size_t tokens = 0;
    bool first = true;
    int after_keyword = 0;  // words since a street or area keyword, 0 when none
    while (i < t.size() && tokens < 48) {
      // Separators; a line break only when the next line goes on with a keyword.
      size_t j = i;
      bool line_break = false;
      while (j < t.size() && (t[j] == ' ' || t[j] == '\t' || t[j] == ',' || t[j] == ':' || t[j] == '/' ||
                              t[j] == '\n' || t[j] == '\r')) {
        line_break |= t[j] == '\n';
        ++j;
      }
      if (j == t.size()) break;
      size_t k = j;
      while (k < t.size() && (is_word_byte(static_cast<unsigned char>(t[k])) ||
                              (t[k] == '/' && k + 1 < t.size() && std::isalnum(static_cast<unsigned char>(t[k + 1])) &&
                               k > j && std::isalnum(static_cast<unsigned char>(t[k - 1]))))) {
        ++k;
      }
      if (k == j) break;
      const std::string_view word = t.substr(j, k - j);
      const std::string lowered = lower(word);
      const Part part = keyword(lowered);
      if (line_break && part == Part::kNone) break;
      const bool digits = std::isdigit(static_cast<unsigned char>(word[0])) != 0;
      const bool capital = std::isupper(static_cast<unsigned char>(word[0])) != 0;
      if (part == Part::kNone && !first) {
        if (stops_address(lowered)) break;
        // Names are capitalised, except in chat, where up to three words
        // after a street or area keyword name it ("jl kenanga no 5"), and a
        // city comes before its postcode ("bekasi 17113").
        if (!digits && !capital && (after_keyword == 0 || after_keyword > 3) && !postcode_follows(t, k)) break;
      }
      after_keyword = part == Part::kStreet || part == Part::kArea ? 1 : after_keyword > 0 && !digits ? after_keyword + 1 : 0;
      switch (part) {
        case Part::kStreet: ++street; break;
        case Part::kNumber: ++number; break;
        case Part::kNeighbourhood: ++neighbourhood; break;
        case Part::kArea: ++area; break;
        default: break;
      }
      if (digits && lowered.size() == 5 &&
          std::all_of(lowered.begin(), lowered.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        ++postcode;
      }
      // A period after a word that is no abbreviation ends the sentence.
      const bool sentence_end = word.back() == '.' && part == Part::kNone && !first &&
                                (k == t.size() || t[k] == ' ' || t[k] == '\n');
      end = sentence_end ? k - 1 : k;
      first = false;
      ++tokens;
      i = k;
      if (sentence_end) break;
    }
    while (end > m.byte_start && (t[end - 1] == '.' || t[end - 1] == '-')) --end;
    // The keyword alone, or a keyword and nothing that could be its name.
    if (end <= m.byte_start || tokens < 2) continue;
    const int strong = street + number + neighbourhood + postcode;
    const bool whole = (street > 0 && (number + neighbourhood + postcode) > 0) || neighbourhood > 0 ||
                       (strong >= 1 && area >= 1) || strong >= 2;
    const bool labelled = cues_before(t, m.byte_start).nearest == Cue::kAddress;
    double score = whole ? (labelled ? 0.95 : 0.75) : (labelled ? 0.85 : 0.35);
    if (neighbourhood > 0 && street == 0 && number == 0 && area == 0 && !labelled) score = 0.4;
    out.push_back({FormatEntities::ADDRESS, m.byte_start, end, score, whole ? "street address" : "street name"});
    covered_until = end;
  }
}

}  // namespace tesk_privacy::pii_detector::formats
