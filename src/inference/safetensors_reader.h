// SafetensorsFile: read-only access to a `.safetensors` weight file, memory
// mapped. The header (a JSON table of tensor names, dtypes, shapes and byte
// ranges) is validated completely when the file is opened: a truncated file,
// ranges that overlap, leave holes or run past the end, a size that disagrees
// with the shape, or an unknown dtype fail with std::runtime_error naming the
// file and the tensor. Tensors stored as F32, F16, BF16 or F64 are converted
// to float when loaded; the mapping itself is never written.
//
//   SafetensorsFile file("model/model.safetensors");
//   Tensor w = file.load("classifier.weight");   // shape and float data
//
// ShardedSafetensors does the same for a model split over several files and
// described by `model.safetensors.index.json`.
//
// Both are immutable after construction; load() may be called from several
// threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "inference/tensor.h"

namespace tesk_privacy::inference {

struct TensorInfo {
  std::string dtype;  // as written in the header: "F32", "F16", "BF16", "I64", ...
  std::vector<size_t> shape;
  size_t begin = 0;  // byte range within the data section
  size_t end = 0;
};

class SafetensorsFile : public TensorSource {
 public:
  explicit SafetensorsFile(const std::filesystem::path& path);
  ~SafetensorsFile() override;
  SafetensorsFile(const SafetensorsFile&) = delete;
  SafetensorsFile& operator=(const SafetensorsFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Throws std::runtime_error for an unknown name.
  const TensorInfo& info(const std::string& name) const;
  // The optional "__metadata__" string table of the header.
  const std::map<std::string, std::string>& metadata() const { return metadata_; }

  bool contains(const std::string& name) const override;
  Tensor load(const std::string& name) const override;
  std::vector<std::string> names() const override;
  std::string origin() const override { return path_.string(); }

 private:
  std::filesystem::path path_;
  const unsigned char* map_ = nullptr;
  size_t map_size_ = 0;
  size_t data_start_ = 0;
  std::map<std::string, TensorInfo> tensors_;
  std::map<std::string, std::string> metadata_;
};

class ShardedSafetensors : public TensorSource {
 public:
  // `index_path` names a `model.safetensors.index.json`; its shards are
  // looked up beside it.
  explicit ShardedSafetensors(const std::filesystem::path& index_path);

  bool contains(const std::string& name) const override;
  Tensor load(const std::string& name) const override;
  std::vector<std::string> names() const override;
  std::string origin() const override { return index_path_.string(); }

 private:
  std::filesystem::path index_path_;
  std::vector<std::unique_ptr<SafetensorsFile>> shards_;
  std::map<std::string, const SafetensorsFile*> where_;
};

// Converts IEEE half-precision and bfloat16 bit patterns to float.
float half_to_float(uint16_t bits);
float bfloat16_to_float(uint16_t bits);

}  // namespace tesk_privacy::inference
