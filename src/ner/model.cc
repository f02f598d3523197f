#include "ner/model.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "ner/builtin_model.h"
#include "ner/byte_io.h"

namespace tesk_privacy::ner {
namespace {

static_assert(std::endian::native == std::endian::little, "model files are little-endian");

constexpr size_t kHeaderSize = 32;
constexpr size_t kSectionEntrySize = 24;
constexpr size_t kAlignment = 64;
constexpr uint32_t kParameters = 1, kWeights = 2, kGazetteer = 3, kDescription = 4, kClusters = 5,
                   kStageParameters = 6, kStageWeights = 7;
constexpr size_t kTransitionsSize = 4 * (2 * kNumLabels + kNumLabels * kNumLabels);
constexpr size_t kParametersSize = 32 + kTransitionsSize;
constexpr size_t kStageParametersSize = 16 + kTransitionsSize;

template <typename T>
void put(std::string& out, size_t at, T v) {
  std::memcpy(out.data() + at, &v, sizeof v);
}

uint64_t checksum(std::string_view bytes) {
  uint64_t h = 0x6A09E667F3BCC908ULL;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    h = (h ^ read<uint64_t>(bytes, i)) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 32;
  }
  for (; i < bytes.size(); ++i) h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ULL;
  return h;
}

size_t align_up(size_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

void put_transitions(std::string& out, size_t at, const TransitionScores& t) {
  for (float v : t.start) put<float>(out, (at += 4) - 4, v);
  for (float v : t.end) put<float>(out, (at += 4) - 4, v);
  for (const auto& row : t.transition) {
    for (float v : row) put<float>(out, (at += 4) - 4, v);
  }
}

TransitionScores read_transitions(std::string_view in, size_t at) {
  TransitionScores t;
  for (float& v : t.start) v = read<float>(in, (at += 4) - 4);
  for (float& v : t.end) v = read<float>(in, (at += 4) - 4);
  for (auto& row : t.transition) {
    for (float& v : row) v = read<float>(in, (at += 4) - 4);
  }
  return t;
}

bool finite_transitions(const TransitionScores& t) {
  for (int y = 0; y < kNumLabels; ++y) {
    if (!std::isfinite(t.start[y]) || !std::isfinite(t.end[y])) return false;
    for (float v : t.transition[y]) {
      if (!std::isfinite(v)) return false;
    }
  }
  return true;
}

}  // namespace

std::string ModelParameters::serialize() const {
  if (hash_bits < 8 || hash_bits > 28 || weights.size() != (size_t{1} << hash_bits) * kRowStride) {
    throw std::invalid_argument("model weights do not match hash_bits " + std::to_string(hash_bits));
  }
  std::string params(kParametersSize, '\0');
  put<uint32_t>(params, 0, static_cast<uint32_t>(hash_bits));
  put<uint32_t>(params, 4, kNumLabels);
  put<uint32_t>(params, 8, kRowStride);
  put<float>(params, 12, weight_scale);
  put<float>(params, 16, temperature);
  put<float>(params, 20, calibration_slope);
  put<float>(params, 24, calibration_intercept);
  put_transitions(params, 32, transitions);
  const std::string_view weight_bytes(reinterpret_cast<const char*>(weights.data()), weights.size() * 2);
  const std::string clusters_bytes = clusters.empty() ? WordClusters::learn({}, {}) : clusters;
  std::vector<std::string_view> sections = {params, weight_bytes, gazetteer, description, clusters_bytes};
  std::vector<uint32_t> ids = {kParameters, kWeights, kGazetteer, kDescription, kClusters};
  std::string stage_params;
  if (second_stage) {
    const Stage& st = *second_stage;
    if (st.hash_bits < 8 || st.hash_bits > hash_bits ||
        st.weights.size() != (size_t{1} << st.hash_bits) * kRowStride) {
      throw std::invalid_argument("second-stage weights do not match its hash_bits " + std::to_string(st.hash_bits) +
                                  " (at most the first stage's " + std::to_string(hash_bits) + ")");
    }
    stage_params.assign(kStageParametersSize, '\0');
    put<uint32_t>(stage_params, 0, static_cast<uint32_t>(st.hash_bits));
    put<uint32_t>(stage_params, 4, kNumLabels);
    put<uint32_t>(stage_params, 8, kRowStride);
    put<float>(stage_params, 12, st.weight_scale);
    put_transitions(stage_params, 16, st.transitions);
    sections.push_back(stage_params);
    sections.push_back(std::string_view(reinterpret_cast<const char*>(st.weights.data()), st.weights.size() * 2));
    ids.push_back(kStageParameters);
    ids.push_back(kStageWeights);
  }
  const auto count = static_cast<uint32_t>(sections.size());

  std::string out(align_up(kHeaderSize + count * kSectionEntrySize), '\0');
  for (uint32_t s = 0; s < count; ++s) {
    const size_t offset = out.size();
    out.append(sections[s]);
    out.resize(align_up(out.size()), '\0');
    const size_t entry = kHeaderSize + s * kSectionEntrySize;
    put<uint32_t>(out, entry, ids[s]);
    put<uint64_t>(out, entry + 8, offset);
    put<uint64_t>(out, entry + 16, sections[s].size());
  }
  out.replace(0, 8, Model::kMagic);
  put<uint32_t>(out, 8, Model::kFormatVersion);
  put<uint32_t>(out, 12, count);
  put<uint64_t>(out, 16, out.size());
  put<uint64_t>(out, 24, checksum(std::string_view(out).substr(kHeaderSize)));
  return out;
}

struct Model::Storage {
  void* mapping = nullptr;  // from mmap
  size_t mapping_size = 0;
  std::vector<uint64_t> buffer;  // an aligned copy

