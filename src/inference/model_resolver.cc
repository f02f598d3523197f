#include "inference/model_resolver.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace tesk_privacy::inference {
namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

std::filesystem::path expand_home(const std::string& path) {
  if (path == "~" || path.rfind("~/", 0) == 0) return env("HOME") + path.substr(1);
  return path;
}

// "org/name" or "name", each part letters, digits, '-', '_', '.', not
// starting with '.', and without "--" or "..".
bool is_hub_id(std::string_view id) {
  if (id.empty() || id.size() > 200 || id.find("..") != std::string_view::npos ||
      id.find("--") != std::string_view::npos) {
    return false;
  }
  size_t slash = id.find('/');
  if (slash != std::string_view::npos && id.find('/', slash + 1) != std::string_view::npos) return false;
  auto part_ok = [](std::string_view part) {
    if (part.empty() || part.front() == '.' || part.front() == '-') return false;
    for (char c : part) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')) return false;
    }
    return true;
  };
  return slash == std::string_view::npos ? part_ok(id) : part_ok(id.substr(0, slash)) && part_ok(id.substr(slash + 1));
}

// A revision or commit name: no path tricks.
bool is_plain_name(std::string_view name) {
  if (name.empty() || name.size() > 200 || name.find("..") != std::string_view::npos || name.front() == '/') {
    return false;
  }
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == '/')) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path hub_cache_dir() {
  for (const char* var : {"HF_HUB_CACHE", "HUGGINGFACE_HUB_CACHE"}) {
    if (!env(var).empty()) return expand_home(env(var));
  }
  if (!env("HF_HOME").empty()) return expand_home(env("HF_HOME")) / "hub";
  if (!env("XDG_CACHE_HOME").empty()) return expand_home(env("XDG_CACHE_HOME")) / "huggingface" / "hub";
  return std::filesystem::path(env("HOME")) / ".cache" / "huggingface" / "hub";
}

std::filesystem::path resolve_model(std::string_view model, std::string_view revision) {
  if (model.empty()) throw std::invalid_argument("resolve_model: empty model name");
  if (!is_plain_name(revision)) {
    throw std::invalid_argument("resolve_model: revision '" + std::string(revision) + "' is not a plain name");
  }
  const std::filesystem::path as_path(model);
  std::error_code ec;
  if (std::filesystem::is_directory(as_path, ec)) return as_path;

  std::string searched = "no folder '" + std::string(model) + "'";
  if (is_hub_id(model)) {
    std::string repo_name = "models--" + std::string(model);
    for (size_t pos = repo_name.find('/'); pos != std::string::npos; pos = repo_name.find('/')) {
      repo_name.replace(pos, 1, "--");
    }
    const std::filesystem::path repo = hub_cache_dir() / repo_name;
    std::string commit;
    std::ifstream ref(repo / "refs" / std::string(revision));
    if (ref && std::getline(ref, commit)) {
      while (!commit.empty() && std::isspace(static_cast<unsigned char>(commit.back()))) commit.pop_back();
    }
    if (!commit.empty() && is_plain_name(commit) && commit.find('/') == std::string::npos &&
        std::filesystem::is_directory(repo / "snapshots" / commit, ec)) {
      return repo / "snapshots" / commit;
    }
    if (std::filesystem::is_directory(repo / "snapshots" / std::string(revision), ec)) {
      return repo / "snapshots" / std::string(revision);
    }
    searched += ", and no snapshot for revision '" + std::string(revision) + "' in the hub cache at " +
                repo.string() + " (looked for " + (repo / "refs" / std::string(revision)).string() + " and " +
                (repo / "snapshots" / std::string(revision)).string() + ")";
  } else {
    searched += " (and not a model-hub identifier, so the hub cache was not searched)";
  }
  throw ModelNotFoundError("model '" + std::string(model) + "' not found: " + searched +
                           "; models are never downloaded");
}

}  // namespace tesk_privacy::inference
