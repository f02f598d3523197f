#include "cues.h"

#include <cctype>
#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

namespace tesk_privacy::pii_detector::formats {
namespace {

struct Phrase {
  std::string_view words[3];  // in reading order; unused slots empty
  Cue cue;
};

// Longer phrases first, so "kartu keluarga" wins over "kartu".
constexpr Phrase kPhrases[] = {
    {{"nomor", "induk", "kependudukan"}, Cue::kNik},
    {{"tempat", "tanggal", "lahir"}, Cue::kDate},
    {{"surat", "izin", "mengemudi"}, Cue::kDrivingLicence},
    {{"induk", "kependudukan"}, Cue::kNik},
    {{"kartu", "keluarga"}, Cue::kFamilyCard},
    {{"family", "card"}, Cue::kFamilyCard},
    {{"kartu", "kredit"}, Cue::kCard},
    {{"credit", "card"}, Cue::kCard},
    {{"kartu", "debit"}, Cue::kCard},
    {{"debit", "card"}, Cue::kCard},
    {{"master", "card"}, Cue::kCard},
    {{"card", "number"}, Cue::kCard},
    {{"virtual", "account"}, Cue::kBank},
    {{"nomor", "polisi"}, Cue::kPlate},
    {{"no", "polisi"}, Cue::kPlate},
    {{"tax", "id"}, Cue::kNpwp},
    {{"jaminan", "kesehatan"}, Cue::kBpjs},
    {{"jaminan", "sosial"}, Cue::kBpjs},
    {{"social", "security"}, Cue::kBpjs},
    {{"e", "ktp"}, Cue::kNik},
    {{"no", "hp"}, Cue::kPhone},
    {{"date", "of", "birth"}, Cue::kDate},
    {{"tinggal", "di"}, Cue::kAddress},
    {{"kirim", "ke"}, Cue::kAddress},
    {{"dikirim", "ke"}, Cue::kAddress},
    {{"antar", "ke"}, Cue::kAddress},
};

struct Word {
  std::string_view text;
  Cue cue;
};

constexpr Word kWords[] = {
    {"nik", Cue::kNik}, {"ktp", Cue::kNik}, {"ektp", Cue::kNik}, {"kependudukan", Cue::kNik},
    {"kk", Cue::kFamilyCard}, {"nkk", Cue::kFamilyCard}, {"npwp", Cue::kNpwp},
    {"bpjs", Cue::kBpjs}, {"jkn", Cue::kBpjs}, {"kis", Cue::kBpjs}, {"kpj", Cue::kBpjs},
    {"bpjamsostek", Cue::kBpjs}, {"sim", Cue::kDrivingLicence}, {"paspor", Cue::kPassport},
    {"passport", Cue::kPassport}, {"pasport", Cue::kPassport}, {"cc", Cue::kCard}, {"visa", Cue::kCard},
    {"mastercard", Cue::kCard}, {"amex", Cue::kCard}, {"jcb", Cue::kCard}, {"kartu", Cue::kCard},
    {"card", Cue::kCard}, {"cvv", Cue::kCard}, {"rek", Cue::kBank}, {"rekening", Cue::kBank},
    {"norek", Cue::kBank}, {"rekg", Cue::kBank}, {"account", Cue::kBank}, {"acc", Cue::kBank},
    {"bank", Cue::kBank}, {"bca", Cue::kBank}, {"bni", Cue::kBank}, {"bri", Cue::kBank},
    {"mandiri", Cue::kBank}, {"bsi", Cue::kBank}, {"cimb", Cue::kBank}, {"niaga", Cue::kBank},
    {"danamon", Cue::kBank}, {"permata", Cue::kBank}, {"btn", Cue::kBank}, {"bjb", Cue::kBank},
    {"ocbc", Cue::kBank}, {"panin", Cue::kBank}, {"maybank", Cue::kBank}, {"muamalat", Cue::kBank},
    {"jago", Cue::kBank}, {"seabank", Cue::kBank}, {"jenius", Cue::kBank}, {"btpn", Cue::kBank},
    {"va", Cue::kBank}, {"transfer", Cue::kBank}, {"tf", Cue::kBank}, {"hp", Cue::kPhone},
    {"wa", Cue::kPhone}, {"whatsapp", Cue::kPhone}, {"telp", Cue::kPhone}, {"tlp", Cue::kPhone},
    {"telepon", Cue::kPhone}, {"telpon", Cue::kPhone}, {"phone", Cue::kPhone}, {"tel", Cue::kPhone},
    {"hubungi", Cue::kPhone}, {"kontak", Cue::kPhone}, {"ponsel", Cue::kPhone}, {"mobile", Cue::kPhone},
    {"cell", Cue::kPhone}, {"fax", Cue::kPhone}, {"sms", Cue::kPhone}, {"call", Cue::kPhone},
    {"hape", Cue::kPhone}, {"nohp", Cue::kPhone}, {"cp", Cue::kPhone}, {"telegram", Cue::kPhone},
    {"plat", Cue::kPlate}, {"pelat", Cue::kPlate}, {"nopol", Cue::kPlate}, {"tnkb", Cue::kPlate},
    {"kendaraan", Cue::kPlate}, {"mobil", Cue::kPlate}, {"motor", Cue::kPlate}, {"stnk", Cue::kPlate},
    {"tgl", Cue::kDate}, {"tanggal", Cue::kDate}, {"lahir", Cue::kDate}, {"ttl", Cue::kDate},
    {"dob", Cue::kDate}, {"born", Cue::kDate}, {"birth", Cue::kDate}, {"jadwal", Cue::kDate},
    {"pukul", Cue::kDate}, {"jam", Cue::kDate},
    {"alamat", Cue::kAddress}, {"address", Cue::kAddress}, {"domisili", Cue::kAddress},
    {"rumah", Cue::kAddress}, {"lokasi", Cue::kAddress}, {"bertempat", Cue::kAddress},
    {"gaji", Cue::kMoney}, {"upah", Cue::kMoney}, {"biaya", Cue::kMoney}, {"bayar", Cue::kMoney},
    {"saldo", Cue::kMoney}, {"tagihan", Cue::kMoney}, {"cicilan", Cue::kMoney}, {"pinjaman", Cue::kMoney},
};

// Words that stand between a label and its value without changing what the
// value is: "nomor KK saya adalah ...", "rek BCA a.n. ...".
constexpr std::string_view kFiller[] = {
      "a",     "adalah", "adlh",     "aku",   "an",     "anda",    "asli",   "atas",  "atau",  "b",     "baru",
      "berikut", "bro",  "bu",       "c",     "d",      "dan",     "dengan", "dgn",   "di",    "gan",   "i",
      "ia",    "ialah",  "id",       "ii",    "ini",    "is",      "itu",    "jadi",  "kak",   "kamu",  "ke",
      "lama",  "lengkap", "lengkapnya", "mas", "mbak",  "menjadi", "mohon",  "my",    "n",     "nama",  "nmr",
      "no",    "nomer",  "nomor",    "nomornya", "nr",  "num",     "number", "nya",   "of",    "pak",   "resmi",
      "sbb",   "sdh",    "sebagai",  "sesuai", "sis",   "sudah",   "sy",     "saya",  "terdaftar", "the", "tsb",
      "tersebut", "udah", "untuk",   "utk",   "via",    "ya",      "yaitu",  "yakni", "yang",  "yg",    "your"};

// What a word is to the walk back: a cue of its own, filler, the last word
// of a phrase. One hash lookup per word.
struct WordInfo {
  Cue cue = Cue::kNone;
  bool filler = false;
  bool ends_phrase = false;
};

const WordInfo& info(std::string_view w) {
  static const std::unordered_map<std::string_view, WordInfo> table = [] {
    std::unordered_map<std::string_view, WordInfo> t;
    for (const Word& k : kWords) t[k.text].cue = k.cue;
    for (std::string_view f : kFiller) t[f].filler = true;
    for (const Phrase& p : kPhrases) {
      size_t n = 0;
      while (n < 3 && !p.words[n].empty()) ++n;
      t[p.words[n - 1]].ends_phrase = true;
    }
    return t;
  }();
  static const WordInfo kNothing;
  const auto it = table.find(w);
  return it == table.end() ? kNothing : it->second;
}

Cue word_cue(std::string_view w) { return info(w).cue; }

bool is_ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Up to eight lower-cased words, nearest first, held without allocation.
class RecentWords {
 public:
  static constexpr size_t kMaxWords = 8;
  static constexpr size_t kMaxLength = 24;  // longer words are no cues; kept cut short

