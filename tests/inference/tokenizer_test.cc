// Tokenizer: ids, tokens and code-point offsets of each family on hand-made
// tokenizer files; decoding, truncation, the pre-tokenizer alone, settings
// from tokenizer_config.json, and clear errors for broken files.
#include "inference/tokenizer.h"

#include <gtest/gtest.h>

#include <thread>

#include "inference/test_files.h"
#include "inference/tokenizer_fixtures.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

using testing::byte_symbol;

struct Tok {
  std::string token;
  size_t start, end;
  bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{" << t.token << " " << t.start << "-" << t.end << "}";
}

struct Case {
  std::string name;
  std::string text;
  std::vector<Tok> expected;  // content tokens, no special tokens
};

std::vector<Tok> content(const Tokenizer& tok, const std::string& text) {
  Encoding e = tok.encode(text, /*add_special_tokens=*/false);
  std::vector<Tok> out;
  for (size_t i = 0; i < e.size(); ++i) {
    out.push_back({e.tokens[i], e.offsets[i].start, e.offsets[i].end});
    // Ids and token strings agree (an unknown token keeps the text it stands for).
    EXPECT_EQ(tok.token_to_id(e.tokens[i]).value_or(tok.unk_token_id().value_or(-1)), e.ids[i])
        << text << " token " << e.tokens[i];
  }
  return out;
}

void check_table(const Tokenizer& tok, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(content(tok, c.text), c.expected) << c.name << ": " << c.text;
}

Tokenizer wordpiece() { return Tokenizer::from_json(testing::wordpiece_json()); }
Tokenizer bpe() { return Tokenizer::from_json(testing::bpe_json()); }
Tokenizer unigram(bool whitespace_split = false) {
  return Tokenizer::from_json(testing::unigram_json(whitespace_split));
}

TEST(WordPieceTokenizer, TokensAndOffsets) {
  check_table(wordpiece(), {
      {"sentence", "Budi tinggal di Jakarta.",
       {{"budi", 0, 4}, {"tinggal", 5, 12}, {"di", 13, 15}, {"jakarta", 16, 23}, {".", 23, 24}}},
      {"whole word before pieces", "JAKARTA", {{"jakarta", 0, 7}}},
      {"accents stripped", "Café Résumé!", {{"cafe", 0, 4}, {"resume", 5, 11}, {"!", 11, 12}}},
      {"decomposed accent stays in its word", "Cafe\u0301", {{"cafe", 0, 5}}},
      {"subword pieces", "Keluarga, ibu kota",
       {{"kel", 0, 3}, {"##uar", 3, 6}, {"##ga", 6, 8}, {",", 8, 9}, {"ibu", 10, 13}, {"kota", 14, 18}}},
      {"emoji is unknown", "Halo 😀!", {{"halo", 0, 4}, {"[UNK]", 5, 6}, {"!", 6, 7}}},
      {"word with an unknown part", "Budiman", {{"[UNK]", 0, 7}}},
      {"blanks and line breaks", "Budi  tinggal\ndi\r\n\tJakarta",
       {{"budi", 0, 4}, {"tinggal", 6, 13}, {"di", 14, 16}, {"jakarta", 19, 26}}},
      {"control character dropped", "Bu\adi", {{"budi", 0, 5}}},
      {"CJK ideographs split", "东京", {{"东", 0, 1}, {"[UNK]", 1, 2}}},
      {"special token in the text", "Budi [MASK] Jakarta", {{"budi", 0, 4}, {"[MASK]", 5, 11}, {"jakarta", 12, 19}}},
      {"empty", "", {}},
      {"blanks only", " \n\t ", {}},
  });
}

