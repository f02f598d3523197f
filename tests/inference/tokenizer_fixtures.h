// Hand-made tokenizer.json files of the three families, small enough to
// reason about token by token:
//  - wordpiece_json(): BERT uncased (BertNormalizer, BertPreTokenizer,
//    TemplateProcessing, WordPiece decoder);
//  - bpe_json(): RoBERTa (ByteLevel pre-tokenizer and decoder, all 256 byte
//    symbols, a few merges, RobertaProcessing);
//  - unigram_json(): XLM-RoBERTa (Precompiled charsmap + Replace of blank
//    runs, Metaspace, XLM-R special tokens with <mask> stripping left).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference::testing {

using nlohmann::json;

inline json added_token(int id, const std::string& content, bool lstrip = false) {
  return {{"id", id},          {"content", content}, {"single_word", false}, {"lstrip", lstrip},
          {"rstrip", false},   {"normalized", false}, {"special", true}};
}

inline json template_processing(const std::string& cls, int cls_id, const std::string& sep, int sep_id) {
  return {{"type", "TemplateProcessing"},
          {"single", {{{"SpecialToken", {{"id", cls}, {"type_id", 0}}}},
                      {{"Sequence", {{"id", "A"}, {"type_id", 0}}}},
                      {{"SpecialToken", {{"id", sep}, {"type_id", 0}}}}}},
          {"pair", json::array()},
          {"special_tokens", {{cls, {{"id", cls}, {"ids", {cls_id}}, {"tokens", {cls}}}},
                              {sep, {{"id", sep}, {"ids", {sep_id}}, {"tokens", {sep}}}}}}};
}

// WordPiece vocabulary ids: 0 [PAD], 1 [UNK], 2 [CLS], 3 [SEP], 4 [MASK], then
// the words below in order from 5.
inline const std::vector<std::string>& wordpiece_words() {
  static const std::vector<std::string> words = {
      "budi", "tinggal", "di", "jakarta", "jak", "##arta", "kel", "##uar", "##ga", ",", ".", "!",
      "cafe", "resume", "halo", "东", "bu", "##di", "ibu", "kota"};
  return words;
}

inline std::string wordpiece_json() {
  json vocab = {{"[PAD]", 0}, {"[UNK]", 1}, {"[CLS]", 2}, {"[SEP]", 3}, {"[MASK]", 4}};
  int id = 5;
  for (const auto& w : wordpiece_words()) vocab[w] = id++;
  json j = {{"version", "1.0"},
            {"truncation", nullptr},
            {"padding", nullptr},
            {"added_tokens", {added_token(0, "[PAD]"), added_token(1, "[UNK]"), added_token(2, "[CLS]"),
                              added_token(3, "[SEP]"), added_token(4, "[MASK]")}},
            {"normalizer", {{"type", "BertNormalizer"}, {"clean_text", true}, {"handle_chinese_chars", true},
                            {"strip_accents", nullptr}, {"lowercase", true}}},
            {"pre_tokenizer", {{"type", "BertPreTokenizer"}}},
            {"post_processor", template_processing("[CLS]", 2, "[SEP]", 3)},
            {"decoder", {{"type", "WordPiece"}, {"prefix", "##"}, {"cleanup", true}}},
            {"model", {{"type", "WordPiece"}, {"unk_token", "[UNK]"}, {"continuing_subword_prefix", "##"},
                       {"max_input_chars_per_word", 100}, {"vocab", vocab}}}};
  return j.dump();
}

