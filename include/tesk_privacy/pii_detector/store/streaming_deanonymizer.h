// StreamingDeanonymizer: puts the originals back into text that arrives in
// pieces, such as a language model's answer as it is generated. A
// placeholder cut between pieces ("<PER" then "SON_1>") comes out whole: a
// piece's end is held back only while it could still become something the
// mapping restores, and everything before it is emitted at once.
//
//   StreamingDeanonymizer stream(anonymizer.store());
//   for (const std::string& piece : pieces) std::cout << stream.feed(piece);
//   std::cout << stream.finish();
//
// The concatenated output equals deanonymizing the whole text in one call.
// With `tolerant`, placeholders as models often rewrite them ("<person_1>",
// "[PERSON_1]", "PERSON_1", "< PERSON_1 >") are restored too, when the
// placeholder they stand for is in the mapping; nothing else is ("PERSON_10"
// when only <PERSON_1> exists, "SUPERSON_1"). An instance is used by one
// thread at a time.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

class StreamingDeanonymizer {
 public:
  explicit StreamingDeanonymizer(const DeanonymizerMapping& mapping, bool tolerant = false);
  ~StreamingDeanonymizer();
  StreamingDeanonymizer(StreamingDeanonymizer&&) noexcept;

  // The restored text that is certain now. A piece may end inside a UTF-8
  // sequence; throws std::invalid_argument for bytes that are not UTF-8.
  std::string feed(std::string_view piece);
  // The rest. Throws std::invalid_argument when the text ended inside a
  // UTF-8 sequence.
  std::string finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// `text` with the rewritten forms of placeholders ("<person_1>",
// "[PERSON_1]", "PERSON_1", "< PERSON_1 >") turned back into the placeholder
// they stand for, where that placeholder is in `mapping`.
std::string canonical_placeholders(std::string_view text, const DeanonymizerMapping& mapping);

}  // namespace tesk_privacy::pii_detector
