// Lemmatizers and stop-word lists: tables of words and their lemmas.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recognition/english_lemmatizer.h"
#include "recognition/indonesian_lemmatizer.h"
#include "recognition/stop_words.h"

namespace tesk_privacy::recognition {
namespace {

using Table = std::vector<std::pair<std::string, std::string>>;  // word, lemma

void check_table(const Lemmatizer& lemmatizer, const Table& table) {
  for (const auto& [word, lemma] : table) EXPECT_EQ(lemmatizer.lemmatize(word), lemma) << word;
}

TEST(EnglishLemmatizer, RegularInflections) {
  check_table(EnglishLemmatizer(), {
      // plurals and third person
      {"accounts", "account"}, {"companies", "company"}, {"addresses", "address"}, {"boxes", "box"},
      {"matches", "match"}, {"wishes", "wish"}, {"heroes", "hero"}, {"shoes", "shoe"}, {"ideas", "idea"},
      {"expenses", "expense"}, {"moves", "move"}, {"days", "day"}, {"topics", "topic"}, {"ties", "tie"},
      // -ing
      {"running", "run"}, {"making", "make"}, {"using", "use"}, {"charging", "charge"},
      {"creating", "create"}, {"visiting", "visit"}, {"opening", "opening"}, {"calling", "call"},
      {"going", "go"}, {"paying", "pay"}, {"dancing", "dance"}, {"changing", "change"},
      // -ed
      {"applied", "apply"}, {"stopped", "stop"}, {"agreed", "agree"}, {"created", "create"},
      {"named", "name"}, {"wanted", "want"}, {"closed", "close"}, {"passed", "pass"},
      // superlative
      {"easiest", "easy"}, {"earliest", "early"},
      // hyphenated: the last part
      {"e-mails", "e-mail"},
  });
}

TEST(EnglishLemmatizer, IrregularFormsAndClitics) {
  check_table(EnglishLemmatizer(), {
      {"was", "be"}, {"is", "be"}, {"'re", "be"}, {"went", "go"}, {"bought", "buy"}, {"paid", "pay"},
      {"children", "child"}, {"women", "woman"}, {"analyses", "analysis"}, {"lives", "life"},
      {"better", "good"}, {"worst", "bad"}, {"bigger", "big"}, {"n't", "not"}, {"n\u2019t", "not"},
      {"ca", "can"}, {"'ll", "will"}, {"used", "use"}, {"added", "add"}, {"quizzes", "quiz"},
  });
}

TEST(EnglishLemmatizer, WordsThatOnlyLookInflected) {
  check_table(EnglishLemmatizer(), {
      {"bpjs", "bpjs"}, {"npwp", "npwp"}, {"status", "status"}, {"news", "news"}, {"business", "business"},
      {"analysis", "analysis"}, {"series", "series"}, {"physics", "physics"}, {"morning", "morning"},
      {"during", "during"}, {"thing", "thing"}, {"string", "string"}, {"hundred", "hundred"},
      {"need", "need"}, {"number", "number"}, {"interest", "interest"}, {"customer", "customer"},
      {"supplier", "supplier"}, {"bus", "bus"}, {"his", "his"}, {"'s", "'s"},
      {"3.14", "3.14"}, {"dédé", "dédé"}, {"rekeningnya", "rekeningnya"},
  });
}

TEST(IndonesianLemmatizer, ParticlesAndPossessives) {
  check_table(IndonesianLemmatizer(), {
      {"rekeningnya", "rekening"}, {"bukunya", "buku"}, {"ibuku", "ibu"}, {"rumahmu", "rumah"},
      {"nomorku", "nomor"}, {"apakah", "apa"}, {"dialah", "dia"}, {"siapapun", "siapa"},
      {"meskipun", "meski"}, {"rumahnyalah", "rumah"}, {"bukankah", "bukan"}, {"dianya", "dia"},
      {"anak-anaknya", "anak-anak"}, {"karyawannya", "karyawan"},
  });
}

TEST(IndonesianLemmatizer, RootsThatOnlyLookSuffixed) {
  check_table(IndonesianLemmatizer(), {
      {"buku", "buku"}, {"kuku", "kuku"}, {"aku", "aku"}, {"tanya", "tanya"}, {"punya", "punya"},
      {"hanya", "hanya"}, {"ilmu", "ilmu"}, {"kamu", "kamu"}, {"tamu", "tamu"}, {"sekolah", "sekolah"},
      {"masalah", "masalah"}, {"jumlah", "jumlah"}, {"adalah", "adalah"}, {"langkah", "langkah"},
      {"nikah", "nikah"}, {"ampun", "ampun"}, {"himpun", "himpun"},
      // behind a prefix or in a reduplication
      {"bersekolah", "bersekolah"}, {"bertanya", "bertanya"}, {"mengaku", "mengaku"}, {"menikah", "menikah"},
      {"bertemu", "bertemu"}, {"buku-buku", "buku-buku"},
      // too short to leave a root; not a plain word
      {"nya", "nya"}, {"olah", "olah"}, {"2020nya", "2020nya"}, {"-nya", "-nya"}, {"accounts", "accounts"},
  });
}

TEST(StopWords, PerLanguage) {
  const StopWords en("en"), id("id");
  for (const char* w : {"the", "is", "'s", "n't", "of"}) {
    EXPECT_TRUE(en.contains(w)) << w;
    EXPECT_TRUE(id.contains(w)) << w;  // Indonesian text mixes in English
  }
  for (const char* w : {"saya", "adalah", "yang", "dan", "nya"}) {
    EXPECT_FALSE(en.contains(w)) << w;
    EXPECT_TRUE(id.contains(w)) << w;
  }
  for (const char* w : {"nomor", "rekening", "no", "number", "name", "call", "amount", "bpjs"}) {
    EXPECT_FALSE(id.contains(w)) << w;
  }
  EXPECT_THROW(StopWords("fr"), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::recognition
