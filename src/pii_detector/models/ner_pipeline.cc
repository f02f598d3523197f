#include "pii_detector/models/ner_pipeline.h"

#include "inference/model_resolver.h"

namespace tesk_privacy::pii_detector {

std::shared_ptr<const NativeNerPipeline> NativeNerPipeline::load(
    const std::string& model_path, const LockedTokenizer& tokenizer, const std::string& aggregation_strategy,
    const std::optional<std::vector<std::string>>& ignore_labels, std::string backend, std::string device) {
  inference::TokenClassificationOptions options;
  options.aggregation_strategy = inference::parse_aggregation_strategy(aggregation_strategy);
  options.ignore_labels = ignore_labels && !ignore_labels->empty() ? *ignore_labels : std::vector<std::string>{"O"};
  const auto folder = inference::resolve_model(model_path);
  auto encoder = std::make_shared<const inference::Encoder>(inference::Encoder::from_folder(folder));
  inference::TokenClassificationPipeline pipeline(tokenizer.unguarded(), encoder, std::move(options));
  return std::make_shared<const NativeNerPipeline>(std::move(pipeline), std::move(encoder), std::move(backend),
                                                   std::move(device));
}

}  // namespace tesk_privacy::pii_detector
