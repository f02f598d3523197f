// The Redis backend of MappingStore (hiredis). A mapping named NAME is two
// keys: "tesk:{NAME}:log", the list of its entries in order, each the JSON
// array [type, placeholder, original], and "tesk:{NAME}:keys", a hash from
// placeholder to original that refuses a placeholder given twice. A client
// knows how many log entries it has applied; commit() is one Lua script that
// appends its entries only if the log still has that length, so entries
// computed from a stale view never land.
#include <hiredis/hiredis.h>
#include <sys/time.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/store/mapping_store.h"

namespace tesk_privacy::pii_detector {
namespace {

constexpr const char* kCommitScript = R"lua(
if redis.call('LLEN', KEYS[1]) ~= tonumber(ARGV[1]) then return -1 end
for i = 3, #ARGV, 3 do
  if redis.call('HSETNX', KEYS[2], ARGV[i + 1], ARGV[i + 2]) == 0 then return -2 end
  redis.call('RPUSH', KEYS[1], cjson.encode({ARGV[i], ARGV[i + 1], ARGV[i + 2]}))
end
local ttl = tonumber(ARGV[2])
if ttl > 0 then
  redis.call('EXPIRE', KEYS[1], ttl)
  redis.call('EXPIRE', KEYS[2], ttl)
end
return redis.call('LLEN', KEYS[1])
)lua";

using Reply = std::unique_ptr<redisReply, decltype(&freeReplyObject)>;

struct Location {
  std::string host, unix_path, password, name;
  int port = 6379;
  std::string shown;  // without the password
};

Location parse_location(const std::string& location) {
  Location l;
  auto bad = [&](const std::string& why) {
    return std::invalid_argument("mapping store '" + (l.shown.empty() ? std::string("redis://...") : l.shown) +
                                 "': " + why);
  };
  if (location.rfind("redis+unix://", 0) == 0) {
    const std::string rest = location.substr(13);
    const size_t slash = rest.rfind('/');
    if (rest.empty() || rest[0] != '/' || slash == 0 || slash == std::string::npos) {
      throw bad("expected redis+unix:///PATH/NAME");
    }
    l.unix_path = rest.substr(0, slash);
    l.name = rest.substr(slash + 1);
    l.shown = "redis+unix://" + l.unix_path + "/" + l.name;
  } else {
    std::string rest = location.substr(8);
    const size_t at = rest.rfind('@', rest.find('/'));
    if (at != std::string::npos) {
      const std::string user_info = rest.substr(0, at);
      const size_t colon = user_info.find(':');
      l.password = colon == std::string::npos ? user_info : user_info.substr(colon + 1);
      rest = rest.substr(at + 1);
    }
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) throw bad("expected redis://HOST:PORT/NAME");
    std::string host_port = rest.substr(0, slash);
    l.name = rest.substr(slash + 1);
    const size_t colon = host_port.rfind(':');
    l.host = host_port.substr(0, colon);
    if (colon != std::string::npos) {
      const std::string port = host_port.substr(colon + 1);
      if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        throw bad("the port must be a number");
      }
      l.port = std::stoi(port);
    }
    if (l.host.empty()) l.host = "127.0.0.1";
    l.shown = "redis://" + l.host + ":" + std::to_string(l.port) + "/" + l.name;
  }
  if (l.name.empty()) throw bad("the mapping needs a name after the last '/'");
  for (char c : l.name) {
    if (static_cast<unsigned char>(c) < 0x21 || c == '{' || c == '}') throw bad("the name holds blanks or braces");
  }
  return l;
}

class RedisMappingStore : public MappingStore {
 public:
  RedisMappingStore(const std::string& location, MappingStoreOptions options)
      : location_(parse_location(location)),
        options_(std::move(options)),
        log_key_("tesk:{" + location_.name + "}:log"),
        keys_key_("tesk:{" + location_.name + "}:keys") {}
  ~RedisMappingStore() override {
    if (context_ != nullptr) redisFree(context_);
  }

  MappingDataType load() override {
    applied_ = 0;
    return refresh();
  }

