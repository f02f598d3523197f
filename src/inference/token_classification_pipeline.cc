#include "inference/token_classification_pipeline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "inference/model_resolver.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

Encoding slice(const Encoding& e, size_t a, size_t b) {
  auto part = [a, b](const auto& v) { return std::decay_t<decltype(v)>(v.begin() + a, v.begin() + b); };
  return {part(e.ids), part(e.type_ids), part(e.tokens), part(e.offsets), part(e.word_ids), part(e.special_tokens_mask)};
}

// A token with what aggregation needs.
struct TokenInfo {
  std::string word;  // the token string (the text itself for unknown tokens)
  size_t start, end;
  const std::vector<float>* probs;
  size_t index;
  bool is_subword;
};

size_t argmax(const std::vector<float>& v) { return std::max_element(v.begin(), v.end()) - v.begin(); }

// ("B", "PER") for "B-PER", ("I", "PER") for "I-PER" and ("I", label) otherwise.
std::pair<std::string, std::string> bio_tag(const std::string& label) {
  if (label.rfind("B-", 0) == 0) return {"B", label.substr(2)};
  if (label.rfind("I-", 0) == 0) return {"I", label.substr(2)};
  return {"I", label};
}

}  // namespace

AggregationStrategy parse_aggregation_strategy(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "none") return AggregationStrategy::kNone;
  if (lower == "simple") return AggregationStrategy::kSimple;
  if (lower == "first") return AggregationStrategy::kFirst;
  if (lower == "average") return AggregationStrategy::kAverage;
  if (lower == "max") return AggregationStrategy::kMax;
  throw std::invalid_argument("aggregation strategy '" + std::string(name) +
                              "' is not one of none, simple, first, average, max");
}

TokenClassificationPipeline::TokenClassificationPipeline(Tokenizer tokenizer, std::shared_ptr<const Encoder> model,
                                                         TokenClassificationOptions options)
    : tokenizer_(std::move(tokenizer)), model_(std::move(model)), options_(std::move(options)) {
  if (!model_) throw std::invalid_argument("TokenClassificationPipeline: no model");
  size_t capacity = model_->max_sequence_length();
  if (auto limit = tokenizer_.model_max_length()) capacity = std::min(capacity, *limit);
  const size_t specials = tokenizer_.num_special_tokens_to_add();
  if (capacity <= specials) {
    throw std::invalid_argument("TokenClassificationPipeline: the model takes " + std::to_string(capacity) +
                                " tokens, no more than the " + std::to_string(specials) + " special tokens");
  }
  window_ = capacity - specials;
  // Special tokens in front of the content: those before the first content
  // token of a one-token sequence.
  Encoding one;
  one.ids = {0};
  one.type_ids = {0};
  one.tokens = {""};
  one.offsets = {{}};
  one.word_ids = {0};
  one.special_tokens_mask = {0};
  const Encoding wrapped = tokenizer_.add_special_tokens(one);
  while (leading_special_tokens_ < wrapped.size() && wrapped.special_tokens_mask[leading_special_tokens_]) {
    ++leading_special_tokens_;
  }
}

TokenClassificationPipeline TokenClassificationPipeline::from_pretrained(std::string_view model,
                                                                         TokenClassificationOptions options) {
  const std::filesystem::path folder = resolve_model(model);
  Tokenizer tokenizer = Tokenizer::from_folder(folder);
  auto encoder = std::make_shared<const Encoder>(Encoder::from_folder(folder));
  return TokenClassificationPipeline(std::move(tokenizer), std::move(encoder), std::move(options));
}

std::vector<std::vector<float>> TokenClassificationPipeline::token_probabilities(const Encoding& content) const {
  const size_t n = content.size();
  std::vector<std::vector<float>> probs(n);
  std::vector<size_t> margin(n, 0);
  const size_t vocab = model_->config().vocab_size;

  auto run = [&](size_t a, size_t b) {
    const Encoding window = tokenizer_.add_special_tokens(slice(content, a, b));
    for (int32_t id : window.ids) {
      if (id < 0 || static_cast<size_t>(id) >= vocab) {
        throw std::runtime_error("tokenizer and model do not match: token id " + std::to_string(id) +
                                 " is outside the model's vocabulary of " + std::to_string(vocab));
      }
    }
    const Logits logits = model_->forward(window.ids, window.type_ids);
    size_t t = a;
    for (size_t row = 0; row < window.size(); ++row) {
      if (window.special_tokens_mask[row]) continue;  // content tokens are never marked special
      // Context on both sides within this window; the text's own ends count as unlimited.
      const size_t left = a == 0 ? std::numeric_limits<size_t>::max() : t - a;
      const size_t right = b == n ? std::numeric_limits<size_t>::max() : b - 1 - t;
      const size_t m = std::min(left, right);
      if (probs[t].empty() || m > margin[t]) {
        auto r = logits.row(row);
        const float mx = *std::max_element(r.begin(), r.end());
        std::vector<float> p(r.size());
        float sum = 0;
        for (size_t k = 0; k < r.size(); ++k) sum += p[k] = std::exp(r[k] - mx);
        for (float& v : p) v /= sum;
        probs[t] = std::move(p);
        margin[t] = m;
      }
      ++t;
    }
  };

  if (n <= window_) {
    run(0, n);
    return probs;
  }
  const size_t overlap = std::min(options_.window_overlap, window_ / 2);
  const size_t stride = window_ - overlap;
  for (size_t start = 0;; start = std::min(start + stride, n - window_)) {
    run(start, start + window_);
    if (start + window_ >= n) break;
  }
  return probs;
}

