#include "inference/unigram_model.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "inference/json_fields.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

constexpr double kUnknownPenalty = 10.0;

}  // namespace

UnigramModel::UnigramModel(const nlohmann::json& desc, const std::string& origin)
    : byte_fallback_(bool_field(desc, "byte_fallback", false, origin)) {
  const nlohmann::json& pieces = array_field(desc, "vocab", origin);
  double min_score = std::numeric_limits<double>::max();
  for (size_t id = 0; id < pieces.size(); ++id) {
    const auto& p = pieces[id];
    if (!p.is_array() || p.size() != 2 || !p[0].is_string() || !p[1].is_number()) {
      fail_at(origin, "vocabulary entry " + std::to_string(id) + " is not a [piece, score] pair");
    }
    std::string piece = p[0].get<std::string>();
    if (find_invalid_utf8(piece) != std::string_view::npos) {
      fail_at(origin, "vocabulary entry " + std::to_string(id) + " is not valid UTF-8");
    }
    const double score = p[1].get<double>();
    min_score = std::min(min_score, score);
    scores_.push_back(score);
    if (!piece.empty()) sorted_.emplace_back(piece, static_cast<int32_t>(id));
    vocab_.add(std::move(piece), static_cast<int32_t>(id), origin);
  }
  std::sort(sorted_.begin(), sorted_.end());
  unk_score_ = (pieces.empty() ? 0.0 : min_score) - kUnknownPenalty;
  if (desc.contains("unk_id") && !desc["unk_id"].is_null()) {
    int32_t unk = id_value(desc["unk_id"], origin, "unk_id");
    if (static_cast<size_t>(unk) >= pieces.size()) {
      fail_at(origin, "unk_id " + std::to_string(unk) + " is outside the vocabulary");
    }
    unk_id_ = unk;
  }
}

std::vector<ModelToken> UnigramModel::tokenize(std::u32string_view word) const {
  if (word.empty()) return {};
  const size_t n = word.size();
  std::string bytes;
  std::vector<size_t> byte_of(n + 1);
  for (size_t i = 0; i < n; ++i) {
    byte_of[i] = bytes.size();
    append_utf8(bytes, word[i]);
  }
  byte_of[n] = bytes.size();

  // best[e]: the best path over the first e code points; id -1 marks an
  // unknown code point.
  struct Node {
    double score = -std::numeric_limits<double>::infinity();
    size_t start = 0;
    int32_t id = -1;
    bool reached = false;
  };
  std::vector<Node> best(n + 1);
  best[0].score = 0;
  best[0].reached = true;
  auto relax = [&](size_t start, size_t end, double score, int32_t id) {
    const double candidate = best[start].score + score;
    if (!best[end].reached || candidate > best[end].score) best[end] = {candidate, start, id, true};
  };
  for (size_t s = 0; s < n; ++s) {
    if (!best[s].reached) continue;
    // Walk the sorted pieces, narrowing to those that extend the prefix.
    auto lo = sorted_.begin(), hi = sorted_.end();
    bool single = false;
    for (size_t e = s + 1; e <= n && lo != hi; ++e) {
      std::string_view prefix(bytes.data() + byte_of[s], byte_of[e] - byte_of[s]);
      lo = std::lower_bound(lo, hi, prefix, [](const auto& entry, std::string_view p) {
        return std::string_view(entry.first) < p;
      });
      hi = std::upper_bound(lo, hi, prefix, [](std::string_view p, const auto& entry) {
        return p < std::string_view(entry.first).substr(0, p.size());
      });
      if (lo != hi && lo->first == prefix) {
        relax(s, e, scores_[lo->second], lo->second);
        if (e == s + 1) single = true;
      }
    }
    if (!single) relax(s, s + 1, unk_score_, -1);
  }

  // Walk back, fusing runs of unknown code points.
  std::vector<ModelToken> reversed;
  for (size_t e = n; e > 0; e = best[e].start) {
    const Node& node = best[e];
    const bool unknown = node.id < 0 || (unk_id_ && node.id == *unk_id_);
    if (unknown && !reversed.empty() && reversed.back().id == -1) {
      reversed.back().start = node.start;
    } else {
      reversed.push_back({unknown ? -1 : node.id, "", node.start, e});
    }
  }
  std::vector<ModelToken> out;
  for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) {
    ModelToken t = *it;
    t.value.assign(bytes, byte_of[t.start], byte_of[t.end] - byte_of[t.start]);
    if (t.id >= 0) {
      out.push_back(std::move(t));
      continue;
    }
    if (byte_fallback_) {
      std::vector<int32_t> ids;
      for (unsigned char b : t.value) {
        char name[8];
        std::snprintf(name, sizeof name, "<0x%02X>", b);
        if (auto id = vocab_.find(name)) ids.push_back(*id);
      }
      if (ids.size() == t.value.size()) {
        for (int32_t id : ids) out.push_back({id, *vocab_.token(id), t.start, t.end});
        continue;
      }
    }
    if (!unk_id_) {
      throw std::runtime_error("Unigram model has no unknown token for '" + t.value + "'");
    }
    t.id = *unk_id_;
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace tesk_privacy::inference