  ~Storage() {
    if (mapping != nullptr) munmap(mapping, mapping_size);
  }
};

Model::~Model() = default;

std::shared_ptr<const Model> Model::load(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ModelFormatError("cannot open NER model '" + path + "': " + std::strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = errno;
    ::close(fd);
    throw ModelFormatError("NER model '" + path + "' is not a regular file" +
                           (err != 0 ? std::string(": ") + std::strerror(err) : std::string()));
  }
  auto storage = std::make_unique<Storage>();
  const auto size = static_cast<size_t>(st.st_size);
  if (size > 0) {
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
      const int err = errno;
      ::close(fd);
      throw ModelFormatError("cannot map NER model '" + path + "': " + std::strerror(err));
    }
    storage->mapping = p;
    storage->mapping_size = size;
  }
  ::close(fd);
  const std::string_view bytes(static_cast<const char*>(storage->mapping), size);
  return std::shared_ptr<const Model>(new Model(std::move(storage), bytes, "'" + path + "'"));
}

std::shared_ptr<const Model> Model::from_bytes(std::string bytes) {
  auto storage = std::make_unique<Storage>();
  storage->buffer.resize((bytes.size() + 7) / 8);
  if (!bytes.empty()) std::memcpy(storage->buffer.data(), bytes.data(), bytes.size());
  const std::string_view view(reinterpret_cast<const char*>(storage->buffer.data()), bytes.size());
  return std::shared_ptr<const Model>(new Model(std::move(storage), view, "(in memory)"));
}

std::shared_ptr<const Model> Model::builtin() {
  // Built once, immutable, shared by every caller.
  static const std::shared_ptr<const Model> model = [] {
    const std::string_view bytes = builtin_model_bytes();
    if (bytes.empty()) throw ModelFormatError("this build of the library has no built-in NER model");
    return std::shared_ptr<const Model>(new Model(nullptr, bytes, "(built in)"));
  }();
  return model;
}

