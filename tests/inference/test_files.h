// Helpers for the inference tests: scratch folders and hand-made model files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference::testing {

// A fresh folder under the system temp dir, removed with the object.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tesk-inference-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

struct RawTensor {
  std::string name;
  std::string dtype;
  std::vector<size_t> shape;
  std::string bytes;
};

inline std::string f32_bytes(const std::vector<float>& values) {
  std::string out(values.size() * 4, '\0');
  std::memcpy(out.data(), values.data(), out.size());
  return out;
}

// A safetensors file as the format lays it out: length, JSON header, data.
inline std::string safetensors_bytes(const std::string& header, const std::string& data) {
  std::string out(8, '\0');
  uint64_t n = header.size();
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(n >> (8 * i));
  return out + header + data;
}

// The same, with the header built from `tensors` stored back to back.
inline std::string safetensors_bytes(const std::vector<RawTensor>& tensors) {
  nlohmann::json header = nlohmann::json::object();
  std::string data;
  for (const RawTensor& t : tensors) {
    header[t.name] = {{"dtype", t.dtype},
                      {"shape", t.shape},
                      {"data_offsets", {data.size(), data.size() + t.bytes.size()}}};
    data += t.bytes;
  }
  return safetensors_bytes(header.dump(), data);
}

}  // namespace tesk_privacy::inference::testing