  size_t size() const { return count_; }
  std::string_view operator[](size_t i) const { return {chars_[i], lengths_[i]}; }
  void push(std::string_view word) {
    const size_t n = std::min(word.size(), kMaxLength);
    for (size_t k = 0; k < n; ++k) {
      const char c = word[k];
      chars_[count_][k] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    lengths_[count_++] = n;
  }

 private:
  char chars_[kMaxWords][kMaxLength];
  size_t lengths_[kMaxWords];
  size_t count_ = 0;
};

// The cue of the phrase, if any, that ends at words[i] (words are nearest
// first, so the phrase's last word is words[i], its first words[i + n - 1]).
Cue phrase_cue(const RecentWords& words, size_t i, size_t* length) {
  const WordInfo& word = info(words[i]);
  if (!word.ends_phrase) {
    *length = 1;
    return word.cue;
  }
  for (const Phrase& p : kPhrases) {
    size_t n = 0;
    while (n < 3 && !p.words[n].empty()) ++n;
    if (i + n > words.size()) continue;
    bool same = true;
    for (size_t k = 0; k < n && same; ++k) same = words[i + k] == p.words[n - 1 - k];
    if (same) {
      *length = n;
      return p.cue;
    }
  }
  *length = 1;
  return word_cue(words[i]);
}

}  // namespace

bool is_label_or_filler(std::string_view word) {
  RecentWords lowered;  // lower-cased without allocating
  lowered.push(word);
  const WordInfo& w = info(lowered[0]);
  return w.filler || w.cue != Cue::kNone;
}

CueScan cues_before(std::string_view text, size_t pos) {
  CueScan scan;
  scan.glued = pos > 0 && is_ascii_letter(static_cast<unsigned char>(text[pos - 1]));
  RecentWords words;
  int line_breaks = 0;
  size_t i = pos;
  bool ended = false;
  // Reads the next word back from i; false when the walk has ended.
  auto read_word = [&]() {
    while (!ended && words.size() < RecentWords::kMaxWords && i > 0) {
      const auto c = static_cast<unsigned char>(text[i - 1]);
      if ((c >= '0' && c <= '9') || (c == '\n' && ++line_breaks > 1)) break;
      if (!is_ascii_letter(c) && c < 0x80) {
        --i;
        continue;
      }
      size_t begin = i;
      while (begin > 0 && (is_ascii_letter(static_cast<unsigned char>(text[begin - 1])) ||
                           static_cast<unsigned char>(text[begin - 1]) >= 0x80)) {
        --begin;
      }
      words.push(text.substr(begin, i - begin));
      i = begin;
      return true;
    }
    ended = true;
    return false;
  };
  // Words are judged nearest first, as soon as the two beyond them (the rest
  // of a phrase ending there) have been read.
  int others = 0;
  for (size_t k = 0;;) {
    while (words.size() < k + 3 && read_word()) {
    }
    if (k >= words.size()) break;
    size_t length = 1;
    const Cue cue = phrase_cue(words, k, &length);
    if (cue != Cue::kNone) {
      if (scan.nearest == Cue::kNone) scan.nearest = cue;
      if (k == 0 && scan.glued) scan.glued_is_cue = true;
      scan.all |= cue_bit(cue);
    } else if (!info(words[k]).filler && ++others > 3) {
      break;
    }
    k += length;
  }
  return scan;
}

uint32_t cues_after(std::string_view text, size_t pos) {
  uint32_t all = 0;
  int words = 0;
  size_t i = pos;
  while (words < 4 && i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c >= '0' && c <= '9') || c == '\n') break;
    if (!is_ascii_letter(c)) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && is_ascii_letter(static_cast<unsigned char>(text[end]))) ++end;
    std::string w(text.substr(i, end - i));
    for (char& ch : w) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const Cue cue = word_cue(w);
    if (cue != Cue::kNone) all |= cue_bit(cue);
    ++words;
    i = end;
  }
  return all;
}

}  // namespace tesk_privacy::pii_detector::formats
