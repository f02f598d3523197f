// SafetensorsFile: conversion of the float formats, and a clear error for
// every kind of damaged file.
#include "inference/safetensors_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "inference/test_files.h"

namespace tesk_privacy::inference {
namespace {

using testing::RawTensor;
using testing::ScratchDir;
using testing::safetensors_bytes;
using testing::write_file;

std::string u16_bytes(const std::vector<uint16_t>& values) {
  std::string out;
  for (uint16_t v : values) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  return out;
}

TEST(SafetensorsFile, ConvertsFloatFormats) {
  ScratchDir dir;
  const float inf = std::numeric_limits<float>::infinity();
  // 1, -2, 0.5, 65504 (largest half), 2^-24 (smallest subnormal half), -0, inf.
  const std::vector<uint16_t> halves = {0x3C00, 0xC000, 0x3800, 0x7BFF, 0x0001, 0x8000, 0x7C00};
  const std::vector<float> half_values = {1.0f, -2.0f, 0.5f, 65504.0f, std::ldexp(1.0f, -24), -0.0f, inf};
  const std::vector<uint16_t> bf16 = {0x3F80, 0xC000, 0x4049, 0x4780};
  const std::vector<float> bf16_values = {1.0f, -2.0f, 3.140625f, 65536.0f};
  write_file(dir / "w.safetensors",
             safetensors_bytes(std::vector<RawTensor>{
                 {"a.f32", "F32", {2, 2}, testing::f32_bytes({1.5f, -2.25f, 0.0f, 1e-30f})},
                 {"b.f16", "F16", {7}, u16_bytes(halves)},
                 {"c.bf16", "BF16", {2, 1, 2}, u16_bytes(bf16)},
                 {"d.i64", "I64", {1}, std::string(8, '\0')}}));
  SafetensorsFile file(dir / "w.safetensors");
  EXPECT_EQ(file.names(), (std::vector<std::string>{"a.f32", "b.f16", "c.bf16", "d.i64"}));

  Tensor a = file.load("a.f32");
  EXPECT_EQ(a.shape, (std::vector<size_t>{2, 2}));
  EXPECT_EQ(a.data, (std::vector<float>{1.5f, -2.25f, 0.0f, 1e-30f}));
  Tensor b = file.load("b.f16");
  EXPECT_EQ(b.data, half_values);
  EXPECT_TRUE(std::signbit(b.data[5]));
  EXPECT_TRUE(std::isnan(half_to_float(0x7E00)));
  Tensor c = file.load("c.bf16");
  EXPECT_EQ(c.shape, (std::vector<size_t>{2, 1, 2}));
  EXPECT_EQ(c.data, bf16_values);

  EXPECT_EQ(file.info("d.i64").dtype, "I64");
  EXPECT_THROW(file.load("d.i64"), std::runtime_error);
  EXPECT_THROW(file.load("missing"), std::runtime_error);
}

TEST(SafetensorsFile, DamagedFilesFailClearly) {
  const std::string four_floats = testing::f32_bytes({1, 2, 3, 4});
  const std::string good = safetensors_bytes(std::vector<RawTensor>{{"w", "F32", {4}, four_floats}});
  auto with_header = [&](const std::string& header, const std::string& data) {
    return safetensors_bytes(header, data);
  };
  struct Case {
    std::string name;
    std::string bytes;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty file", "", "too short for the 8-byte header length"},
      {"cut inside the length", good.substr(0, 5), "too short for the 8-byte header length"},
      {"cut inside the header", good.substr(0, 20), "truncated: header of"},
      {"cut inside the data", good.substr(0, good.size() - 3), "truncated: tensor 'w' ends at byte 16"},
      {"huge header length", std::string("\xff\xff\xff\xff\xff\xff\xff\x7f", 8) + "{}", "exceeds the limit"},
      {"header not JSON", with_header("{\"w\": [", ""), "header is not valid JSON"},
      {"header an array", with_header("[1, 2]", ""), "header is not a JSON object"},
      {"unknown dtype", with_header(R"({"w":{"dtype":"Q4","shape":[4],"data_offsets":[0,16]}})", four_floats),
       "tensor 'w': unknown dtype 'Q4'"},
      {"size disagrees with shape", with_header(R"({"w":{"dtype":"F32","shape":[5],"data_offsets":[0,16]}})", four_floats),
       "16 bytes stored, but F32 [5] needs 20"},
      {"negative dimension", with_header(R"({"w":{"dtype":"F32","shape":[-4],"data_offsets":[0,16]}})", four_floats),
       "shape entries must be non-negative integers"},
      {"shape overflows", with_header(R"({"w":{"dtype":"F32","shape":[4294967296,4294967296],"data_offsets":[0,16]}})", four_floats),
       "shape overflows"},
      {"reversed offsets", with_header(R"({"w":{"dtype":"F32","shape":[0],"data_offsets":[16,0]}})", four_floats),
       "data_offsets are reversed"},
      {"missing offsets", with_header(R"({"w":{"dtype":"F32","shape":[4]}})", four_floats),
       "data_offsets must be two non-negative integers"},
      {"overlapping tensors",
       with_header(R"({"a":{"dtype":"F32","shape":[4],"data_offsets":[0,16]},"b":{"dtype":"F32","shape":[2],"data_offsets":[8,16]}})", four_floats),
       "overlaps the tensor before it"},
      {"hole between tensors",
       with_header(R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[0,4]},"b":{"dtype":"F32","shape":[2],"data_offsets":[8,16]}})", four_floats),
       "bytes 4 to 8 of the data belong to no tensor"},
      {"trailing bytes", with_header(R"({"w":{"dtype":"F32","shape":[3],"data_offsets":[0,12]}})", four_floats),
       "4 bytes after the last tensor belong to no tensor"},
      {"metadata not strings", with_header(R"({"__metadata__":{"format":1}})", ""), "__metadata__ entry 'format' is not a string"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    write_file(dir / "bad.safetensors", c.bytes);
    try {
      SafetensorsFile file(dir / "bad.safetensors");
      ADD_FAILURE() << c.name << ": no error";
    } catch (const std::runtime_error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
      EXPECT_NE(what.find("bad.safetensors"), std::string::npos) << c.name << ": " << what;
    }
  }
  EXPECT_THROW(SafetensorsFile(dir / "absent.safetensors"), std::runtime_error);
  EXPECT_THROW(SafetensorsFile(dir.path()), std::runtime_error);
}

TEST(SafetensorsFile, EveryTruncationAndHeaderByteFlipFailsCleanly) {
  const std::string good = safetensors_bytes(std::vector<RawTensor>{
      {"a", "F32", {2, 2}, testing::f32_bytes({1, 2, 3, 4})}, {"b", "BF16", {3}, u16_bytes({0x3F80, 0, 1})}});
  ScratchDir dir;
  const auto path = dir / "m.safetensors";
  for (size_t cut = 0; cut < good.size(); ++cut) {
    write_file(path, good.substr(0, cut));
    EXPECT_THROW(SafetensorsFile{path}, std::runtime_error) << "cut at " << cut;
  }
  // A changed header byte either still describes a consistent file or is refused.
  const size_t header_end = 8 + (static_cast<unsigned char>(good[0]) | static_cast<unsigned char>(good[1]) << 8);
  for (size_t pos = 0; pos < header_end; ++pos) {
    for (unsigned char flip : {0x01, 0x10, 0x80}) {
      std::string bytes = good;
      bytes[pos] = static_cast<char>(bytes[pos] ^ flip);
      write_file(path, bytes);
      try {
        SafetensorsFile file(path);
        for (const std::string& name : file.names()) {
          try {
            file.load(name);
          } catch (const std::runtime_error&) {
          }
        }
      } catch (const std::runtime_error&) {
      }
    }
  }
}

TEST(ShardedSafetensors, FindsEachTensorInItsShard) {
  ScratchDir dir;
  write_file(dir / "model-00001-of-00002.safetensors",
             safetensors_bytes(std::vector<RawTensor>{{"a", "F32", {1}, testing::f32_bytes({1})}}));
  write_file(dir / "model-00002-of-00002.safetensors",
             safetensors_bytes(std::vector<RawTensor>{{"b", "F32", {1}, testing::f32_bytes({2})}}));
  write_file(dir / "model.safetensors.index.json",
             R"({"metadata":{},"weight_map":{"a":"model-00001-of-00002.safetensors","b":"model-00002-of-00002.safetensors"}})");
  ShardedSafetensors shards(dir / "model.safetensors.index.json");
  EXPECT_EQ(shards.load("a").data, std::vector<float>{1});
  EXPECT_EQ(shards.load("b").data, std::vector<float>{2});
  EXPECT_FALSE(shards.contains("c"));

  write_file(dir / "model.safetensors.index.json", R"({"weight_map":{"c":"model-00001-of-00002.safetensors"}})");
  EXPECT_THROW(ShardedSafetensors(dir / "model.safetensors.index.json"), std::runtime_error);
  write_file(dir / "model.safetensors.index.json", R"({"weight_map":{"a":"../model-00001-of-00002.safetensors"}})");
  EXPECT_THROW(ShardedSafetensors(dir / "model.safetensors.index.json"), std::runtime_error);
}

}  // namespace
}  // namespace tesk_privacy::inference
