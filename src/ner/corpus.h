// Reading annotated named-entity corpora in the CoNLL family of formats:
// one token per line with its tag in the last column, sentences separated by
// blank (or white-space-only) lines, "-DOCSTART-" lines between documents.
// A line with a TAB is "token TAB ... TAB tag" (the token may hold spaces);
// otherwise it is "token [columns] tag" separated by spaces. Tags are BIO or
// IOB1 ("B-PER", "I-LOC", "O"); their types map to EntityType with
// entity_type_from_tag(), other types become O.
//
// With TagScheme::kIo the tags are bare types ("person", "place", "O"), and
// a run of tokens of one type is one entity.
//
// Each sentence becomes an AnnotatedText: its tokens joined by single spaces,
// and its entities as byte ranges of that text, trimmed of brackets, quotes
// and commas that a corpus token carried along ("(Jakarta" -> "Jakarta").
//
//   std::vector<AnnotatedText> sentences = read_conll_file("nergrit/test.txt");
//   std::vector<int> labels = project_labels(sentences[0], tokens);
#pragma once

#include <cstddef>
#include <istream>
#include <span>
#include <string>
#include <vector>

#include "ner/labels.h"
#include "ner/tagger.h"

namespace tesk_privacy::ner {

// An entity as a byte range of a text.
struct EntitySpan {
  EntityType type;
  size_t begin;
  size_t end;
  bool operator==(const EntitySpan&) const = default;
  auto operator<=>(const EntitySpan&) const = default;
};

struct AnnotatedText {
  std::string text;
  std::vector<EntitySpan> entities;
  int document = 0;  // counts "-DOCSTART-" lines seen before the sentence
};

enum class TagScheme { kBio, kIo };

std::vector<AnnotatedText> read_conll(std::istream& in, TagScheme scheme = TagScheme::kBio);
// Throws std::runtime_error when the file cannot be read.
std::vector<AnnotatedText> read_conll_file(const std::string& path, TagScheme scheme = TagScheme::kBio);

// BIO labels of a tokenization of `annotated.text`: a token overlapping an
// entity is labelled B- when it is the first such token, I- after that;
// other tokens O.
std::vector<int> project_labels(const AnnotatedText& annotated, std::span<const TokenSpan> tokens);

// The byte ranges of entities found over `tokens`.
std::vector<EntitySpan> entity_spans(std::span<const Entity> entities, std::span<const TokenSpan> tokens);

}  // namespace tesk_privacy::ner