// The byte-level symbol of byte `b`, as UTF-8.
inline std::string byte_symbol(int b) {
  int next = 256, cp = -1;
  for (int x = 0; x < 256; ++x) {
    bool printable = (x >= '!' && x <= '~') || (x >= 0xA1 && x <= 0xAC) || (x >= 0xAE && x <= 0xFF);
    int c = printable ? x : next++;
    if (x == b) cp = c;
  }
  std::string out;
  if (cp < 0x80) out += static_cast<char>(cp);
  else {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// BPE ids: 0 <s>, 1 <pad>, 2 </s>, 3 <unk>, 4 <mask>, 5.. the 256 byte
// symbols (byte b at 5 + b), then each merge's result in merge order.
inline const std::vector<std::pair<std::string, std::string>>& bpe_merges() {
  static const std::vector<std::pair<std::string, std::string>> merges = {
      {"Ġ", "d"},  {"Ġd", "i"},  {"B", "u"},   {"d", "i"},   {"Bu", "di"},  {"Ġ", "J"},     {"a", "k"},
      {"ĠJ", "ak"}, {"a", "r"},  {"t", "a"},   {"ar", "ta"}, {"ĠJak", "arta"}, {"Ã", "©"}, {"a", "f"},
      {"C", "af"}, {"Caf", "Ã©"}, {"i", "n"},  {"in", "g"},  {"ing", "g"},  {"ingg", "a"}, {"ingga", "l"},
      {"Ġ", "t"},  {"Ġt", "inggal"}};
  return merges;
}

inline std::string bpe_json() {
  json vocab = {{"<s>", 0}, {"<pad>", 1}, {"</s>", 2}, {"<unk>", 3}, {"<mask>", 4}};
  for (int b = 0; b < 256; ++b) vocab[byte_symbol(b)] = 5 + b;
  int id = 5 + 256;
  json merges = json::array();
  for (const auto& [a, b] : bpe_merges()) {
    if (!vocab.contains(a + b)) vocab[a + b] = id++;
    merges.push_back(a + " " + b);
  }
  json j = {{"version", "1.0"},
            {"added_tokens", {added_token(0, "<s>"), added_token(1, "<pad>"), added_token(2, "</s>"),
                              added_token(3, "<unk>"), added_token(4, "<mask>", /*lstrip=*/true)}},
            {"normalizer", nullptr},
            {"pre_tokenizer", {{"type", "ByteLevel"}, {"add_prefix_space", false}, {"trim_offsets", true},
                               {"use_regex", true}}},
            {"post_processor", {{"type", "RobertaProcessing"}, {"sep", {"</s>", 2}}, {"cls", {"<s>", 0}},
                                {"trim_offsets", true}, {"add_prefix_space", false}}},
            {"decoder", {{"type", "ByteLevel"}, {"add_prefix_space", true}, {"trim_offsets", true},
                         {"use_regex", true}}},
            {"model", {{"type", "BPE"}, {"dropout", nullptr}, {"unk_token", nullptr},
                       {"continuing_subword_prefix", ""}, {"end_of_word_suffix", ""}, {"fuse_unk", false},
                       {"byte_fallback", false}, {"vocab", vocab}, {"merges", merges}}}};
  return j.dump();
}

inline std::string base64(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                 static_cast<uint8_t>(bytes[i + 2]);
    for (int k = 3; k >= 0; --k) out += alphabet[(v >> (6 * k)) & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// A SentencePiece compiled character map (double-array trie over the UTF-8
// bytes of each rule's key; values index NUL-terminated replacements), as
// the tokenizer file stores it: base64 of [u32 trie bytes][units][strings].
inline std::string precompiled_charsmap(const std::vector<std::pair<std::string, std::string>>& rules) {
  struct Node {
    std::map<uint8_t, int> children;
    std::optional<uint32_t> value;
  };
  std::vector<Node> nodes(1);
  std::string strings;
  for (const auto& [key, replacement] : rules) {
    int n = 0;
    for (unsigned char c : key) {
      auto it = nodes[n].children.find(c);
      if (it == nodes[n].children.end()) {
        nodes.push_back({});
        it = nodes[n].children.emplace(c, static_cast<int>(nodes.size()) - 1).first;
      }
      n = it->second;
    }
    nodes[n].value = static_cast<uint32_t>(strings.size());
    strings += replacement;
    strings += '\0';
  }
  std::vector<uint32_t> units(1, 0);
  std::vector<bool> used(1, true);
  auto reserve = [&](size_t n) {
    if (units.size() < n) {
      units.resize(n, 0);
      used.resize(n, false);
    }
  };
  std::vector<std::pair<int, size_t>> todo = {{0, 0}};  // (node, unit position)
  while (!todo.empty()) {
    auto [n, pos] = todo.back();
    todo.pop_back();
    std::vector<uint8_t> labels;
    if (nodes[n].value) labels.push_back(0);
    for (const auto& [c, child] : nodes[n].children) labels.push_back(c);
    if (labels.empty()) continue;
    size_t base = 1;
    for (;; ++base) {
      reserve((base | 0xFF) + 1);
      bool free = true;
      for (uint8_t l : labels) free = free && !used[base ^ l];
      if (free) break;
    }
    for (uint8_t l : labels) used[base ^ l] = true;
    units[pos] |= static_cast<uint32_t>(pos ^ base) << 10 | (nodes[n].value ? 1u << 8 : 0u);
    if (nodes[n].value) units[base] = 1u << 31 | *nodes[n].value;
    for (const auto& [c, child] : nodes[n].children) {
      units[base ^ c] = c;
      todo.push_back({child, base ^ c});
    }
  }
  std::string blob;
  const uint32_t trie_bytes = static_cast<uint32_t>(units.size() * 4);
  for (int k = 0; k < 4; ++k) blob += static_cast<char>(trie_bytes >> (8 * k));
  for (uint32_t u : units) {
    for (int k = 0; k < 4; ++k) blob += static_cast<char>(u >> (8 * k));
  }
  return base64(blob + strings);
}

// Unigram ids: 0 <s>, 1 <pad>, 2 </s>, 3 <unk>, then the pieces below, and
// <mask> last.
inline const std::vector<std::pair<std::string, double>>& unigram_pieces() {
  static const std::vector<std::pair<std::string, double>> pieces = {
      {"▁", -2},        {"▁Budi", -5}, {"▁tinggal", -6}, {"▁di", -3},     {"▁Jakarta", -7}, {"▁Ja", -4},
      {"karta", -6},    {"▁ke", -3},   {"luarga", -7},   {"▁keluarga", -12}, {",", -3},     {".", -3},
      {"fi", -5},       {"▁Caf", -5},  {"é", -5},        {"😀", -8},      {"▁Halo", -5},    {"a", -4},
      {"B", -6},        {"u", -6},     {"d", -6},        {"i", -6}};
  return pieces;
}

inline std::string unigram_json(bool whitespace_split = false) {
  json vocab = json::array({{"<s>", 0.0}, {"<pad>", 0.0}, {"</s>", 0.0}, {"<unk>", 0.0}});
  for (const auto& [piece, score] : unigram_pieces()) vocab.push_back({piece, score});
  const int mask_id = static_cast<int>(vocab.size());
  vocab.push_back({"<mask>", 0.0});
  const std::string charsmap = precompiled_charsmap({
      {"\xEF\xAC\x81", "fi"},    // U+FB01 LATIN SMALL LIGATURE FI
      {"\xE3\x80\x80", " "},     // U+3000 IDEOGRAPHIC SPACE
      {"e\xCC\x81", "\xC3\xA9"}, // e + COMBINING ACUTE -> é
      {"\xE2\x80\x8B", ""},      // U+200B ZERO WIDTH SPACE is dropped
      {"\n", " "},
      {"\xEF\xBC\xA1", "A"},     // U+FF21 FULLWIDTH A
  });
  json metaspace = {{"type", "Metaspace"}, {"replacement", "▁"}, {"prepend_scheme", "always"}, {"split", true}};
  json pre = whitespace_split
                 ? json{{"type", "Sequence"}, {"pretokenizers", {{{"type", "WhitespaceSplit"}}, metaspace}}}
                 : json{{"type", "Metaspace"}, {"replacement", "▁"}, {"add_prefix_space", true}};
  json j = {{"version", "1.0"},
            {"added_tokens", {added_token(0, "<s>"), added_token(1, "<pad>"), added_token(2, "</s>"),
                              added_token(3, "<unk>"), added_token(mask_id, "<mask>", /*lstrip=*/true)}},
            {"normalizer", {{"type", "Sequence"},
                            {"normalizers", {{{"type", "Precompiled"}, {"precompiled_charsmap", charsmap}},
                                             {{"type", "Replace"}, {"pattern", {{"Regex", " {2,}"}}},
                                              {"content", " "}}}}}},
            {"pre_tokenizer", pre},
            {"post_processor", template_processing("<s>", 0, "</s>", 2)},
            {"decoder", {{"type", "Metaspace"}, {"replacement", "▁"}, {"add_prefix_space", true}}},
            {"model", {{"type", "Unigram"}, {"unk_id", 3}, {"vocab", vocab}, {"byte_fallback", false}}}};
  return j.dump();
}

}  // namespace tesk_privacy::inference::testing
