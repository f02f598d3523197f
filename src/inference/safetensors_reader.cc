#include "inference/safetensors_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {
namespace {

// Larger headers are refused, as the format's reference reader does.
constexpr uint64_t kMaxHeaderSize = 100'000'000;

size_t dtype_size(const std::string& dtype) {
  static const std::map<std::string, size_t> kSizes = {
      {"F64", 8}, {"F32", 4}, {"F16", 2}, {"BF16", 2}, {"I64", 8}, {"U64", 8},
      {"I32", 4}, {"U32", 4}, {"I16", 2}, {"U16", 2}, {"I8", 1},  {"U8", 1},
      {"BOOL", 1}, {"F8_E4M3", 1}, {"F8_E5M2", 1}};
  auto it = kSizes.find(dtype);
  return it == kSizes.end() ? 0 : it->second;
}

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what) {
  throw std::runtime_error(path.string() + ": " + what);
}

// Stores a * b in `out`; true when it overflows.
bool mul_overflows(size_t a, size_t b, size_t& out) {
  return __builtin_mul_overflow(a, b, &out);
}

}  // namespace

float half_to_float(uint16_t h) {
  uint32_t sign = static_cast<uint32_t>(h & 0x8000) << 16;
  uint32_t exp = (h >> 10) & 0x1F;
  uint32_t mant = h & 0x3FF;
  uint32_t bits;
  if (exp == 0) {
    if (mant == 0) {
      bits = sign;
    } else {  // subnormal: normalise the mantissa
      int e = -1;
      do {
        ++e;
        mant <<= 1;
      } while ((mant & 0x400) == 0);
      bits = sign | static_cast<uint32_t>(127 - 15 - e) << 23 | (mant & 0x3FF) << 13;
    }
  } else if (exp == 0x1F) {
    bits = sign | 0x7F800000u | mant << 13;  // inf or NaN
  } else {
    bits = sign | (exp + 127 - 15) << 23 | mant << 13;
  }
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

float bfloat16_to_float(uint16_t b) {
  uint32_t bits = static_cast<uint32_t>(b) << 16;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

SafetensorsFile::SafetensorsFile(const std::filesystem::path& path) : path_(path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path, std::string("cannot open: ") + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    fail(path, "not a regular file");
  }
  map_size_ = static_cast<size_t>(st.st_size);
  if (map_size_ < 8) {
    ::close(fd);
    fail(path, "truncated: " + std::to_string(map_size_) +
                   " bytes, too short for the 8-byte header length");
  }
  void* m = ::mmap(nullptr, map_size_, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (m == MAP_FAILED) fail(path, std::string("cannot map: ") + std::strerror(errno));
  map_ = static_cast<const unsigned char*>(m);

  try {
    uint64_t header_size = 0;
    for (int i = 7; i >= 0; --i) header_size = header_size << 8 | map_[i];
    if (header_size > kMaxHeaderSize) {
      fail(path, "header length " + std::to_string(header_size) + " exceeds the limit of " +
                     std::to_string(kMaxHeaderSize) + " bytes (not a safetensors file?)");
    }
    if (header_size > map_size_ - 8) {
      fail(path, "truncated: header of " + std::to_string(header_size) + " bytes, but only " +
                     std::to_string(map_size_ - 8) + " bytes follow the length");
    }
    data_start_ = 8 + header_size;
    const size_t data_size = map_size_ - data_start_;

    nlohmann::json header;
    try {
      header = nlohmann::json::parse(map_ + 8, map_ + data_start_);
    } catch (const nlohmann::json::exception& e) {
      fail(path, std::string("header is not valid JSON: ") + e.what());
    }
    if (!header.is_object()) fail(path, "header is not a JSON object");

    for (const auto& [name, entry] : header.items()) {
      if (name == "__metadata__") {
        if (!entry.is_object()) fail(path, "__metadata__ is not an object");
        for (const auto& [key, value] : entry.items()) {
          if (!value.is_string()) fail(path, "__metadata__ entry '" + key + "' is not a string");
          metadata_[key] = value.get<std::string>();
        }
        continue;
      }
      const std::string what = "tensor '" + name + "'";
      if (!entry.is_object()) fail(path, what + ": entry is not an object");
      auto dt = entry.find("dtype");
      auto sh = entry.find("shape");
      auto off = entry.find("data_offsets");
      if (dt == entry.end() || !dt->is_string()) fail(path, what + ": missing dtype");
      if (sh == entry.end() || !sh->is_array()) fail(path, what + ": missing shape");
      if (off == entry.end() || !off->is_array() || off->size() != 2 ||
          !(*off)[0].is_number_unsigned() || !(*off)[1].is_number_unsigned()) {
        fail(path, what + ": data_offsets must be two non-negative integers");
      }
      TensorInfo info;
      info.dtype = dt->get<std::string>();
      size_t elem = dtype_size(info.dtype);
      if (elem == 0) fail(path, what + ": unknown dtype '" + info.dtype + "'");
      size_t count = 1;
      for (const auto& d : *sh) {
        if (!d.is_number_unsigned()) fail(path, what + ": shape entries must be non-negative integers");
        size_t dim = d.get<size_t>();
        info.shape.push_back(dim);
        if (mul_overflows(count, dim, count)) fail(path, what + ": shape overflows");
      }
      size_t bytes;
      if (mul_overflows(count, elem, bytes)) fail(path, what + ": shape overflows");
      info.begin = (*off)[0].get<size_t>();
      info.end = (*off)[1].get<size_t>();
      if (info.begin > info.end) fail(path, what + ": data_offsets are reversed");
      if (info.end > data_size) {
        fail(path, "truncated: " + what + " ends at byte " + std::to_string(info.end) +
                       " of the data, which has only " + std::to_string(data_size) + " bytes");
      }
      if (info.end - info.begin != bytes) {
        fail(path, what + ": " + std::to_string(info.end - info.begin) + " bytes stored, but " +
                       info.dtype + " " + shape_string(info.shape) + " needs " +
                       std::to_string(bytes));
      }
      tensors_.emplace(name, std::move(info));
    }

    // The tensors must tile the data section exactly: no overlaps, no holes.
    std::vector<std::pair<const std::string*, const TensorInfo*>> order;
    for (const auto& [name, info] : tensors_) order.emplace_back(&name, &info);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
      return a.second->begin != b.second->begin ? a.second->begin < b.second->begin
                                                : a.second->end < b.second->end;
    });
    size_t pos = 0;
    for (const auto& [name, info] : order) {
      if (info->begin < pos) fail(path, "tensor '" + *name + "' overlaps the tensor before it");
      if (info->begin > pos) {
        fail(path, "bytes " + std::to_string(pos) + " to " + std::to_string(info->begin) +
                       " of the data belong to no tensor");
      }
      pos = info->end;
    }
    if (pos != data_size) {
      fail(path, std::to_string(data_size - pos) +
                     " bytes after the last tensor belong to no tensor");
    }
  } catch (...) {
    ::munmap(const_cast<unsigned char*>(map_), map_size_);
    map_ = nullptr;
    throw;
  }
}

