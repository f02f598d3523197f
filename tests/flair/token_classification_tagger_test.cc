// TokenClassificationTagger: word-level BIOES spans from a hand-weighted
// model, code-point offsets, and loading from the hub cache.
#include "flair/token_classification_tagger.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "flair/tiny_tagger.h"
#include "inference/model_resolver.h"

namespace tesk_privacy::flair {
namespace {

using inference::testing::ScratchDir;

// "text/tag@start" for each "ner" span, checking the model's confidence.
std::vector<std::string> ner_spans(const Sentence& sentence) {
  std::vector<std::string> out;
  for (const Span& s : sentence.get_spans(kNerLabelType)) {
    out.push_back(s.text + "/" + s.tag() + "@" + std::to_string(s.start_position));
    EXPECT_NEAR(s.score(), testing::tiny_tagger_confidence(), 1e-5);
  }
  return out;
}

TEST(TokenClassificationTagger, TagsWordsAndFormsSpans) {
  ScratchDir dir;
  testing::write_tiny_tagger(dir.path());
  auto tagger = TokenClassificationTagger::from_pretrained(dir.path().string());
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      // "é" makes code points and bytes differ; "keluarga" (kel ##uar ##ga)
      // takes its first piece's tag and spans the whole word.
      {"Café Budi tinggal di ibu kota Jakarta, keluarga.",
       {"Café/ORG@0", "Budi/PER@5", "ibu kota Jakarta/LOC@21", "keluarga/PER@39"}},
      {"Budi budi", {"Budi/PER@0", "budi/PER@5"}},
      {"di Jakarta kota", {"Jakarta/LOC@3", "kota/LOC@11"}},  // stray E- and I- after O
      {"", {}},
  };
  for (const auto& [text, expected] : cases) {
    Sentence sentence(text);
    if (!text.empty()) {
      sentence.add_span(kNerLabelType, 0, 1, "STALE", 0.5);  // replaced by the prediction
      sentence.add_span("pos", 0, 1, "X");                   // left alone
    }
    tagger->predict(sentence);
    EXPECT_EQ(ner_spans(sentence), expected) << text;
    EXPECT_EQ(sentence.get_spans("pos").size(), text.empty() ? 0u : 1u);
  }
}

TEST(TokenClassificationTagger, LoadsFromTheHubCacheAndExplainsForeignFolders) {
  ScratchDir cache;
  const char* old = std::getenv("HF_HUB_CACHE");
  const std::string saved = old ? old : "";
  ::setenv("HF_HUB_CACHE", cache.path().string().c_str(), 1);

  testing::write_tiny_tagger(cache / "models--acme--tagger" / "snapshots" / "abc123");
  inference::testing::write_file(cache / "models--acme--tagger" / "refs" / "main", "abc123");
  Sentence sentence("halo Budi");
  SequenceTagger::load("acme/tagger")->predict(sentence);
  EXPECT_EQ(ner_spans(sentence), std::vector<std::string>{"Budi/PER@5"});

  // A model saved by another tagging library: one pickled file.
  inference::testing::write_file(cache / "models--acme--pickled" / "snapshots" / "def456" / "final-model.pt", "x");
  inference::testing::write_file(cache / "models--acme--pickled" / "refs" / "main", "def456");
  try {
    SequenceTagger::load("acme/pickled");
    ADD_FAILURE() << "loaded a folder without a hub-format model";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("no config.json, tokenizer.json, model.safetensors"), std::string::npos);
  }
  EXPECT_THROW(SequenceTagger::load("acme/absent"), inference::ModelNotFoundError);

  if (old) ::setenv("HF_HUB_CACHE", saved.c_str(), 1);
  else ::unsetenv("HF_HUB_CACHE");
}

}  // namespace
}  // namespace tesk_privacy::flair
