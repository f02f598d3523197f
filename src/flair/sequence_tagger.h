// SequenceTagger: a model that labels spans of a sentence, the interface
// FlairRecognizer runs on. A caller may implement it (in C++ or, through
// the Python package, in Python) or load a model by name.
//
//   std::shared_ptr<flair::SequenceTagger> tagger =
//       flair::SequenceTagger::load("flair/ner-english-large");
//   flair::Sentence sentence("Budi tinggal di Jakarta");
//   tagger->predict(sentence);   // attaches "ner" spans
//
// predict() is const: one tagger may serve several threads at once, each
// with its own Sentence.
#pragma once

#include <memory>
#include <string_view>

#include "flair/sentence.h"

namespace tesk_privacy::flair {

// The label type of named-entity spans.
inline constexpr const char* kNerLabelType = "ner";

class SequenceTagger {
 public:
  virtual ~SequenceTagger() = default;

  // Attaches kNerLabelType spans to `sentence`, replacing any it had.
  virtual void predict(Sentence& sentence) const = 0;

  // A token-classification model in the hub format, from a folder or a
  // hub identifier in the local hub cache (TokenClassificationTagger).
  // Throws inference::ModelNotFoundError when there is no such model and
  // std::runtime_error when its files are missing or malformed.
  static std::shared_ptr<SequenceTagger> load(std::string_view model_name);
};

}  // namespace tesk_privacy::flair