  MappingDataType refresh() override {
    Reply reply = command({"LRANGE", log_key_, std::to_string(applied_), "-1"});
    if (reply->type != REDIS_REPLY_ARRAY) fail("unexpected answer to LRANGE");
    MappingDataType entries;
    for (size_t i = 0; i < reply->elements; ++i) {
      const redisReply* item = reply->element[i];
      nlohmann::json entry;
      try {
        entry = nlohmann::json::parse(std::string_view(item->str, item->len));
      } catch (const nlohmann::json::exception&) {
        fail("entry " + std::to_string(applied_ + i) + " of the log is not JSON");
      }
      if (!entry.is_array() || entry.size() != 3 || !entry[0].is_string() || !entry[1].is_string() ||
          !entry[2].is_string()) {
        fail("entry " + std::to_string(applied_ + i) + " of the log is not [type, placeholder, original]");
      }
      entries[entry[0].get<std::string>()][entry[1].get<std::string>()] = entry[2].get<std::string>();
    }
    applied_ += reply->elements;
    return entries;
  }

  bool commit(const MappingDataType& added) override {
    std::vector<std::string> args = {"EVAL", kCommitScript, "2", log_key_, keys_key_, std::to_string(applied_),
                                     std::to_string(options_.time_to_live.count())};
    size_t count = 0;
    for (const auto& [type, inner] : added) {
      for (const auto& [key, value] : inner) {
        args.insert(args.end(), {type, key, value});
        ++count;
      }
    }
    if (count == 0) return true;
    Reply reply = command(args);
    if (reply->type != REDIS_REPLY_INTEGER) fail("unexpected answer to the commit script");
    if (reply->integer == -1) return false;
    if (reply->integer < 0) fail("a placeholder is already taken; the store was changed outside tesk-privacy");
    applied_ = static_cast<size_t>(reply->integer);
    return true;
  }

  std::string describe() const override { return "Redis store " + location_.shown; }
  bool exclusive() const override { return false; }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw MappingStoreError(describe() + ": " + why);
  }

  void connect() {
    if (context_ != nullptr && context_->err == 0) return;
    if (context_ != nullptr) {
      redisFree(context_);
      context_ = nullptr;
    }
    timeval tv{};
    tv.tv_sec = options_.redis_timeout.count() / 1000;
    tv.tv_usec = (options_.redis_timeout.count() % 1000) * 1000;
    context_ = location_.unix_path.empty() ? redisConnectWithTimeout(location_.host.c_str(), location_.port, tv)
                                           : redisConnectUnixWithTimeout(location_.unix_path.c_str(), tv);
    if (context_ == nullptr) fail("cannot connect: out of memory");
    if (context_->err != 0) fail(std::string("cannot connect: ") + context_->errstr);
    redisSetTimeout(context_, tv);
    if (!location_.password.empty()) {
      Reply auth = raw_command({"AUTH", location_.password});
      if (auth->type == REDIS_REPLY_ERROR) fail("authentication refused");
    }
  }

  Reply raw_command(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& a : args) {
      argv.push_back(a.data());
      lengths.push_back(a.size());
    }
    auto* reply = static_cast<redisReply*>(
        redisCommandArgv(context_, static_cast<int>(argv.size()), argv.data(), lengths.data()));
    if (reply == nullptr) {
      const std::string why = context_->errstr;
      redisFree(context_);
      context_ = nullptr;
      fail("request failed: " + why);
    }
    return Reply(reply, &freeReplyObject);
  }

  Reply command(const std::vector<std::string>& args) {
    connect();
    Reply reply = raw_command(args);
    if (reply->type == REDIS_REPLY_ERROR) fail(std::string("the server refused a request: ") + reply->str);
    return reply;
  }

  Location location_;
  MappingStoreOptions options_;
  std::string log_key_, keys_key_;
  redisContext* context_ = nullptr;
  size_t applied_ = 0;  // log entries this client has applied
};

}  // namespace

std::unique_ptr<MappingStore> make_redis_mapping_store(const std::string& location, MappingStoreOptions options) {
  return std::make_unique<RedisMappingStore>(location, std::move(options));
}

}  // namespace tesk_privacy::pii_detector
