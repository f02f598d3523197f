// Corpus reading in each format the training data comes in, label
// projection onto another tokenization, and exact-match evaluation.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ner/corpus.h"
#include "ner/evaluation.h"

namespace tesk_privacy::ner {
namespace {

struct Expected {
  std::string text;
  std::vector<std::pair<std::string, EntityType>> entities;
  int document = 0;
};

void expect_corpus(const std::string& name, const std::string& input, const std::vector<Expected>& expected) {
  std::istringstream in(input);
  const auto got = read_conll(in);
  ASSERT_EQ(got.size(), expected.size()) << name;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].text, expected[i].text) << name;
    EXPECT_EQ(got[i].document, expected[i].document) << name;
    std::vector<std::pair<std::string, EntityType>> entities;
    for (const EntitySpan& e : got[i].entities) entities.emplace_back(got[i].text.substr(e.begin, e.end - e.begin), e.type);
    EXPECT_EQ(entities, expected[i].entities) << name << " sentence " << i;
  }
}

TEST(NerCorpus, ReadsEachFormat) {
  const auto P = EntityType::kPerson, L = EntityType::kLocation, G = EntityType::kOrganization;
  expect_corpus("token TAB tag, BIO",
                "Joko\tB-PERSON\nWidodo\tI-PERSON\ndari\tO\nSolo\tB-PLACE\n\nBank\tB-ORGANISATION\nBCA\tI-ORGANISATION\n",
                {{"Joko Widodo dari Solo", {{"Joko Widodo", P}, {"Solo", L}}}, {"Bank BCA", {{"Bank BCA", G}}}});
  expect_corpus("token POS tag, white-space sentence breaks, CRLF",
                "Prabowo PROPN B-PER\r\nke ADP O\r\nJakarta PROPN B-LOC\r\n  \r\nPKB PROPN B-ORG\r\n",
                {{"Prabowo ke Jakarta", {{"Prabowo", P}, {"Jakarta", L}}}, {"PKB", {{"PKB", G}}}});
  expect_corpus("IOB1 with documents; MISC dropped",
                "-DOCSTART- O\n\nThe O\nNew I-ORG\nYork I-ORG\nTimes I-ORG\nsaw I-MISC\nParis I-LOC\n\n"
                "-DOCSTART- O\n\nAnn I-PER\nBob B-PER\n",
                {{"The New York Times saw Paris", {{"New York Times", G}, {"Paris", L}}, 1},
                 {"Ann Bob", {{"Ann", P}, {"Bob", P}}, 2}});
  expect_corpus("lower case, multi-word tokens, other types",
                "sementara itu\tO\npak\tO\njokowi\tB-PPL\nmakan\tO\nnasi goreng\tB-FNB\ndi\tO\nsolo\tB-PLC\n",
                {{"sementara itu pak jokowi makan nasi goreng di solo", {{"jokowi", P}, {"solo", L}}}});
  expect_corpus("stray punctuation trimmed from entities",
                "(Jakarta\tB-LOC\n)\tO\n\"Budi\tB-PER\nSantoso\"\tI-PER\n",
                {{"(Jakarta ) \"Budi Santoso\"", {{"Jakarta", L}, {"Budi Santoso", P}}}});
  expect_corpus("social-media types", "@budi\tB-person\nGojek\tB-corporation\nX\tB-product\n",
                {{"@budi Gojek X", {{"@budi", P}, {"Gojek", G}}}});
}

// Bare types without B-/I-: a run of one type is one entity, and a change of
// type starts another.
TEST(NerCorpus, ReadsBareTypes) {
  const auto P = EntityType::kPerson, L = EntityType::kLocation, G = EntityType::kOrganization;
  std::istringstream in(
      "Stan\tperson\nLee\tperson\nvisited\tO\nthe\tplace\nUnited\tplace\nStates\tplace\nNASA\torganization\n"
      "on\tO\nFriday\ttime\n\nParis\tplace\n");
  const auto got = read_conll(in, TagScheme::kIo);
  ASSERT_EQ(got.size(), 2u);
  std::vector<std::pair<std::string, EntityType>> entities;
  for (const AnnotatedText& a : got) {
    for (const EntitySpan& e : a.entities) entities.emplace_back(a.text.substr(e.begin, e.end - e.begin), e.type);
  }
  EXPECT_EQ(entities, (std::vector<std::pair<std::string, EntityType>>{
                          {"Stan Lee", P}, {"the United States", L}, {"NASA", G}, {"Paris", L}}));
}

TEST(NerCorpus, ProjectsLabelsOntoTokens) {
  AnnotatedText a{"(Budi Santoso) PT. Telkom", {{EntityType::kPerson, 1, 13}, {EntityType::kOrganization, 15, 25}}};
  const std::vector<TokenSpan> tokens = {{0, 1}, {1, 5}, {6, 13}, {13, 14}, {15, 18}, {19, 25}};
  const int BP = begin_label(EntityType::kPerson), IP = inside_label(EntityType::kPerson);
  const int BO = begin_label(EntityType::kOrganization), IO = inside_label(EntityType::kOrganization);
  EXPECT_EQ(project_labels(a, tokens), (std::vector<int>{kOutside, BP, IP, kOutside, BO, IO}));
}

TEST(NerEvaluation, ExactSpanAndType) {
  const auto P = EntityType::kPerson, L = EntityType::kLocation;
  Evaluation eval;
  eval.add(std::vector<EntitySpan>{{P, 0, 4}, {L, 10, 18}, {P, 20, 25}},
           std::vector<EntitySpan>{{P, 0, 4}, {P, 10, 18}, {P, 20, 24}});
  EXPECT_EQ(eval.counts(P).true_positives, 1u);
  EXPECT_EQ(eval.counts(P).false_positives, 2u);  // wrong type, wrong end
  EXPECT_EQ(eval.counts(P).false_negatives, 1u);
  EXPECT_EQ(eval.counts(L).false_negatives, 1u);
  EXPECT_DOUBLE_EQ(eval.counts(P).precision(), 1.0 / 3);
  EXPECT_DOUBLE_EQ(eval.counts(P).recall(), 1.0 / 2);
  EXPECT_DOUBLE_EQ(eval.overall().recall(), 1.0 / 3);
  EXPECT_DOUBLE_EQ(eval.counts(EntityType::kOrganization).f1(), 0.0);
}

}  // namespace
}  // namespace tesk_privacy::ner
