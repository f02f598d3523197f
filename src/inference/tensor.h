// Tensor and TensorSource: model weights as dense float arrays, and the
// places they are read from (a safetensors file, a set of shards, or tensors
// built in memory for tests and benchmarks).
//
//   TensorMap weights;
//   weights.add("classifier.bias", Tensor{{2}, {0.5f, -0.5f}});
//   Tensor t = weights.load("classifier.bias");
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tesk_privacy::inference {

struct Tensor {
  std::vector<size_t> shape;
  std::vector<float> data;  // row-major
};

// "[768, 3072]".
std::string shape_string(const std::vector<size_t>& shape);

class TensorSource {
 public:
  virtual ~TensorSource() = default;
  virtual bool contains(const std::string& name) const = 0;
  // Throws std::runtime_error naming origin() when the tensor is missing or
  // cannot be converted to float.
  virtual Tensor load(const std::string& name) const = 0;
  virtual std::vector<std::string> names() const = 0;
  // What error messages call this source, e.g. the file name.
  virtual std::string origin() const = 0;
};

// Tensors held in memory.
class TensorMap : public TensorSource {
 public:
  explicit TensorMap(std::string origin = "in-memory weights") : origin_(std::move(origin)) {}

  // Throws std::invalid_argument when the data size does not match the shape.
  void add(const std::string& name, Tensor tensor);

  bool contains(const std::string& name) const override;
  Tensor load(const std::string& name) const override;
  std::vector<std::string> names() const override;
  std::string origin() const override { return origin_; }

 private:
  std::string origin_;
  std::map<std::string, Tensor> tensors_;
};

}  // namespace tesk_privacy::inference
