#include "recognition/indonesian_lemmatizer.h"

namespace tesk_privacy::recognition {
namespace {

// Roots that end in the letters of a particle or clitic.
constexpr std::string_view kRoots[] = {
    // -nya
    "tanya", "punya", "hanya", "bahwasanya",
    // -ku
    "aku", "buku", "kuku", "suku", "paku", "saku", "laku", "baku", "siku", "beku", "kaku", "tungku",
    "tengku", "liku", "maluku", "pangku", "ngaku",
    // -mu
    "ilmu", "jamu", "temu", "tamu", "kamu", "ramu", "semu", "jemu",
    // -lah
    "sekolah", "masalah", "salah", "kalah", "olah", "telah", "lelah", "belah", "jumlah", "istilah",
    "kilah", "galah", "celah", "ulah", "bilah", "pilah", "tulah", "makalah", "allah", "abdullah",
    "adalah", "ialah", "walah", "wallah", "mengalah",
    // -kah
    "langkah", "nikah", "sedekah", "berkah", "mekah", "mekkah", "rekah", "akikah", "aqikah", "nafkah",
    // -pun
    "ampun", "rumpun", "himpun",
};

// Prefixes in front of which a root keeps its protection ("ber" + "tanya").
constexpr std::string_view kPrefixes[] = {
    "ber", "be", "ter", "te", "me", "mem", "men", "meng", "meny", "pe", "pem", "pen", "peng",
    "peny", "per", "peri", "ke", "se", "di",
};

constexpr std::string_view kParticles[] = {"lah", "kah", "pun"};
constexpr std::string_view kPossessives[] = {"nya", "ku", "mu"};

// A strip must leave a root of at least this many letters.
constexpr size_t kMinRoot = 3;

bool ends_with(std::string_view w, std::string_view suffix) {
  return w.size() >= suffix.size() && w.compare(w.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool is_ascii_lower_word(std::string_view w) {
  if (w.empty() || w.front() == '-' || w.back() == '-') return false;
  for (char c : w) {
    if ((c < 'a' || c > 'z') && c != '-') return false;
  }
  return true;
}

}  // namespace

IndonesianLemmatizer::IndonesianLemmatizer() : roots_(std::begin(kRoots), std::end(kRoots)) {}

bool IndonesianLemmatizer::ends_in_protected_root(std::string_view word) const {
  const size_t hyphen = word.rfind('-');
  if (hyphen != std::string_view::npos) word = word.substr(hyphen + 1);
  if (roots_.contains(word)) return true;
  for (std::string_view prefix : kPrefixes) {
    if (word.size() > prefix.size() && word.starts_with(prefix) && roots_.contains(word.substr(prefix.size()))) {
      return true;
    }
  }
  return false;
}

std::string IndonesianLemmatizer::lemmatize(std::string_view word) const {
  if (!is_ascii_lower_word(word)) return std::string(word);
  auto strip_one = [&](std::string_view w, const auto& suffixes) {
    for (std::string_view suffix : suffixes) {
      if (!ends_with(w, suffix)) continue;
      const std::string_view rest = w.substr(0, w.size() - suffix.size());
      const size_t hyphen = rest.rfind('-');
      const size_t root_len = hyphen == std::string_view::npos ? rest.size() : rest.size() - hyphen - 1;
      if (root_len >= kMinRoot && !ends_in_protected_root(w)) return rest;
      return w;
    }
    return w;
  };
  std::string_view w = strip_one(word, kParticles);
  w = strip_one(w, kPossessives);
  return std::string(w);
}

}  // namespace tesk_privacy::recognition
