// MappingText: a mapping held as the JSON text of its file, one run of
// entry lines per entity type, so that a store that rewrites its file after
// each batch of entries keeps the text it writes and no second copy of the
// mapping itself. Its text is the file's layout (that of nlohmann's
// dump(2)) of the mapping the appends build.
//
//   MappingText text;
//   text.append(loaded);   // the file's mapping
//   text.append(added);    // entries of a run, in order
//   replace_file_atomically(path, text.pieces());
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

class MappingText {
 public:
  // Adds `added` after what is there, as append_entries() adds to a
  // mapping: a key already present under its type takes the new value in
  // its place, and a type arrives even without entries.
  void append(const MappingDataType& added);
  // The text, in pieces to be written one after another.
  std::vector<std::string_view> pieces() const;
  std::string str() const;

 private:
  struct Type {
    std::string header;  // '  "TYPE": '
    std::string lines;   // '    "key": "value"' lines, joined by ",\n"
  };
  // Whether (type, key) may have been added: a table of their hashes, so the
  // keys are held only in the text.
  bool maybe_added(uint64_t hash) const;
  void remember(uint64_t hash);
  // Sets the value of `key_json` in `lines` when it is there; false when not.
  static bool replace_value(std::string& lines, const std::string& key_json, const std::string& value_json);

  std::vector<Type> types_;
  std::unordered_map<std::string, size_t> type_index_;
  std::vector<uint64_t> hashes_;  // open addressing, 0 where free; size a power of two
  size_t hash_count_ = 0;
};

}  // namespace tesk_privacy::pii_detector
