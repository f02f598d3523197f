// IndonesianLemmatizer: strips the particles -lah, -kah, -pun and then the
// possessive clitics -nya, -ku, -mu from an Indonesian word ("rumahnyalah" ->
// "rumah", "apakah" -> "apa", "rekeningmu" -> "rekening"). Roots that merely
// end in those letters ("sekolah", "buku", "tanya", "ilmu", "langkah", "ampun")
// stay whole, also behind a prefix ("bersekolah", "mengaku", "bertanya") or in
// a reduplication ("buku-buku"); a strip that would leave fewer than three
// letters is not made. Prefixes are left alone.
//
//   IndonesianLemmatizer id;
//   id.lemmatize("bukunya");   // "buku"
//   id.lemmatize("buku");      // "buku"
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "recognition/lemmatizer.h"

namespace tesk_privacy::recognition {

class IndonesianLemmatizer : public Lemmatizer {
 public:
  IndonesianLemmatizer();
  std::string lemmatize(std::string_view word) const override;

 private:
  // The word ends in a root that looks suffixed.
  bool ends_in_protected_root(std::string_view word) const;

  std::unordered_set<std::string_view> roots_;
};

}  // namespace tesk_privacy::recognition