SafetensorsFile::~SafetensorsFile() {
  if (map_ != nullptr) ::munmap(const_cast<unsigned char*>(map_), map_size_);
}

const TensorInfo& SafetensorsFile::info(const std::string& name) const {
  auto it = tensors_.find(name);
  if (it == tensors_.end()) fail(path_, "no tensor named '" + name + "'");
  return it->second;
}

bool SafetensorsFile::contains(const std::string& name) const { return tensors_.count(name) > 0; }

std::vector<std::string> SafetensorsFile::names() const {
  std::vector<std::string> out;
  out.reserve(tensors_.size());
  for (const auto& [name, info] : tensors_) out.push_back(name);
  return out;
}

Tensor SafetensorsFile::load(const std::string& name) const {
  const TensorInfo& ti = info(name);
  Tensor t;
  t.shape = ti.shape;
  const unsigned char* p = map_ + data_start_ + ti.begin;
  const size_t n = (ti.end - ti.begin) / dtype_size(ti.dtype);
  t.data.resize(n);
  if (ti.dtype == "F32") {
    std::memcpy(t.data.data(), p, n * sizeof(float));
  } else if (ti.dtype == "F16" || ti.dtype == "BF16") {
    const bool half = ti.dtype == "F16";
    for (size_t i = 0; i < n; ++i) {
      uint16_t bits = static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
      t.data[i] = half ? half_to_float(bits) : bfloat16_to_float(bits);
    }
  } else if (ti.dtype == "F64") {
    for (size_t i = 0; i < n; ++i) {
      double d;
      std::memcpy(&d, p + 8 * i, sizeof d);
      t.data[i] = static_cast<float>(d);
    }
  } else {
    fail(path_, "tensor '" + name + "' is stored as " + ti.dtype +
                    "; only F32, F16, BF16 and F64 convert to float");
  }
  return t;
}

ShardedSafetensors::ShardedSafetensors(const std::filesystem::path& index_path)
    : index_path_(index_path) {
  std::ifstream in(index_path, std::ios::binary);
  if (!in) fail(index_path, "cannot open");
  nlohmann::json index;
  try {
    index = nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception& e) {
    fail(index_path, std::string("not valid JSON: ") + e.what());
  }
  if (!index.is_object() || !index.contains("weight_map") || !index["weight_map"].is_object()) {
    fail(index_path, "no weight_map object");
  }
  std::map<std::string, const SafetensorsFile*> opened;
  for (const auto& [name, file] : index["weight_map"].items()) {
    if (!file.is_string()) fail(index_path, "weight_map entry '" + name + "' is not a file name");
    const std::string shard = file.get<std::string>();
    if (shard.empty() || shard.find('/') != std::string::npos || shard == "." || shard == "..") {
      fail(index_path, "weight_map entry '" + name + "' names '" + shard +
                           "', not a file beside the index");
    }
    auto it = opened.find(shard);
    if (it == opened.end()) {
      shards_.push_back(std::make_unique<SafetensorsFile>(index_path.parent_path() / shard));
      it = opened.emplace(shard, shards_.back().get()).first;
    }
    if (!it->second->contains(name)) {
      fail(index_path, "tensor '" + name + "' is not in its shard " + shard);
    }
    where_[name] = it->second;
  }
}

bool ShardedSafetensors::contains(const std::string& name) const { return where_.count(name) > 0; }

Tensor ShardedSafetensors::load(const std::string& name) const {
  auto it = where_.find(name);
  if (it == where_.end()) fail(index_path_, "no tensor named '" + name + "'");
  return it->second->load(name);
}

std::vector<std::string> ShardedSafetensors::names() const {
  std::vector<std::string> out;
  for (const auto& [name, file] : where_) out.push_back(name);
  return out;
}

}  // namespace tesk_privacy::inference
