// A tiny BIOES tagging model in the hub format (tiny model + WordPiece
// fixture tokenizer) whose tags are fixed per token, for the tagger and
// recognizer tests. Ids of the fixture: 5 budi, 6 tinggal, 7 di,
// 8 jakarta, 11 kel, 12 ##uar, 13 ##ga, 14 ",", 15 ".", 17 cafe, 23 ibu,
// 24 kota.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "inference/test_files.h"
#include "inference/tiny_model.h"
#include "inference/tokenizer_fixtures.h"

namespace tesk_privacy::flair::testing {

inline const std::vector<std::string>& tiny_tagger_labels() {
  static const std::vector<std::string> labels = {"O", "B-LOC", "I-LOC", "E-LOC", "S-PER", "S-LOC", "S-ORG"};
  return labels;
}

// The probability the model gives every token's tag.
inline double tiny_tagger_confidence() {
  return inference::testing::tiny_model_confidence(tiny_tagger_labels().size(), 4.0f);
}

// "Café Budi tinggal di ibu kota Jakarta, keluarga." is tagged
// cafe S-ORG, budi S-PER, ibu B-LOC, kota I-LOC, jakarta E-LOC, and the
// pieces of "keluarga" kel S-PER, ##uar O, ##ga S-LOC.
inline void write_tiny_tagger(const std::filesystem::path& folder) {
  enum { O, B_LOC, I_LOC, E_LOC, S_PER, S_LOC, S_ORG };
  std::vector<size_t> label_of_id(25, O);
  label_of_id[17] = S_ORG;
  label_of_id[5] = S_PER;
  label_of_id[23] = B_LOC;
  label_of_id[24] = I_LOC;
  label_of_id[8] = E_LOC;
  label_of_id[11] = S_PER;
  label_of_id[13] = S_LOC;
  inference::testing::write_tiny_model(folder, label_of_id, tiny_tagger_labels());
  inference::testing::write_file(folder / "tokenizer.json", inference::testing::wordpiece_json());
}

}  // namespace tesk_privacy::flair::testing
