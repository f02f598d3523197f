// Tokenizer: tables of texts and the tokens (text and code-point start) they
// split into, plus hostile input that must stay linear and consistent.
#include "recognition/tokenizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::recognition {
namespace {

using Tok = std::pair<std::string, int64_t>;  // text, start in code points

struct Case {
  std::string name;
  std::string text;
  std::vector<Tok> expected;
};

std::vector<Tok> tokens_of(const std::string& input) {
  std::vector<Tok> out;
  for (const Token& t : Tokenizer().tokenize(input)) {
    out.emplace_back(input.substr(t.byte_start, t.byte_end - t.byte_start), t.start);
  }
  return out;
}

void check_table(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(tokens_of(c.text), c.expected) << c.name << ": " << c.text;
}

// Every token is the slice of the text at its code-point offsets, and tokens
// follow each other without overlapping.
void check_consistent(const std::string& input) {
  const Utf8Text text(input);
  int64_t previous_end = 0;
  for (const Token& t : Tokenizer().tokenize(input)) {
    ASSERT_LE(previous_end, t.start);
    ASSERT_LT(t.start, t.end);
    ASSERT_EQ(text.slice(t.start, t.end), input.substr(t.byte_start, t.byte_end - t.byte_start));
    previous_end = t.end;
  }
}

TEST(Tokenizer, WordsPunctuationBracketsQuotes) {
  check_table({
      {"white space of every kind", "Nomor \t rekening\nsaya\u00a0ok",
       {{"Nomor", 0}, {"rekening", 8}, {"saya", 17}, {"ok", 22}}},
      {"quotes and brackets", "Dia berkata: \"Halo (tes)!\"",
       {{"Dia", 0}, {"berkata", 4}, {":", 11}, {"\"", 13}, {"Halo", 14}, {"(", 19}, {"tes", 20},
        {")", 23}, {"!", 24}, {"\"", 25}}},
      {"comma between letters splits", "a,b", {{"a", 0}, {",", 1}, {"b", 2}}},
      {"sentence end", "Saya di Jakarta.", {{"Saya", 0}, {"di", 5}, {"Jakarta", 8}, {".", 15}}},
      {"missing space after a sentence", "selesai.Besok", {{"selesai", 0}, {".", 7}, {"Besok", 8}}},
      {"ellipsis and dashes stay together", "tunggu... ya -- ok",
       {{"tunggu", 0}, {"...", 6}, {"ya", 10}, {"--", 13}, {"ok", 16}}},
      {"hyphenated words", "anak-anak e-mail well-known", {{"anak-anak", 0}, {"e-mail", 10}, {"well-known", 17}}},
      {"hyphen at a word edge", "pra- -an", {{"pra", 0}, {"-", 3}, {"-", 5}, {"an", 6}}},
      {"ampersand between letters", "AT&T R & D", {{"AT&T", 0}, {"R", 5}, {"&", 7}, {"D", 9}}},
      {"at sign without an address", "@budi", {{"@", 0}, {"budi", 1}}},
      {"plus between words", "a+b", {{"a", 0}, {"+", 1}, {"b", 2}}},
  });
}

TEST(Tokenizer, EnglishClitics) {
  check_table({
      {"n't and 're", "I don't think we're", {{"I", 0}, {"do", 2}, {"n't", 4}, {"think", 8}, {"we", 14}, {"'re", 16}}},
      {"possessive", "Budi's card", {{"Budi", 0}, {"'s", 4}, {"card", 7}}},
      {"typographic apostrophe", "it\u2019s can\u2019t", {{"it", 0}, {"\u2019s", 2}, {"ca", 5}, {"n\u2019t", 7}}},
      {"'ve 'll 'd 'm", "should've I'll he'd I'm",
       {{"should", 0}, {"'ve", 6}, {"I", 10}, {"'ll", 11}, {"he", 15}, {"'d", 17}, {"I", 20}, {"'m", 21}}},
      {"apostrophe inside a name stays", "Jum'at O'Brien Qur'an", {{"Jum'at", 0}, {"O'Brien", 7}, {"Qur'an", 15}}},
      {"plural possessive", "students' card", {{"students", 0}, {"'", 8}, {"card", 10}}},
  });
}

TEST(Tokenizer, AddressesAndUrlsStayWhole) {
  check_table({
      {"e-mail before a period", "email: budi.santoso@example.co.id.",
       {{"email", 0}, {":", 5}, {"budi.santoso@example.co.id", 7}, {".", 33}}},
      {"plus address", "budi+kerja@x.com", {{"budi+kerja@x.com", 0}}},
      {"address starting with an abbreviation", "dr.andi@rs.co.id", {{"dr.andi@rs.co.id", 0}}},
      {"no top-level domain", "a@b", {{"a", 0}, {"@", 1}, {"b", 2}}},
      {"URL before a comma", "lihat https://www.example.com/a?b=1, ya",
       {{"lihat", 0}, {"https://www.example.com/a?b=1", 6}, {",", 35}, {"ya", 37}}},
      {"URL in brackets keeps its own brackets", "(https://x.id/a_(b)).",
       {{"(", 0}, {"https://x.id/a_(b)", 1}, {")", 19}, {".", 20}}},
      {"www host", "di www.example.com saja", {{"di", 0}, {"www.example.com", 3}, {"saja", 19}}},
      {"host with a path", "buka example.com/path/x.", {{"buka", 0}, {"example.com/path/x", 5}, {".", 23}}},
      {"scheme without a body", "http:// x", {{"http", 0}, {":", 4}, {"/", 5}, {"/", 6}, {"x", 8}}},
      {"and/or is not a host", "dan/atau", {{"dan", 0}, {"/", 3}, {"atau", 4}}},
  });
}

TEST(Tokenizer, NumbersStayWhole) {
  check_table({
      {"thousands and decimals", "Rp 1.500.000,00 dan 3.14", {{"Rp", 0}, {"1.500.000,00", 3}, {"dan", 16}, {"3.14", 20}}},
      {"currency glued to the amount", "Rp1.500.000", {{"Rp1.500.000", 0}}},
      {"phone numbers", "+62 812-3456-7890, (021) 555-1234",
       {{"+62", 0}, {"812-3456-7890", 4}, {",", 17}, {"(", 19}, {"021", 20}, {")", 23}, {"555-1234", 25}}},
      {"international number in one piece", "+6281234567890", {{"+6281234567890", 0}}},
      {"dates and times", "15/12/2026 10:30", {{"15/12/2026", 0}, {"10:30", 11}}},
      {"tax number", "NPWP 01.234.567.8-901.000", {{"NPWP", 0}, {"01.234.567.8-901.000", 5}}},
      {"number closing a sentence", "total 500.000.", {{"total", 0}, {"500.000", 6}, {".", 13}}},
      {"percent", "50%", {{"50", 0}, {"%", 2}}},
  });
}

TEST(Tokenizer, AbbreviationsKeepTheirPeriod) {
  check_table({
      {"titles and companies", "PT. Maju, Sdr. Budi, Dr. Ani, Mr. Smith",
       {{"PT.", 0}, {"Maju", 4}, {",", 8}, {"Sdr.", 10}, {"Budi", 15}, {",", 19}, {"Dr.", 21}, {"Ani", 25},
        {",", 28}, {"Mr.", 30}, {"Smith", 34}}},
      {"address", "Jl. Merdeka No. 5", {{"Jl.", 0}, {"Merdeka", 4}, {"No.", 12}, {"5", 16}}},
      {"abbreviation glued to what follows", "No.123 Jl.Merdeka Rp.500",
       {{"No.", 0}, {"123", 3}, {"Jl.", 7}, {"Merdeka", 10}, {"Rp.", 18}, {"500", 21}}},
      {"dotted letters", "e.g. this, a.n. Budi", {{"e.g.", 0}, {"this", 5}, {",", 9}, {"a.n.", 11}, {"Budi", 16}}},
      {"degree and initial", "Ni L. Putu, S.Kom.", {{"Ni", 0}, {"L.", 3}, {"Putu", 6}, {",", 10}, {"S.Kom.", 12}}},
      {"abbreviation before an ellipsis", "dll...", {{"dll", 0}, {"...", 3}}},
  });
}

TEST(Tokenizer, EmojiScriptsAndOffsetsInCodePoints) {
  check_table({
      {"emoji with a skin tone", "Halo\U0001F600\U0001F44D\U0001F3FD!",
       {{"Halo", 0}, {"\U0001F600", 4}, {"\U0001F44D\U0001F3FD", 5}, {"!", 7}}},
      {"ZWJ family and a flag", "\U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F1EE\U0001F1E9 x",
       {{"\U0001F468\u200D\U0001F469\u200D\U0001F467", 0}, {"\U0001F1EE\U0001F1E9", 6}, {"x", 9}}},
      {"mixed scripts", "Budi 山田 مرحبا Привет Dédé",
       {{"Budi", 0}, {"山田", 5}, {"مرحبا", 8}, {"Привет", 14}, {"Dédé", 21}}},
      {"combining marks stay with their letter", "De\u0301de\u0301 x", {{"De\u0301de\u0301", 0}, {"x", 7}}},
      {"zero-width space separates", "a\u200Bb", {{"a", 0}, {"b", 2}}},
  });
}

TEST(Tokenizer, KindsOfTokens) {
  const std::string input = "PT. Budi 1.500 budi@x.id https://x.id , \U0001F600";
  std::vector<TokenKind> kinds;
  for (const Token& t : Tokenizer().tokenize(input)) kinds.push_back(t.kind);
  EXPECT_EQ(kinds, (std::vector<TokenKind>{TokenKind::kAbbreviation, TokenKind::kWord, TokenKind::kNumber,
                                          TokenKind::kEmail, TokenKind::kUrl, TokenKind::kPunctuation,
                                          TokenKind::kSymbol}));
}

TEST(Tokenizer, HostileInput) {
  EXPECT_TRUE(Tokenizer().tokenize("").empty());
  EXPECT_TRUE(Tokenizer().tokenize(" \t\n\r\u00a0\u3000\u200B ").empty());
  EXPECT_EQ(tokens_of("!?,;"), (std::vector<Tok>{{"!", 0}, {"?", 1}, {",", 2}, {";", 3}}));

  // Tokens longer than 10,000 characters, and runs that could make a scanner
  // look ahead again and again: each must be one linear pass.
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::string> inputs = {std::string(20000, 'a'), "x" + std::string(20000, '-') + "y"};
  std::string digits, plus, at, dots, slashes, apostrophes, emoji;
  for (int i = 0; i < 20000; ++i) {
    digits += "1.";
    plus += "a+";
    at += "x@";
    dots += "a.";
    slashes += "1/";
    apostrophes += "a'";
    emoji += "\U0001F600\u200D";
  }
  inputs.insert(inputs.end(), {digits, plus + "@x", at, dots + "com/", slashes, apostrophes, emoji,
                               "https://" + dots});
  for (const std::string& input : inputs) check_consistent(input);
  EXPECT_EQ(Tokenizer().tokenize(inputs[0]).size(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tesk_privacy::recognition