TEST(WordPieceTokenizer, SpecialTokensWordIdsAndDecode) {
  Tokenizer tok = wordpiece();
  Encoding e = tok.encode("Budi, Keluarga");
  EXPECT_EQ(e.tokens, (std::vector<std::string>{"[CLS]", "budi", ",", "kel", "##uar", "##ga", "[SEP]"}));
  EXPECT_EQ(e.ids, (std::vector<int32_t>{2, 5, 14, 11, 12, 13, 3}));
  EXPECT_EQ(e.word_ids, (std::vector<int32_t>{kNoWord, 0, 1, 2, 2, 2, kNoWord}));
  EXPECT_EQ(e.special_tokens_mask, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(e.offsets.front(), (Offsets{0, 0}));
  EXPECT_EQ(e.type_ids, std::vector<int32_t>(7, 0));
  EXPECT_EQ(tok.num_special_tokens_to_add(), 2u);

  EXPECT_EQ(tok.decode(e.ids), "[CLS] budi, keluarga [SEP]");
  EXPECT_EQ(tok.decode(e.ids, /*skip_special_tokens=*/true), "budi, keluarga");
  EXPECT_EQ(tok.decode(tok.encode("Budi tinggal di Jakarta.").ids, true), "budi tinggal di jakarta.");
  EXPECT_EQ(tok.convert_ids_to_tokens(e.ids, true), (std::vector<std::string>{"budi", ",", "kel", "##uar", "##ga"}));
  EXPECT_EQ(tok.convert_tokens_to_string({"jak", "##arta", "ibu"}), "jakarta ibu");
  EXPECT_EQ(tok.tokenize("Ibu kota"), (std::vector<std::string>{"ibu", "kota"}));
  EXPECT_EQ(tok.continuing_subword_prefix(), "##");
  EXPECT_EQ(tok.unk_token_id(), 1);
  EXPECT_EQ(tok.vocab_size(), 25u);
  EXPECT_TRUE(tok.is_special_token(2));
  EXPECT_FALSE(tok.is_special_token(5));
  const std::vector<int32_t> outside = {5, 25};
  EXPECT_THROW(tok.decode(outside), std::invalid_argument);
  EXPECT_THROW(tok.encode("Bu\xC3"), InvalidUtf8Error);
}

TEST(BpeTokenizer, TokensAndOffsets) {
  const std::string smile = byte_symbol(0xF0) + byte_symbol(0x9F) + byte_symbol(0x98) + byte_symbol(0x80);
  check_table(bpe(), {
      {"sentence", "Budi di Jakarta", {{"Budi", 0, 4}, {"Ġdi", 5, 7}, {"ĠJakarta", 8, 15}}},
      {"merges in rank order", "Budi tinggal", {{"Budi", 0, 4}, {"Ġtinggal", 5, 12}}},
      {"no leading space", "tinggal", {{"t", 0, 1}, {"inggal", 1, 7}}},
      {"accent as two bytes merged", "Café", {{"CafÃ©", 0, 4}}},
      {"emoji as four byte tokens", "di 😀",
       {{"di", 0, 2}, {"Ġ", 3, 3}, {byte_symbol(0xF0), 3, 4}, {byte_symbol(0x9F), 3, 4},
        {byte_symbol(0x98), 3, 4}, {byte_symbol(0x80), 3, 4}}},
      {"two blanks", "Budi  di", {{"Budi", 0, 4}, {"Ġ", 5, 5}, {"Ġdi", 6, 8}}},
      {"line break", "Budi\ndi", {{"Budi", 0, 4}, {"Ċ", 4, 5}, {"di", 5, 7}}},
      {"mask swallows the blank before it", "Budi <mask>", {{"Budi", 0, 4}, {"<mask>", 4, 11}}},
  });
  (void)smile;
}

TEST(BpeTokenizer, DecodeRoundTripsExactly) {
  Tokenizer tok = bpe();
  for (const std::string text : {"Budi tinggal di Jakarta.", "Café  Résumé\n\tkedua", "Halo 😀🙂 ibu!", "  spasi  ",
                                 "东京 dan Bandung", ""}) {
    Encoding e = tok.encode(text);
    EXPECT_EQ(e.tokens.front(), "<s>");
    EXPECT_EQ(e.tokens.back(), "</s>");
    EXPECT_EQ(tok.decode(e.ids, /*skip_special_tokens=*/true), text);
  }
  EXPECT_EQ(tok.convert_tokens_to_string({"ĠJakarta", "Ġ"}), " Jakarta ");
  // Bytes that do not form UTF-8 decode to the replacement character.
  EXPECT_EQ(tok.convert_tokens_to_string({byte_symbol(0xF0), "a"}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(tok.continuing_subword_prefix(), "");
}

TEST(UnigramTokenizer, TokensAndOffsets) {
  check_table(unigram(), {
      {"sentence", "Budi tinggal di Jakarta.",
       {{"▁Budi", 0, 4}, {"▁tinggal", 4, 12}, {"▁di", 12, 15}, {"▁Jakarta", 15, 23}, {".", 23, 24}}},
      {"best split, not longest piece", "keluarga", {{"▁ke", 0, 2}, {"luarga", 2, 8}}},
      {"ligature expanded", "ﬁ", {{"▁", 0, 1}, {"fi", 0, 1}}},
      {"ideographic space", "Budi\u3000di", {{"▁Budi", 0, 4}, {"▁di", 4, 7}}},
      {"combining accent composed", "Cafe\u0301", {{"▁Caf", 0, 3}, {"é", 3, 5}}},
      {"zero-width space dropped", "Bu\u200Bdi", {{"▁Budi", 0, 5}}},
      {"known and unknown emoji", "Halo 😀 🙂",
       {{"▁Halo", 0, 4}, {"▁", 4, 5}, {"😀", 5, 6}, {"▁", 6, 7}, {"🙂", 7, 8}}},
      {"blank run collapsed", "Budi   di", {{"▁Budi", 0, 4}, {"▁di", 4, 9}}},
      {"line break", "Budi\ndi", {{"▁Budi", 0, 4}, {"▁di", 4, 7}}},
      {"mask swallows the blank before it", "Budi <mask>", {{"▁Budi", 0, 4}, {"<mask>", 4, 11}}},
  });
  check_table(unigram(/*whitespace_split=*/true), {
      {"words split first", "Budi tinggal  di", {{"▁Budi", 0, 4}, {"▁tinggal", 5, 12}, {"▁di", 14, 16}}},
  });
}

TEST(UnigramTokenizer, UnknownIdsSpecialTokensAndDecode) {
  Tokenizer tok = unigram();
  Encoding e = tok.encode("Halo 🙂");
  EXPECT_EQ(e.tokens, (std::vector<std::string>{"<s>", "▁Halo", "▁", "🙂", "</s>"}));
  EXPECT_EQ(e.ids[3], 3);  // <unk>
  EXPECT_EQ(tok.convert_ids_to_tokens(e.ids), (std::vector<std::string>{"<s>", "▁Halo", "▁", "<unk>", "</s>"}));
  EXPECT_EQ(tok.decode(tok.encode("Budi tinggal di Jakarta.").ids, true), "Budi tinggal di Jakarta.");
  EXPECT_EQ(tok.decode(tok.encode("keluarga Budi").ids), "<s> keluarga Budi</s>");
  EXPECT_EQ(tok.convert_tokens_to_string({"▁ke", "luarga", "▁di"}), "keluarga di");
}

TEST(Tokenizer, Truncation) {
  Tokenizer tok = wordpiece();
  const std::string text = "Budi tinggal di Jakarta.";
  auto tokens = [&](const Encoding& e) { return e.tokens; };
  using V = std::vector<std::string>;
  EXPECT_EQ(tokens(tok.encode_truncated(text, 5)), (V{"[CLS]", "budi", "tinggal", "di", "[SEP]"}));
  EXPECT_EQ(tokens(tok.with_truncation_side(TruncationSide::kLeft).encode_truncated(text, 5)),
            (V{"[CLS]", "di", "jakarta", ".", "[SEP]"}));
  EXPECT_EQ(tokens(tok.encode_truncated(text, 2)), (V{"[CLS]", "[SEP]"}));
  EXPECT_EQ(tokens(tok.encode_truncated(text, 2, /*add_special_tokens=*/false)), (V{"budi", "tinggal"}));
  EXPECT_EQ(tokens(tok.encode_truncated(text, 100)).size(), 7u);
  EXPECT_THROW(tok.encode_truncated(text, 1), std::invalid_argument);
  // Without max_length the tokenizer's own limit applies; without one, none.
  EXPECT_EQ(tok.encode_truncated(text).size(), 7u);
  EXPECT_EQ(tok.with_model_max_length(4).encode_truncated(text).size(), 4u);
  EXPECT_EQ(tok.with_model_max_length(4).encode(text).size(), 7u);  // encode never truncates

  Encoding left = bpe().with_truncation_side(TruncationSide::kLeft).encode_truncated("Budi di Jakarta", 3);
  EXPECT_EQ(left.tokens, (V{"<s>", "ĠJakarta", "</s>"}));
  EXPECT_EQ(left.offsets[1], (Offsets{8, 15}));
}

TEST(Tokenizer, PreTokenizerAlone) {
  using P = std::vector<PreToken>;
  EXPECT_EQ(wordpiece().pre_tokenize("Budi, Jakarta!"),
            (P{{"Budi", {0, 4}}, {",", {4, 5}}, {"Jakarta", {6, 13}}, {"!", {13, 14}}}));
  EXPECT_EQ(bpe().pre_tokenize("Budi di"), (P{{"Budi", {0, 4}}, {"Ġdi", {4, 7}}}));
  EXPECT_EQ(unigram().pre_tokenize("Budi  di"), (P{{"▁Budi", {0, 4}}, {"▁", {4, 5}}, {"▁di", {5, 8}}}));
  EXPECT_EQ(unigram(true).pre_tokenize("Budi  di"), (P{{"▁Budi", {0, 4}}, {"▁di", {6, 8}}}));
  EXPECT_EQ(wordpiece().pre_tokenize(""), P{});

  nlohmann::json without = nlohmann::json::parse(testing::wordpiece_json());
  without["pre_tokenizer"] = nullptr;
  Tokenizer bare = Tokenizer::from_json(without.dump());
  EXPECT_FALSE(bare.has_pre_tokenizer());
  EXPECT_FALSE(bare.pre_tokenize("Budi").has_value());
}

TEST(Tokenizer, SettingsFromTokenizerConfig) {
  const std::string json = testing::wordpiece_json();
  EXPECT_EQ(Tokenizer::from_json(json).model_max_length(), std::nullopt);
  EXPECT_EQ(Tokenizer::from_json(json, R"({"model_max_length": 512})").model_max_length(), 512u);
  EXPECT_EQ(Tokenizer::from_json(json, R"({"model_max_length": 1e30})").model_max_length(), std::nullopt);
  EXPECT_EQ(Tokenizer::from_json(json, R"({"model_max_length": 1000000000000000019884624838656})").model_max_length(),
            std::nullopt);
  EXPECT_EQ(Tokenizer::from_json(json, R"({"truncation_side": "left"})").truncation_side(), TruncationSide::kLeft);
  Tokenizer cleaning = Tokenizer::from_json(testing::bpe_json(), R"({"clean_up_tokenization_spaces": true})");
  EXPECT_EQ(cleaning.decode(cleaning.encode("Budi , di").ids, true), "Budi, di");
  EXPECT_THROW(Tokenizer::from_json(json, R"({"model_max_length": -5})"), std::runtime_error);
  EXPECT_THROW(Tokenizer::from_json(json, R"({"truncation_side": "middle"})"), std::runtime_error);

  testing::ScratchDir dir;
  testing::write_file(dir / "tokenizer.json", json);
  testing::write_file(dir / "tokenizer_config.json", R"({"model_max_length": 128})");
  EXPECT_EQ(Tokenizer::from_folder(dir.path()).model_max_length(), 128u);
  std::filesystem::remove(dir / "tokenizer.json");
  EXPECT_THROW(Tokenizer::from_folder(dir.path()), std::runtime_error);
}

TEST(Tokenizer, BrokenFilesFailClearly) {
  using nlohmann::json;
  struct Broken {
    std::string name;
    std::function<void(json&)> edit;
    std::string message;
  };
  const std::vector<Broken> cases = {
      {"no model", [](json& j) { j.erase("model"); }, "no \"model\" section"},
      {"unknown model", [](json& j) { j["model"]["type"] = "WordLevel"; }, "model type 'WordLevel' is not supported"},
      {"unknown normalizer", [](json& j) { j["normalizer"] = {{"type", "Fancy"}}; }, "normalizer type 'Fancy'"},
      {"unknown pre-tokenizer", [](json& j) { j["pre_tokenizer"] = {{"type", "UnicodeScripts"}}; },
       "pre-tokenizer type 'UnicodeScripts'"},
      {"unknown decoder", [](json& j) { j["decoder"] = {{"type", "CTC"}}; }, "decoder type 'CTC'"},
      {"unknown token missing", [](json& j) { j["model"]["unk_token"] = "<unk>"; },
       "unknown token '<unk>' is not in the vocabulary"},
      {"id used twice", [](json& j) { j["model"]["vocab"]["extra"] = 5; }, "token id 5 is given to both"},
      {"negative id", [](json& j) { j["model"]["vocab"]["extra"] = -1; }, "must be a token id"},
      {"bad regex", [](json& j) { j["pre_tokenizer"] = {{"type", "Split"}, {"pattern", {{"Regex", "(a"}}},
                                                         {"behavior", "Isolated"}}; },
       "does not compile"},
      {"bad behavior", [](json& j) { j["pre_tokenizer"] = {{"type", "Split"}, {"pattern", {{"String", " "}}},
                                                            {"behavior", "Sideways"}}; },
       "split behavior 'Sideways'"},
      {"template names an unknown token",
       [](json& j) { j["post_processor"]["single"][0]["SpecialToken"]["id"] = "[BOS]"; },
       "special token '[BOS]' that is not defined"},
      {"added token without id", [](json& j) { j["added_tokens"][0].erase("id"); }, "needs \"id\" and \"content\""},
      {"flag not a bool", [](json& j) { j["normalizer"]["lowercase"] = "yes"; }, "\"lowercase\" must be true or false"},
  };
  for (const Broken& c : cases) {
    json j = json::parse(testing::wordpiece_json());
    c.edit(j);
    try {
      Tokenizer::from_json(j.dump(), "", "/models/x/tokenizer.json");
      ADD_FAILURE() << c.name << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("/models/x/tokenizer.json", 0), 0u) << e.what();
    }
  }
  EXPECT_THROW(Tokenizer::from_json("{\"model\": "), std::runtime_error);

  json merges = json::parse(testing::bpe_json());
  merges["model"]["merges"].push_back("Q Z9");
  EXPECT_THROW(Tokenizer::from_json(merges.dump()), std::runtime_error);
  json pieces = json::parse(testing::unigram_json());
  pieces["model"]["vocab"][5] = "▁Budi";
  EXPECT_THROW(Tokenizer::from_json(pieces.dump()), std::runtime_error);

  // A compiled character map whose trie points outside itself.
  json charsmap = json::parse(testing::unigram_json());
  charsmap["normalizer"]["normalizers"][0]["precompiled_charsmap"] = testing::base64(std::string("\x40\0\0\0", 4));
  EXPECT_THROW(Tokenizer::from_json(charsmap.dump()), std::runtime_error);
  charsmap["normalizer"]["normalizers"][0]["precompiled_charsmap"] =
      testing::base64(std::string("\x04\0\0\0\xFF\xFF\xFF\x00", 8));
  Tokenizer corrupt = Tokenizer::from_json(charsmap.dump());
  EXPECT_THROW(corrupt.encode("Budi"), std::runtime_error);
}

TEST(Tokenizer, TruncatedFilesFailCleanly) {
  for (const std::string& json : {testing::wordpiece_json(), testing::unigram_json()}) {
    for (size_t cut = 0; cut < json.size(); cut += 7) {
      EXPECT_THROW(Tokenizer::from_json(json.substr(0, cut)), std::runtime_error) << "cut at " << cut;
    }
  }
}

TEST(Tokenizer, SharedAcrossThreads) {
  const Tokenizer tok = unigram();
  const std::string text = "Budi tinggal di Jakarta. Halo 😀 keluarga Cafe\u0301!";
  const std::vector<int32_t> expected = tok.encode(text).ids;
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) mismatches[t] += tok.encode(text).ids != expected;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// Components nest through "Sequence" as deep as the file says; a file that
// nests them absurdly deep is refused with an error instead of overflowing
// the stack while the components are built.
TEST(TokenizerJson, AbsurdlyDeepSequencesAreAnError) {
  nlohmann::json j = nlohmann::json::parse(testing::wordpiece_json());
  const std::pair<const char*, std::string> sections[] = {{"normalizer", "normalizers"},
                                                           {"pre_tokenizer", "pretokenizers"},
                                                           {"post_processor", "processors"},
                                                           {"decoder", "decoders"}};
  for (const auto& section : sections) {
    const char* key = section.first;
    const std::string& field = section.second;
    auto nested = [&](int depth) {
      std::string text;
      for (int i = 0; i < depth; ++i) text += R"({"type": "Sequence", ")" + field + R"(": [)";
      for (int i = 0; i < depth; ++i) text += "]}";
      nlohmann::json copy = j;
      copy[key] = "PLACEHOLDER";
      std::string doc = copy.dump();
      doc.replace(doc.find("\"PLACEHOLDER\""), 13, text);
      return doc;
    };
    EXPECT_NO_THROW(Tokenizer::from_json(nested(3))) << key;
    EXPECT_THROW(Tokenizer::from_json(nested(200'000)), std::runtime_error) << key;
  }
  // Entries that error messages quote may nest deeply too.
  const std::string deep = std::string(200'000, '[') + std::string(200'000, ']');
  for (const char* bad : {R"("added_tokens":[)", R"("single":[)"}) {
    std::string doc = testing::wordpiece_json();
    const size_t at = doc.find(bad);
    ASSERT_NE(at, std::string::npos) << bad;
    doc.insert(at + std::string(bad).size(), deep + ",");
    try {
      Tokenizer::from_json(doc);
      ADD_FAILURE() << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("nested more than 16 levels"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::inference
