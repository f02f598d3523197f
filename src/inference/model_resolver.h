// Model resolution: turns a model name as users write it into the folder
// that holds its files. A name that is an existing folder is used as is; a
// model-hub identifier ("org/name" or "name") is looked up in the local hub
// cache, in the snapshot that refs/<revision> points to. Nothing is ever
// downloaded.
//
// The cache folder is, in this order: $HF_HUB_CACHE, $HUGGINGFACE_HUB_CACHE,
// $HF_HOME/hub, $XDG_CACHE_HOME/huggingface/hub, ~/.cache/huggingface/hub;
// a repository lives in models--<org>--<name>/ with refs/ and snapshots/.
//
//   std::filesystem::path folder = resolve_model("cahya/bert-base-indonesian-NER");
//
// A model that cannot be found fails with ModelNotFoundError naming every
// place searched.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tesk_privacy::inference {

class ModelNotFoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The hub cache folder the environment selects.
std::filesystem::path hub_cache_dir();

// Throws ModelNotFoundError when `model` is neither a folder nor a cached
// hub model, and std::invalid_argument for an empty name or a revision that
// is not a plain name.
std::filesystem::path resolve_model(std::string_view model, std::string_view revision = "main");

}  // namespace tesk_privacy::inference
