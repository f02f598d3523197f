#include "tesk_privacy/pii_detector/utils/mapping_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "tesk_privacy/core/errors.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

MappingDataType parse_mapping_json(std::string_view json) {
  check_utf8(json);
  nlohmann::ordered_json doc;
  try {
    doc = nlohmann::ordered_json::parse(json);
  } catch (const nlohmann::json::exception& e) {
    // parse_error, and out_of_range for a number too large for a double.
    throw std::invalid_argument(std::string("not valid JSON: ") + e.what());
  }
  if (!doc.is_object()) throw std::invalid_argument("a mapping must be a JSON object of entity types");
  MappingDataType mapping;
  for (const auto& [type, inner] : doc.items()) {
    if (!inner.is_object()) throw std::invalid_argument("mapping of \"" + type + "\" is not a JSON object");
    EntityMapping& out = mapping[type];
    for (const auto& [anonymized, original] : inner.items()) {
      if (!original.is_string()) {
        throw std::invalid_argument("value of \"" + type + "\" / \"" + anonymized + "\" is not a string");
      }
      out[anonymized] = original.get<std::string>();
    }
  }
  return mapping;
}

std::string mapping_to_json(const MappingDataType& mapping) {
  nlohmann::ordered_json doc = nlohmann::ordered_json::object();
  for (const auto& [type, inner] : mapping) {
    nlohmann::ordered_json& out = doc[type] = nlohmann::ordered_json::object();
    for (const auto& [anonymized, original] : inner) out[anonymized] = original;
  }
  return doc.dump(2) + "\n";
}

std::optional<MappingDataType> load_mapping_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return std::nullopt;
    throw OSError("cannot read mapping file " + path + ": " + std::strerror(errno));
  }
  std::string data((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw OSError("cannot read mapping file " + path);
  try {
    return parse_mapping_json(data);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument("mapping file " + path + " is not a valid mapping: " + e.what());
  }
}

void save_mapping_file(const std::string& path, const MappingDataType& mapping) {
  const std::string json = mapping_to_json(mapping);
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
  size_t written = 0;
  while (written < json.size()) {
    ssize_t n = ::write(fd, json.data() + written, json.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    written += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) fail("fsync");
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
}

}  // namespace tesk_privacy::pii_detector
