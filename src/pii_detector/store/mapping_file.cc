#include "tesk_privacy/pii_detector/store/mapping_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "pii_detector/store/atomic_file.h"
#include "pii_detector/store/mapping_text.h"
#include "tesk_privacy/core/errors.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

namespace {

// Builds the mapping while the JSON is read, in one pass: nlohmann's ordered
// object looks every key up linearly, which made a large file quadratic.
// Checks the shape and refuses what would make the store unsafe, naming the
// entry.
class MappingReader : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit MappingReader(MappingDataType& out) : out_(out) {}

  bool null() override { return value("null"); }
  bool boolean(bool) override { return value("a boolean"); }
  bool number_integer(number_integer_t) override { return value("a number"); }
  bool number_unsigned(number_unsigned_t) override { return value("a number"); }
  bool number_float(number_float_t, const string_t&) override { return value("a number"); }
  bool binary(binary_t&) override { return value("binary data"); }
  bool start_array(std::size_t) override { return value("an array"); }
  bool end_array() override { return true; }

  bool start_object(std::size_t) override {
    if (depth_ == 2) return fail("value of \"" + type_ + "\" / \"" + key_ + "\" is not a string");
    if (depth_ == 1) inner_ = &out_[type_];
    ++depth_;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool key(string_t& k) override {
    if (depth_ == 1) {
      if (out_.contains(k)) return fail("entity type \"" + k + "\" appears twice");
      if (!valid_type(k)) return fail("\"" + k + "\" is not an entity type");
      type_ = k;
      return true;
    }
    if (k.empty()) return fail("an empty placeholder under \"" + type_ + "\"");
    if (inner_->contains(k)) return fail("placeholder \"" + k + "\" appears twice under \"" + type_ + "\"");
    if (k.front() == '<' && placeholder_number(type_, k) == 0) {
      return fail("placeholder \"" + k + "\" under \"" + type_ + "\" is not of the form <" + type_ + "_N>");
    }
    if (const std::string* other = owners_.count(k) ? &owners_[k] : nullptr) {
      return fail("placeholder \"" + k + "\" appears under both \"" + *other + "\" and \"" + type_ + "\"");
    }
    owners_[k] = type_;
    key_ = k;
    return true;
  }
  bool string(string_t& v) override {
    if (depth_ != 2) return value("a string");
    if (v.empty()) return fail("the original of \"" + type_ + "\" / \"" + key_ + "\" is empty");
    if (v == key_) return fail("\"" + type_ + "\" / \"" + key_ + "\" maps a value to itself");
    (*inner_)[key_] = v;
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    return fail("not valid JSON at byte " + std::to_string(position) + ": " + e.what());
  }

  const std::string& error() const { return error_; }

 private:
  bool value(const char* what) {
    if (depth_ == 0) return fail("a mapping must be a JSON object of entity types");
    if (depth_ == 1) return fail("mapping of \"" + type_ + "\" is not a JSON object");
    return fail("value of \"" + type_ + "\" / \"" + key_ + "\" is " + what + ", not a string");
  }
  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }
  static bool valid_type(const std::string& t) {
    if (t.empty() || !std::isalpha(static_cast<unsigned char>(t[0]))) return false;
    for (char c : t) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
  }

  MappingDataType& out_;
  EntityMapping* inner_ = nullptr;
  std::unordered_map<std::string, std::string> owners_;  // placeholder -> its entity type
  int depth_ = 0;
  std::string type_, key_, error_;
};

}  // namespace

MappingDataType parse_mapping_json(std::string_view json) {
  check_utf8(json);
  MappingDataType mapping;
  MappingReader reader(mapping);
  const bool ok = nlohmann::json::sax_parse(json, &reader);
  if (!ok || !reader.error().empty()) {
    throw std::invalid_argument(reader.error().empty() ? std::string("not valid JSON") : reader.error());
  }
  return mapping;
}

// The layout of nlohmann's dump(2), written directly so that a large store
// is written in linear time.
std::string mapping_to_json(const MappingDataType& mapping) {
  MappingText text;
  text.append(mapping);
  return text.str();
}

std::optional<MappingDataType> load_mapping_file(const std::string& path) {
  std::optional<std::string> data = read_file_if_present(path);
  if (!data) return std::nullopt;
  try {
    return parse_mapping_json(*data);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument("mapping file " + path + " is not a valid mapping: " + e.what());
  }
}

std::optional<std::string> read_file_if_present(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return std::nullopt;
    throw OSError("cannot read mapping file " + path + ": " + std::strerror(errno));
  }
  std::string data((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw OSError("cannot read mapping file " + path);
  return data;
}

void save_mapping_file(const std::string& path, const MappingDataType& mapping) {
  replace_file_atomically(path, mapping_to_json(mapping));
}

namespace {

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void replace_file_atomically(const std::string& path, std::string_view bytes, int (*sync)(int)) {
  replace_file_atomically(path, std::span<const std::string_view>(&bytes, 1), sync);
}

void replace_file_atomically(const std::string& path, std::span<const std::string_view> pieces, int (*sync)(int)) {
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw OSError("cannot write mapping file " + path + ": " + std::strerror(errno));
  auto fail = [&](const char* what) {
    int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    throw OSError(std::string("cannot write mapping file ") + path + " (" + what + "): " + std::strerror(err));
  };
  ::fchmod(fd, 0600);  // the originals are personal data
  for (const std::string_view bytes : pieces) {
    for (size_t written = 0; written < bytes.size();) {
      ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail("write");
      }
      written += static_cast<size_t>(n);
    }
  }
  if (sync(fd) != 0) fail("fsync");
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw OSError("cannot write mapping file " + path + ": " + std::strerror(err));
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw OSError("cannot write mapping file " + path + ": " + std::strerror(err));
  }
  // The rename itself reaches the disk only with the folder.
  int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    const int synced = sync(dir);
    const int err = errno;
    ::close(dir);
    if (synced != 0 && err != EINVAL) {
      throw OSError("cannot write mapping file " + path + " (fsync of its folder): " + std::strerror(err));
    }
  }
}

void remove_stale_temporaries(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = folder_of(path);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
      ::unlink((folder + "/" + name).c_str());
    }
  }
  ::closedir(dir);
}

}  // namespace tesk_privacy::pii_detector
