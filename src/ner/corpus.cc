#include "ner/corpus.h"

#include <fstream>
#include <optional>
#include <stdexcept>

namespace tesk_privacy::ner {
namespace {

bool is_blank(std::string_view s) { return s.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos; }

std::string_view trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool trimmable(char c) {
  return c == '(' || c == ')' || c == '[' || c == ']' || c == '"' || c == '\'' || c == ',' || c == ';' ||
         c == ':' || c == '`' || c == ' ';
}

struct Tag {
  bool begin = false;
  std::optional<EntityType> type;
};

Tag parse_tag(std::string_view tag) {
  if (tag.size() < 3 || tag[1] != '-' || (tag[0] != 'B' && tag[0] != 'I')) return {};
  return {tag[0] == 'B', entity_type_from_tag(tag.substr(2))};
}

// A bare type: it continues the entity of the previous token when that had
// the same type (SentenceBuilder::add joins I- tags of one type).
Tag parse_io_tag(std::string_view tag) { return {false, entity_type_from_tag(tag)}; }

class SentenceBuilder {
 public:
  void add(std::string_view token, const Tag& tag) {
    if (!text_.empty()) text_ += ' ';
    const size_t begin = text_.size();
    text_ += token;
    if (!tag.type) {
      open_ = false;
      return;
    }
    if (open_ && !tag.begin && entities_.back().type == *tag.type) {
      entities_.back().end = text_.size();
    } else {
      entities_.push_back({*tag.type, begin, text_.size()});
      open_ = true;
    }
  }
  void finish(std::vector<AnnotatedText>& out, int document) {
    if (!text_.empty()) {
      AnnotatedText a{std::move(text_), {}, document};
      for (EntitySpan e : entities_) {
        while (e.begin < e.end && trimmable(a.text[e.begin])) ++e.begin;
        while (e.end > e.begin && trimmable(a.text[e.end - 1])) --e.end;
        if (e.begin < e.end) a.entities.push_back(e);
      }
      out.push_back(std::move(a));
    }
    text_.clear();
    entities_.clear();
    open_ = false;
  }

 private:
  std::string text_;
  std::vector<EntitySpan> entities_;
  bool open_ = false;
};

}  // namespace

std::vector<AnnotatedText> read_conll(std::istream& in, TagScheme scheme) {
  std::vector<AnnotatedText> out;
  SentenceBuilder sentence;
  int document = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (is_blank(line)) {
      sentence.finish(out, document);
      continue;
    }
    std::string_view token, tag;
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) {
      token = trim(std::string_view(line).substr(0, tab));
      tag = trim(std::string_view(line).substr(line.rfind('\t') + 1));
    } else {
      const std::string_view l = trim(line);
      const size_t first_space = l.find(' ');
      token = l.substr(0, first_space);
      tag = first_space == std::string_view::npos ? std::string_view("O") : trim(l.substr(l.rfind(' ') + 1));
    }
    if (token == "-DOCSTART-") {
      sentence.finish(out, document);
      ++document;
      continue;
    }
    if (token.empty()) continue;
    sentence.add(token, scheme == TagScheme::kIo ? parse_io_tag(tag) : parse_tag(tag));
  }
  sentence.finish(out, document);
  return out;
}

std::vector<AnnotatedText> read_conll_file(const std::string& path, TagScheme scheme) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read corpus file '" + path + "'");
  return read_conll(in, scheme);
}

std::vector<int> project_labels(const AnnotatedText& annotated, std::span<const TokenSpan> tokens) {
  std::vector<int> labels(tokens.size(), kOutside);
  size_t e = 0;
  const auto& entities = annotated.entities;
  for (size_t i = 0; i < tokens.size(); ++i) {
    while (e < entities.size() && entities[e].end <= tokens[i].begin) ++e;
    if (e == entities.size() || entities[e].begin >= tokens[i].end) continue;
    const bool first = i == 0 || tokens[i - 1].end <= entities[e].begin;
    labels[i] = first ? begin_label(entities[e].type) : inside_label(entities[e].type);
  }
  return labels;
}

std::vector<EntitySpan> entity_spans(std::span<const Entity> entities, std::span<const TokenSpan> tokens) {
  std::vector<EntitySpan> spans;
  for (const Entity& e : entities) spans.push_back({e.type, tokens[e.begin_token].begin, tokens[e.end_token - 1].end});
  return spans;
}

}  // namespace tesk_privacy::ner
