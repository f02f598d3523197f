#include "tesk_privacy/pii_detector/store/mapping_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "pii_detector/store/atomic_file.h"
#include "tesk_privacy/core/errors.h"

namespace tesk_privacy::pii_detector {
namespace {

namespace fs = std::filesystem;

class MappingFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tesk_mapping_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(MappingFileTest, RoundTripKeepsOrder) {
  MappingDataType m{{"PERSON", {{"<PERSON_2>", "Siti"}, {"<PERSON_1>", "Budi \"B\" é"}}}, {"EMPTY", {}}};
  const std::string path = (dir / "m.json").string();
  EXPECT_EQ(load_mapping_file(path), std::nullopt);
  save_mapping_file(path, m);
  auto loaded = load_mapping_file(path);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(mapping_to_json(*loaded), mapping_to_json(m));
  EXPECT_EQ(loaded->begin()->second.begin()->first, "<PERSON_2>");
  struct stat st{};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(MappingFileTest, RefusesMalformedContent) {
  for (const std::string bad : {"", "[1]", "{\"P\": [1]}", "{\"P\": {\"a\": 1}}", "{\"P\": {\"a\": \"b\"}", "\xff"}) {
    EXPECT_THROW(parse_mapping_json(bad), std::invalid_argument) << bad;
  }
  const std::string path = (dir / "corrupt.json").string();
  std::ofstream(path) << "{\"PERSON\": ";
  try {
    load_mapping_file(path);
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
  }
}

TEST_F(MappingFileTest, FailedWriteLeavesNoTrace) {
  // The target is a directory, so the final rename fails after the data was
  // written: the error is reported and the temporary file removed.
  const fs::path target = dir / "taken";
  fs::create_directories(target / "inside");
  EXPECT_THROW(save_mapping_file(target.string(), MappingDataType{{"PERSON", {{"<PERSON_1>", "Andi"}}}}), OSError);
  EXPECT_TRUE(fs::is_directory(target / "inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_THROW(save_mapping_file((dir / "missing" / "m.json").string(), MappingDataType{}), OSError);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector

namespace tesk_privacy::pii_detector {
namespace {

TEST(MappingFileSync, FailedFsyncReportsAndKeepsTheOldFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("tesk_mapping_sync_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "m.json").string();
  save_mapping_file(path, MappingDataType{{"PERSON", {{"<PERSON_1>", "Budi"}}}});
  const std::string before = mapping_to_json(*load_mapping_file(path));
  auto failing = +[](int) {
    errno = EIO;
    return -1;
  };
  EXPECT_THROW(replace_file_atomically(path, "{}\n", failing), OSError);
  EXPECT_EQ(mapping_to_json(*load_mapping_file(path)), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
