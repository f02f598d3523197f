#include "inference/tensor.h"

#include <stdexcept>

namespace tesk_privacy::inference {

std::string shape_string(const std::vector<size_t>& shape) {
  std::string out = "[";
  for (size_t i = 0; i < shape.size(); ++i) {
    if (i > 0) out += ", ";
    out += std::to_string(shape[i]);
  }
  return out + "]";
}

void TensorMap::add(const std::string& name, Tensor tensor) {
  size_t count = 1;
  for (size_t d : tensor.shape) count *= d;
  if (count != tensor.data.size()) {
    throw std::invalid_argument("tensor '" + name + "' of shape " + shape_string(tensor.shape) +
                                " needs " + std::to_string(count) + " values, got " +
                                std::to_string(tensor.data.size()));
  }
  tensors_[name] = std::move(tensor);
}

bool TensorMap::contains(const std::string& name) const { return tensors_.count(name) > 0; }

Tensor TensorMap::load(const std::string& name) const {
  auto it = tensors_.find(name);
  if (it == tensors_.end()) throw std::runtime_error(origin_ + ": no tensor named '" + name + "'");
  return it->second;
}

std::vector<std::string> TensorMap::names() const {
  std::vector<std::string> out;
  for (const auto& [name, tensor] : tensors_) out.push_back(name);
  return out;
}

}  // namespace tesk_privacy::inference
