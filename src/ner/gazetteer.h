// Gazetteer: lists of names (places, given names, organisations) and cue
// words (titles, "PT", "Kota") that the tagger's features consult. Entries
// are phrases of normalised tokens; a text's tokens are matched against
// them, longest phrase first at each position.
//
// The lists travel inside the model file as an open-addressing hash table of
// phrase hashes; GazetteerBuilder writes that table, Gazetteer reads it in
// place (no copy) from a model's bytes.
//
//   GazetteerBuilder builder;
//   builder.add({"jawa", "timur"}, GazetteerCategory::kIndonesianPlace);
//   std::string bytes = builder.serialize();
//   Gazetteer gazetteer(bytes);            // `bytes` must outlive it
//   uint32_t categories = gazetteer.lookup(phrase_hash({"jawa", "timur"}));
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tesk_privacy::ner {

enum class GazetteerCategory : uint8_t {
  kIndonesianPlace = 0,  // provinces, regencies, cities, towns, islands
  kWorldPlace,           // countries, foreign cities and regions
  kIndonesianGivenName,
  kEnglishGivenName,
  kFamilyName,          // surnames and clan names
  kOrganization,        // well-known companies, agencies, parties, universities
  kOrganizationCue,     // words that start or end organisation names: PT, Tbk, Bank, Inc
  kPersonCue,           // titles and forms of address before a name: Bapak, Bu, Mr, Dr
  kLocationCue,         // words that introduce place names: Kota, Kabupaten, Jalan, Mount
  kNationality,         // nationality, ethnic and religious group words
  // Common lower-case words of Indonesian and English: a capitalised one is
  // more likely a sentence start, a heading or chat filler than a name.
  kCommonWord,
  // Names from (noisy) encyclopedia lists, kept apart from the curated ones
  // above so that the model weighs them on their own.
  kListedPerson,
  kListedPlace,
  kListedOrganization,
  kPersonNameWord,  // one word of listed person names, for a surname or given name alone
  kCountry,         // country names, also listed as places: a national team stays a place
};
inline constexpr int kNumGazetteerCategories = 16;
// The bit of a category in what Gazetteer::lookup() returns.
inline constexpr uint32_t category_bit(GazetteerCategory c) { return 1u << static_cast<unsigned>(c); }

// The hash of a phrase of normalised tokens.
uint64_t phrase_hash(std::span<const std::string_view> tokens);
uint64_t phrase_hash(std::initializer_list<std::string_view> tokens);
// Extends the hash of a phrase by one token whose hash_bytes() is `token_hash`.
uint64_t extend_phrase_hash(uint64_t phrase, uint64_t token_hash);
inline constexpr uint64_t kEmptyPhraseHash = 0x243F6A8885A308D3ULL;

class GazetteerBuilder {
 public:
  // Adds a phrase (normalised tokens, see normalize_token) to a category.
  // Empty phrases are ignored.
  void add(std::span<const std::string_view> tokens, GazetteerCategory category);
  void add(std::initializer_list<std::string_view> tokens, GazetteerCategory category);

  // Distinct phrases and phrase prefixes.
  size_t size() const { return entries_.size(); }
  // The table, in the layout Gazetteer reads.
  std::string serialize() const;

 private:
  std::unordered_map<uint64_t, uint32_t> entries_;
  uint32_t max_tokens_ = 0;
};

class Gazetteer {
 public:
  // An empty gazetteer.
  Gazetteer() = default;
  // Reads a serialised table in place; `bytes` must stay alive. Throws std::invalid_argument when the bytes are not a
  // well-formed table.
  explicit Gazetteer(std::string_view bytes);

  // Category bits (1 << GazetteerCategory) of the phrase; 0 when absent.
  uint32_t lookup(uint64_t phrase_hash) const;
  // Longest phrase length in tokens.
  uint32_t max_tokens() const { return max_tokens_; }
  size_t size() const { return size_; }

  // For each token of a sequence (given as hash_bytes of normalised tokens):
  // `begin[i]` gets the categories of phrases starting at token i, `inside[i]`
  // those of phrases covering token i but starting earlier. At each position
  // only the longest phrase of each category counts.
  void match(std::span<const uint64_t> token_hashes, std::span<uint32_t> begin,
             std::span<uint32_t> inside) const;

 private:
  uint32_t raw_lookup(uint64_t phrase_hash) const;

  const unsigned char* slots_ = nullptr;
  uint64_t mask_ = 0;
  uint32_t max_tokens_ = 0;
  size_t size_ = 0;
};

}  // namespace tesk_privacy::ner