Model::Model(std::unique_ptr<Storage> storage, std::string_view bytes, const std::string& origin)
    : storage_(std::move(storage)), bytes_(bytes) {
  auto fail = [&](const std::string& why) -> void { throw ModelFormatError("NER model " + origin + ": " + why); };
  if (bytes.size() < kHeaderSize) {
    fail("file of " + std::to_string(bytes.size()) + " bytes is too short to be a model (truncated?)");
  }
  if (bytes.substr(0, 8) != kMagic) fail("not a NER model file (bad magic)");
  const auto version = read<uint32_t>(bytes, 8);
  if (version < kOldestFormatVersion || version > kFormatVersion) {
    fail("format version " + std::to_string(version) + " is not supported (this library reads versions " +
         std::to_string(kOldestFormatVersion) + " to " + std::to_string(kFormatVersion) + ")");
  }
  const auto declared = read<uint64_t>(bytes, 16);
  if (declared != bytes.size()) {
    fail("header declares " + std::to_string(declared) + " bytes but the file has " + std::to_string(bytes.size()) +
         (bytes.size() < declared ? " (truncated)" : ""));
  }
  if (read<uint64_t>(bytes, 24) != checksum(bytes.substr(kHeaderSize))) fail("checksum mismatch (corrupted)");
  const auto count = read<uint32_t>(bytes, 12);
  if (count > 64 || kHeaderSize + size_t{count} * kSectionEntrySize > bytes.size()) fail("bad section table");

  std::string_view sections[8];
  for (uint32_t s = 0; s < count; ++s) {
    const size_t entry = kHeaderSize + s * kSectionEntrySize;
    const auto id = read<uint32_t>(bytes, entry);
    const auto offset = read<uint64_t>(bytes, entry + 8);
    const auto size = read<uint64_t>(bytes, entry + 16);
    if (offset % 8 != 0 || offset > bytes.size() || size > bytes.size() - offset) {
      fail("section " + std::to_string(id) + " lies outside the file");
    }
    if (id >= 1 && id <= 7) sections[id] = bytes.substr(offset, size);
  }
  if (sections[kParameters].size() != kParametersSize) fail("missing or malformed parameter section");
  const std::string_view params = sections[kParameters];
  hash_bits_ = static_cast<int>(read<uint32_t>(params, 0));
  if (hash_bits_ < 8 || hash_bits_ > 28) fail("hash bits " + std::to_string(hash_bits_) + " out of range");
  if (read<uint32_t>(params, 4) != kNumLabels || read<uint32_t>(params, 8) != ModelParameters::kRowStride) {
    fail("label count or row stride does not match this library");
  }
  weight_scale_ = read<float>(params, 12);
  temperature_ = read<float>(params, 16);
  slope_ = read<float>(params, 20);
  intercept_ = read<float>(params, 24);
  transitions_ = read_transitions(params, 32);
  auto finite = [](float v) { return std::isfinite(v); };
  if (!finite(weight_scale_) || !finite(temperature_) || temperature_ <= 0 || !finite(slope_) ||
      !finite(intercept_)) {
    fail("non-finite or non-positive scale parameters");
  }
  if (!finite_transitions(transitions_)) fail("invalid start, end or transition score");

  const size_t weight_bytes = (size_t{1} << hash_bits_) * ModelParameters::kRowStride * sizeof(int16_t);
  if (sections[kWeights].size() != weight_bytes) {
    fail("weight section has " + std::to_string(sections[kWeights].size()) + " bytes, expected " +
         std::to_string(weight_bytes));
  }
  weights_ = reinterpret_cast<const int16_t*>(sections[kWeights].data());
  if (sections[kGazetteer].data() == nullptr) fail("missing gazetteer section");
  try {
    gazetteer_ = Gazetteer(sections[kGazetteer]);
  } catch (const std::invalid_argument& e) {
    fail(std::string("malformed gazetteer: ") + e.what());
  }
  if (sections[kClusters].data() == nullptr) fail("missing word cluster section");
  try {
    clusters_ = WordClusters(sections[kClusters]);
  } catch (const std::invalid_argument& e) {
    fail(std::string("malformed word clusters: ") + e.what());
  }
  description_ = sections[kDescription];

  const bool has_stage = sections[kStageParameters].data() != nullptr || sections[kStageWeights].data() != nullptr;
  if (has_stage && version < 3) fail("a format version 2 file cannot have a second stage");
  if (has_stage) {
    const std::string_view stage = sections[kStageParameters];
    if (stage.size() != kStageParametersSize) fail("missing or malformed second-stage parameters");
    stage2_hash_bits_ = static_cast<int>(read<uint32_t>(stage, 0));
    if (stage2_hash_bits_ < 8 || stage2_hash_bits_ > hash_bits_) {
      fail("second-stage hash bits " + std::to_string(stage2_hash_bits_) + " out of range");
    }
    if (read<uint32_t>(stage, 4) != kNumLabels || read<uint32_t>(stage, 8) != ModelParameters::kRowStride) {
      fail("second-stage label count or row stride does not match this library");
    }
    stage2_weight_scale_ = read<float>(stage, 12);
    stage2_transitions_ = read_transitions(stage, 16);
    if (!finite(stage2_weight_scale_) || !finite_transitions(stage2_transitions_)) {
      fail("invalid second-stage scale or transition score");
    }
    const size_t stage_bytes = (size_t{1} << stage2_hash_bits_) * ModelParameters::kRowStride * sizeof(int16_t);
    if (sections[kStageWeights].size() != stage_bytes) {
      fail("second-stage weight section has " + std::to_string(sections[kStageWeights].size()) +
           " bytes, expected " + std::to_string(stage_bytes));
    }
    stage2_weights_ = reinterpret_cast<const int16_t*>(sections[kStageWeights].data());
  }
}

}  // namespace tesk_privacy::ner
