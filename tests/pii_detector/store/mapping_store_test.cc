#include "tesk_privacy/pii_detector/store/mapping_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tesk_privacy/pii_detector/store/mapping_file.h"

namespace tesk_privacy::pii_detector {
namespace {

namespace fs = std::filesystem;

class MappingStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tesk-store-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  fs::path dir_;
};

const MappingDataType kOne{{"PERSON", {{"<PERSON_1>", "Budi Santoso"}}}};

TEST_F(MappingStoreTest, EncryptedFileRoundTripAndRefusals) {
  MappingStoreOptions options;
  options.encryption_key = parse_mapping_key(std::string(64, 'a'));
  {
    auto store = make_file_mapping_store(path("m.json"), options);
    EXPECT_TRUE(store->load().empty());
    EXPECT_TRUE(store->commit(kOne));
  }
  const std::string sealed = read(path("m.json"));
  EXPECT_EQ(sealed.find("Budi"), std::string::npos);
  EXPECT_EQ(make_file_mapping_store(path("m.json"), options)->load(), kOne);

  MappingStoreOptions wrong = options;
  wrong.encryption_key = parse_mapping_key(std::string(64, 'b'));
  EXPECT_THROW(make_file_mapping_store(path("m.json"), wrong)->load(), MappingStoreError);
  EXPECT_THROW(make_file_mapping_store(path("m.json"))->load(), MappingStoreError);  // no key
  std::string tampered = sealed;
  tampered[tampered.size() / 2] ^= 1;
  std::ofstream(path("m.json"), std::ios::binary) << tampered;
  EXPECT_THROW(make_file_mapping_store(path("m.json"), options)->load(), MappingStoreError);
  EXPECT_EQ(read(path("m.json")), tampered);  // refused, not rewritten

  EXPECT_THROW(parse_mapping_key("abc"), std::invalid_argument);
  EXPECT_THROW(parse_mapping_key(std::string(63, 'a') + "g"), std::invalid_argument);
}

TEST_F(MappingStoreTest, LockIsHeldFromLoadUntilTheStoreGoes) {
  MappingStoreOptions quick;
  quick.lock_timeout = std::chrono::milliseconds(50);
  auto first = make_file_mapping_store(path("m.json"), quick);
  first->load();
  auto second = make_file_mapping_store(path("m.json"), quick);
  EXPECT_THROW(second->load(), MappingStoreError);
  first->commit(kOne);
  first.reset();
  EXPECT_EQ(second->load(), kOne);
}

TEST_F(MappingStoreTest, StaleTemporariesAreRemovedUnderTheLock) {
  save_mapping_file(path("m.json"), kOne);
  std::ofstream(path("m.json.tmp-ABC123")) << "{\"PERSON\": {\"<PERSON_1>\": \"half";
  std::ofstream(path("other.json.tmp-ABC123")) << "keep";
  EXPECT_EQ(make_file_mapping_store(path("m.json"))->load(), kOne);
  EXPECT_FALSE(fs::exists(path("m.json.tmp-ABC123")));
  EXPECT_TRUE(fs::exists(path("other.json.tmp-ABC123")));
}

// A save that fails leaves the file as it was, and the store's next save
// starts from the file again: the failed entries are not in it, the earlier
// and later ones are.
TEST_F(MappingStoreTest, SaveAfterAFailedSaveStartsFromTheFile) {
  auto store = make_file_mapping_store(path("m.json"));
  store->load();
  ASSERT_TRUE(store->commit(kOne));
  const std::string saved = read(path("m.json"));
  // The file cannot be replaced while a directory is in its place.
  fs::rename(path("m.json"), path("kept.json"));
  fs::create_directories(path("m.json") + "/inside");
  EXPECT_THROW(store->commit({{"PERSON", {{"<PERSON_2>", "Siti Aminah"}}}}), MappingStoreError);
  fs::remove_all(path("m.json"));
  fs::rename(path("kept.json"), path("m.json"));
  EXPECT_EQ(read(path("m.json")), saved);
  ASSERT_TRUE(store->commit({{"LOCATION", {{"<LOCATION_1>", "Bandung"}}}}));
  const MappingDataType expected{{"PERSON", {{"<PERSON_1>", "Budi Santoso"}}},
                                 {"LOCATION", {{"<LOCATION_1>", "Bandung"}}}};
  EXPECT_EQ(load_mapping_file(path("m.json")), expected);
  EXPECT_EQ(store->load(), expected);
}

TEST(MappingLoader, RefusesUnsafeOrMisshapenMappings) {
  const char* refused[] = {
      R"({"PERSON": {"Budi": "Budi"}})",
      R"({"PERSON": {"": "Budi"}})",
      R"({"PERSON": {"<PERSON_1>": ""}})",
      R"({"PERSON": {"<PERSON_1>": "A", "<PERSON_1>": "B"}})",
      R"({"PERSON": {"Andre": "A"}, "LOCATION": {"Andre": "B"}})",
      R"({"PERSON": {"<LOCATION_1>": "A"}})",
      R"({"PERSON": {"<PERSON_0>": "A"}})",
      R"({"PERSON>": {"X": "A"}})",
      R"({"PERSON": {"X": "A"}, "PERSON": {"Y": "B"}})",
      R"({"PERSON": {"X": 1}})",
      R"({"PERSON": ["X"]})",
      R"([])",
      R"({"PERSON": {"<PERSON_1>": "A")",
  };
  for (const char* json : refused) EXPECT_THROW(parse_mapping_json(json), std::invalid_argument) << json;
  EXPECT_EQ(parse_mapping_json(R"({"PERSON": {"<PERSON_2>": "A", "Andre": "B"}, "EMPTY": {}})").size(), 2u);
}

TEST(MappingLoader, LargeMappingRoundTrip) {
  MappingDataType big;
  for (int i = 1; i <= 100000; ++i) big["PERSON"]["<PERSON_" + std::to_string(i) + ">"] = "Nama " + std::to_string(i);
  const std::string json = mapping_to_json(big);
  EXPECT_EQ(parse_mapping_json(json), big);
  EXPECT_EQ(mapping_to_json(MappingDataType{}), "{}\n");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
