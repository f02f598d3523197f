#include "tesk_privacy/pii_detector/store/mapping_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "pii_detector/store/atomic_file.h"
#include "pii_detector/store/mapping_cipher.h"
#include "pii_detector/store/mapping_text.h"
#include "tesk_privacy/pii_detector/store/mapping_file.h"

namespace tesk_privacy::pii_detector {
namespace {

class MemoryMappingStore : public MappingStore {
 public:
  explicit MemoryMappingStore(MappingDataType initial) : mapping_(std::move(initial)) {}
  MappingDataType load() override { return mapping_; }
  bool commit(const MappingDataType& added) override {
    append_entries(mapping_, added);
    return true;
  }
  std::string describe() const override { return "the in-memory mapping"; }
  bool exclusive() const override { return true; }

 private:
  MappingDataType mapping_;
};

class FileMappingStore : public MappingStore {
 public:
  FileMappingStore(std::string path, MappingStoreOptions options)
      : path_(std::move(path)), options_(std::move(options)) {}
  ~FileMappingStore() override {
    if (lock_fd_ >= 0) ::close(lock_fd_);  // releases the lock
  }

  MappingDataType load() override {
    lock();
    remove_stale_temporaries(path_);
    std::optional<std::string> read;
    try {
      read = read_file_if_present(path_);
    } catch (const std::exception& e) {
      throw MappingStoreError(e.what());
    }
    text_ = MappingText();
    if (!read) return {};
    std::string data = std::move(*read);
    if (is_sealed_mapping(data)) {
      if (!options_.encryption_key) {
        throw MappingStoreError("mapping file " + path_ + " is encrypted: give its key");
      }
      try {
        data = open_sealed_mapping(data, *options_.encryption_key);
      } catch (const std::invalid_argument& e) {
        throw MappingStoreError("mapping file " + path_ + " cannot be decrypted: " + e.what());
      }
    }
    MappingDataType mapping;
    try {
      mapping = parse_mapping_json(data);
    } catch (const std::invalid_argument& e) {
      throw MappingStoreError("mapping file " + path_ + " is not a valid mapping: " + e.what());
    }
    text_.append(mapping);
    return mapping;
  }

  bool commit(const MappingDataType& added) override {
    if (lock_fd_ < 0 || stale_) load();
    // The store keeps its file's text, not the mapping (a long run's mapping
    // is the largest thing it holds), and the entries join it in place.
    // Should the save fail, the file still holds what it held, and the next
    // commit reads it again.
    stale_ = true;
    text_.append(added);
    try {
      if (options_.encryption_key) {
        replace_file_atomically(path_, seal_mapping(text_.str(), *options_.encryption_key));
      } else {
        replace_file_atomically(path_, text_.pieces());
      }
    } catch (const std::exception& e) {
      throw MappingStoreError(e.what());
    }
    stale_ = false;
    return true;
  }

  std::string describe() const override { return "mapping file " + path_; }
  bool exclusive() const override { return true; }

 private:
  void lock() {
    if (lock_fd_ >= 0) return;
    const std::string lock_path = path_ + ".lock";
    lock_fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) {
      throw MappingStoreError("cannot open the lock file " + lock_path + ": " + std::strerror(errno));
    }
    const auto deadline = std::chrono::steady_clock::now() + options_.lock_timeout;
    while (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) {
        const int err = errno;
        ::close(lock_fd_);
        lock_fd_ = -1;
        throw MappingStoreError("cannot lock " + lock_path + ": " + std::strerror(err));
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        ::close(lock_fd_);
        lock_fd_ = -1;
        throw MappingStoreError("mapping file " + path_ + " stayed locked by another process for " +
                                std::to_string(options_.lock_timeout.count() / 1000) + " s");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::string path_;
  MappingStoreOptions options_;
  MappingText text_;
  bool stale_ = false;  // text_ may differ from the file: a save failed
  int lock_fd_ = -1;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::unique_ptr<MappingStore> make_memory_mapping_store(MappingDataType initial) {
  return std::make_unique<MemoryMappingStore>(std::move(initial));
}

std::unique_ptr<MappingStore> make_file_mapping_store(std::string path, MappingStoreOptions options) {
  if (path.empty()) throw std::invalid_argument("a mapping file needs a path");
  return std::make_unique<FileMappingStore>(std::move(path), std::move(options));
}

std::unique_ptr<MappingStore> open_mapping_store(const std::string& location, MappingStoreOptions options) {
  if (location.rfind("redis://", 0) == 0 || location.rfind("redis+unix://", 0) == 0) {
    return make_redis_mapping_store(location, std::move(options));
  }
  return make_file_mapping_store(location, std::move(options));
}

std::string parse_mapping_key(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (end - begin != 64) throw std::invalid_argument("a mapping key is 64 hexadecimal digits (32 bytes)");
  std::string key;
  for (size_t i = begin; i < end; i += 2) {
    const int hi = hex_value(text[i]), lo = hex_value(text[i + 1]);
    if (hi < 0 || lo < 0) throw std::invalid_argument("a mapping key is 64 hexadecimal digits (32 bytes)");
    key.push_back(static_cast<char>(hi * 16 + lo));
  }
  return key;
}

std::string read_mapping_key_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::invalid_argument("cannot read the key file " + path + ": " + std::strerror(errno));
  std::string data((std::istreambuf_iterator<char>(in)), {});
  if (data.size() == 32) return data;
  try {
    return parse_mapping_key(data);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument("key file " + path + ": " + e.what() + ", or 32 raw bytes");
  }
}

}  // namespace tesk_privacy::pii_detector
