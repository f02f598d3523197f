// Model resolution: which cache folder the environment selects, and which
// folder a model name resolves to (or which places an error names).
#include "inference/model_resolver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "inference/test_files.h"

namespace tesk_privacy::inference {
namespace {

using testing::ScratchDir;

const char* const kVars[] = {"HF_HUB_CACHE", "HUGGINGFACE_HUB_CACHE", "HF_HOME", "XDG_CACHE_HOME", "HOME"};

// Sets the hub-related environment for one test and restores it afterwards.
class Environment {
 public:
  explicit Environment(const std::map<std::string, std::string>& values) {
    for (const char* var : kVars) {
      const char* old = std::getenv(var);
      saved_[var] = old ? std::optional<std::string>(old) : std::nullopt;
      auto it = values.find(var);
      if (it != values.end()) ::setenv(var, it->second.c_str(), 1);
      else ::unsetenv(var);
    }
  }
  ~Environment() {
    for (const auto& [var, value] : saved_) {
      if (value) ::setenv(var.c_str(), value->c_str(), 1);
      else ::unsetenv(var.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(HubCacheDir, FollowsTheEnvironment) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{{"HF_HUB_CACHE", "/c/hub"}, {"HF_HOME", "/h"}, {"HOME", "/home/u"}}, "/c/hub"},
      {{{"HUGGINGFACE_HUB_CACHE", "/legacy"}, {"HF_HOME", "/h"}}, "/legacy"},
      {{{"HF_HOME", "/h"}, {"XDG_CACHE_HOME", "/x"}}, "/h/hub"},
      {{{"HF_HOME", "~/hf"}, {"HOME", "/home/u"}}, "/home/u/hf/hub"},
      {{{"HF_HUB_CACHE", ""}, {"XDG_CACHE_HOME", "/x"}}, "/x/huggingface/hub"},
      {{{"HOME", "/home/u"}}, "/home/u/.cache/huggingface/hub"},
  };
  for (const Case& c : cases) {
    Environment env(c.env);
    EXPECT_EQ(hub_cache_dir(), std::filesystem::path(c.expected));
  }
}

TEST(ResolveModel, FoldersAndCachedSnapshots) {
  ScratchDir cache;
  Environment env({{"HF_HUB_CACHE", cache.path().string()}});
  const auto repo = cache / "models--acme--ner-id";
  std::filesystem::create_directories(repo / "snapshots" / "aaa111");
  std::filesystem::create_directories(repo / "snapshots" / "bbb222");
  testing::write_file(repo / "refs" / "main", "aaa111\n");
  testing::write_file(repo / "refs" / "v2", "bbb222");
  std::filesystem::create_directories(cache / "models--single" / "snapshots" / "ccc333");
  testing::write_file(cache / "models--single" / "refs" / "main", "ccc333");
  testing::write_file(cache / "models--acme--escape" / "refs" / "main", "../../..");

  EXPECT_EQ(resolve_model(cache.path().string()), cache.path());
  EXPECT_EQ(resolve_model("acme/ner-id"), repo / "snapshots" / "aaa111");
  EXPECT_EQ(resolve_model("acme/ner-id", "v2"), repo / "snapshots" / "bbb222");
  EXPECT_EQ(resolve_model("acme/ner-id", "bbb222"), repo / "snapshots" / "bbb222");
  EXPECT_EQ(resolve_model("single"), cache / "models--single" / "snapshots" / "ccc333");

  struct Missing {
    std::string model, revision, message;
  };
  const std::vector<Missing> missing = {
      {"acme/absent", "main", (cache / "models--acme--absent" / "refs" / "main").string()},
      {"acme/ner-id", "v3", "no snapshot for revision 'v3'"},
      {"acme/escape", "main", "no snapshot for revision 'main'"},
      {"../acme/ner-id", "main", "not a model-hub identifier"},
      {"a/b/c", "main", "not a model-hub identifier"},
  };
  for (const Missing& m : missing) {
    try {
      resolve_model(m.model, m.revision);
      ADD_FAILURE() << m.model << ": no error";
    } catch (const ModelNotFoundError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(m.message), std::string::npos) << what;
      EXPECT_NE(what.find("no folder '" + m.model + "'"), std::string::npos) << what;
      EXPECT_NE(what.find("never downloaded"), std::string::npos) << what;
    }
  }
  EXPECT_THROW(resolve_model(""), std::invalid_argument);
  EXPECT_THROW(resolve_model("acme/ner-id", "../../etc"), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::inference