std::vector<EntityPrediction> TokenClassificationPipeline::operator()(std::string_view text) const {
  const Encoding content = tokenizer_.encode(text, /*add_special_tokens=*/false);
  if (content.size() == 0) return {};
  const Utf8Text original{std::string(text)};
  const auto probs = token_probabilities(content);
  const auto& labels = model_->config().id2label;
  const auto unk = tokenizer_.unk_token_id();

  std::vector<TokenInfo> tokens;
  tokens.reserve(content.size());
  for (size_t i = 0; i < content.size(); ++i) {
    TokenInfo t{content.tokens[i], content.offsets[i].start, content.offsets[i].end, &probs[i],
                leading_special_tokens_ + i, i > 0 && content.word_ids[i] == content.word_ids[i - 1]};
    if (unk && content.ids[i] == *unk) {
      t.word = std::string(original.slice(t.start, t.end));
      t.is_subword = false;
    }
    tokens.push_back(std::move(t));
  }

  // One record per token, or per word for the word strategies.
  std::vector<EntityPrediction> units;
  const AggregationStrategy strategy = options_.aggregation_strategy;
  if (strategy == AggregationStrategy::kNone || strategy == AggregationStrategy::kSimple) {
    for (const TokenInfo& t : tokens) {
      const size_t best = argmax(*t.probs);
      EntityPrediction p;
      p.entity = labels[best];
      p.score = (*t.probs)[best];
      p.word = t.word;
      p.start = t.start;
      p.end = t.end;
      p.index = t.index;
      units.push_back(std::move(p));
    }
  } else {
    for (size_t i = 0; i < tokens.size();) {
      size_t j = i + 1;
      while (j < tokens.size() && tokens[j].is_subword) ++j;
      std::vector<float> scores;
      if (strategy == AggregationStrategy::kFirst) {
        scores = *tokens[i].probs;
      } else if (strategy == AggregationStrategy::kMax) {
        size_t most = i;
        for (size_t k = i; k < j; ++k) {
          if (*std::max_element(tokens[k].probs->begin(), tokens[k].probs->end()) >
              *std::max_element(tokens[most].probs->begin(), tokens[most].probs->end())) {
            most = k;
          }
        }
        scores = *tokens[most].probs;
      } else {
        scores.assign(labels.size(), 0.0f);
        for (size_t k = i; k < j; ++k) {
          for (size_t l = 0; l < scores.size(); ++l) scores[l] += (*tokens[k].probs)[l];
        }
        for (float& s : scores) s /= static_cast<float>(j - i);
      }
      std::vector<std::string> pieces;
      for (size_t k = i; k < j; ++k) pieces.push_back(tokens[k].word);
      const size_t best = argmax(scores);
      EntityPrediction p;
      p.entity = labels[best];
      p.score = scores[best];
      p.word = tokenizer_.convert_tokens_to_string(pieces);
      p.start = tokens[i].start;
      p.end = tokens[j - 1].end;
      units.push_back(std::move(p));
      i = j;
    }
  }

  std::vector<EntityPrediction> out;
  auto ignored = [this](const std::string& label) {
    return std::find(options_.ignore_labels.begin(), options_.ignore_labels.end(), label) !=
           options_.ignore_labels.end();
  };
  if (strategy == AggregationStrategy::kNone) {
    for (EntityPrediction& p : units) {
      if (!ignored(p.entity)) out.push_back(std::move(p));
    }
    return out;
  }

  // Group consecutive units of one entity type; a "B-" label starts anew.
  auto emit = [&](size_t a, size_t b) {
    EntityPrediction g;
    const std::string& first = units[a].entity;
    const size_t dash = first.find('-');
    g.entity_group = dash == std::string::npos ? first : first.substr(dash + 1);
    double sum = 0;
    std::vector<std::string> words;
    for (size_t k = a; k < b; ++k) {
      sum += units[k].score;
      words.push_back(units[k].word);
    }
    g.score = sum / static_cast<double>(b - a);
    g.word = tokenizer_.convert_tokens_to_string(words);
    g.start = units[a].start;
    g.end = units[b - 1].end;
    if (!ignored(g.entity_group)) out.push_back(std::move(g));
  };
  size_t group_start = 0;
  for (size_t k = 1; k < units.size(); ++k) {
    const auto [bi, tag] = bio_tag(units[k].entity);
    const auto [last_bi, last_tag] = bio_tag(units[k - 1].entity);
    if (!(tag == last_tag && bi != "B")) {
      emit(group_start, k);
      group_start = k;
    }
  }
  emit(group_start, units.size());
  return out;
}

}  // namespace tesk_privacy::inference
