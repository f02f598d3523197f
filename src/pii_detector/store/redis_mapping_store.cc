// The Redis backend of MappingStore (hiredis). A mapping named NAME is four
// keys: "tesk:{NAME}:log", the list of its entries in order, each the JSON
// array [type, placeholder, original]; "tesk:{NAME}:keys", placeholder ->
// original; "tesk:{NAME}:originals", type NUL original -> placeholder; and
// "tesk:{NAME}:next", per entity type the highest placeholder number given
// or reserved (and, under a NUL field, how many log entries the two indexes
// cover, so that a log written without them is indexed on first use).
//
// commit() is one Lua script that adds a writer's entries only when none of
// their placeholders is taken and none of their originals recorded, so
// writers working from views of different age never give a placeholder to
// two originals nor an original two placeholders. To keep them from picking
// the same next number, each writer reserves a range per type first
// (reserve_numbers); a range nobody reserved after is cut back to what its
// writer used, so one writer alone numbers without gaps.
#include <hiredis/hiredis.h>
#include <sys/time.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"
#include "tesk_privacy/pii_detector/store/mapping_store.h"

namespace tesk_privacy::pii_detector {
namespace {

// KEYS: log, keys, originals, next. ARGV[1]: time to live in seconds (0:
// none); ARGV[2]: how many ranges to give back, then (type, first, last) for
// each. What follows depends on the script.
constexpr const char* kScriptPrelude = R"lua(
local highest = {}
local function bump(t, p)
  if string.sub(p, 1, #t + 2) ~= '<' .. t .. '_' then return end
  local n = tonumber(string.match(p, '^_([1-9]%d*)>$', #t + 2))
  if n and n > (highest[t] or 0) then highest[t] = n end
end
local function store_highest()
  for t, n in pairs(highest) do
    if n > tonumber(redis.call('HGET', KEYS[4], t) or '0') then redis.call('HSET', KEYS[4], t, n) end
  end
  highest = {}
end
local len = redis.call('LLEN', KEYS[1])
local indexed = tonumber(redis.call('HGET', KEYS[4], '\0indexed') or '0')
if indexed > len then
  redis.call('DEL', KEYS[3])
  indexed = 0
end
if indexed < len then
  for _, e in ipairs(redis.call('LRANGE', KEYS[1], indexed, -1)) do
    local d = cjson.decode(e)
    redis.call('HSET', KEYS[3], d[1] .. '\0' .. d[3], d[2])
    bump(d[1], d[2])
  end
  store_highest()
  redis.call('HSET', KEYS[4], '\0indexed', len)
end
local function give_back()
  for i = 3, 2 + 3 * tonumber(ARGV[2]), 3 do
    if redis.call('HGET', KEYS[4], ARGV[i]) == ARGV[i + 2] then
      redis.call('HSET', KEYS[4], ARGV[i], tonumber(ARGV[i + 1]) - 1)
    end
  end
end
local function expire()
  local ttl = tonumber(ARGV[1])
  if ttl > 0 then
    for k = 1, 4 do redis.call('EXPIRE', KEYS[k], ttl) end
  end
end
local rest = 3 + 3 * tonumber(ARGV[2])
)lua";

// Then how many types follow with the highest number the entries give each,
// those (type, number) pairs, and (placeholder, original, type NUL original,
// log line) for each entry, the log line being the entry as JSON: the
// client spells out every string the script stores, so the script builds
// none. Answers the log's new length, or -1 when another writer took a
// placeholder or an original first. Entries are checked and written a
// thousand at a time, with one call per key and chunk: a call from the
// script costs about as much as the work it does.
constexpr const char* kCommitScript = R"lua(
local types = tonumber(ARGV[rest])
local from = rest + 1 + 2 * types
local function chunks(each)
  for c = from, #ARGV, 4000 do
    local r = each(c, math.min(#ARGV, c + 3999))
    if r then return r end
  end
end
local clash = chunks(function(c, last)
  local placeholders, originals = {}, {}
  for i = c, last, 4 do
    placeholders[#placeholders + 1] = ARGV[i]
    originals[#originals + 1] = ARGV[i + 2]
  end
  for _, v in ipairs(redis.call('HMGET', KEYS[2], unpack(placeholders))) do if v then return -1 end end
  for _, v in ipairs(redis.call('HMGET', KEYS[3], unpack(originals))) do if v then return -1 end end
end)
if clash then return clash end
give_back()
chunks(function(c, last)
  local keys, originals, lines = {}, {}, {}
  for i = c, last, 4 do
    keys[#keys + 1] = ARGV[i]
    keys[#keys + 1] = ARGV[i + 1]
    originals[#originals + 1] = ARGV[i + 2]
    originals[#originals + 1] = ARGV[i]
    lines[#lines + 1] = ARGV[i + 3]
  end
  redis.call('HSET', KEYS[2], unpack(keys))
  redis.call('HSET', KEYS[3], unpack(originals))
  redis.call('RPUSH', KEYS[1], unpack(lines))
end)
for i = rest + 1, from - 1, 2 do
  local n = tonumber(ARGV[i + 1])
  if n > (highest[ARGV[i]] or 0) then highest[ARGV[i]] = n end
end
store_highest()
len = redis.call('LLEN', KEYS[1])
redis.call('HSET', KEYS[4], '\0indexed', len)
expire()
return len
)lua";

// Then (type, count) for each range wanted. Answers the first number of
// each range, in order.
constexpr const char* kReserveScript = R"lua(
give_back()
local first = {}
for i = rest, #ARGV, 2 do
  local top = tonumber(redis.call('HGET', KEYS[4], ARGV[i]) or '0')
  redis.call('HSET', KEYS[4], ARGV[i], top + tonumber(ARGV[i + 1]))
  first[#first + 1] = top + 1
end
expire()
return first
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
        keys_key_("tesk:{" + location_.name + "}:keys"),
        originals_key_("tesk:{" + location_.name + "}:originals"),
        next_key_("tesk:{" + location_.name + "}:next") {}
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
    std::vector<std::string> args = script_call(kCommitScript);
    std::vector<std::string> entries;
    size_t count = 0, types = 0;
    for (const auto& [type, inner] : added) {
      long long highest = 0;
      for (const auto& [key, value] : inner) {
        highest = std::max(highest, placeholder_number(type, key));
        std::string original_key = type;
        original_key.push_back('\0');
        original_key += value;
        entries.insert(entries.end(),
                       {key, value, std::move(original_key), nlohmann::json::array({type, key, value}).dump()});
        ++count;
      }
      if (highest > 0) {
        args.insert(args.end(), {type, std::to_string(highest)});
        ++types;
      }
    }
    if (count == 0) return true;
    args.insert(args.end() - static_cast<std::ptrdiff_t>(2 * types), std::to_string(types));
    std::move(entries.begin(), entries.end(), std::back_inserter(args));
    Reply reply = command(args);
    if (reply->type != REDIS_REPLY_INTEGER) fail("unexpected answer to the commit script");
    if (reply->integer < 0) return false;
    reserved_.clear();
    // Nobody wrote between this object's last refresh and its commit: its
    // view is the log's. Otherwise the next refresh reads the others'
    // entries, and these again after them.
    if (static_cast<size_t>(reply->integer) == applied_ + count) applied_ += count;
    return true;
  }

  std::unordered_map<std::string, long long> reserve_numbers(
      const std::unordered_map<std::string, long long>& wanted) override {
    std::vector<std::string> args = script_call(kReserveScript);
    std::vector<std::string> types;
    for (const auto& [type, count] : wanted) {
      if (count <= 0) continue;
      args.insert(args.end(), {type, std::to_string(count)});
      types.push_back(type);
    }
    if (types.empty()) return {};
    Reply reply = command(args);
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements != types.size()) {
      fail("unexpected answer to the reservation script");
    }
    reserved_.clear();
    std::unordered_map<std::string, long long> first;
    for (size_t i = 0; i < types.size(); ++i) {
      if (reply->element[i]->type != REDIS_REPLY_INTEGER) fail("unexpected answer to the reservation script");
      const long long from = reply->element[i]->integer;
      first[types[i]] = from;
      reserved_.push_back({types[i], from, from + wanted.at(types[i]) - 1});
    }
    return first;
  }

  std::string describe() const override { return "Redis store " + location_.shown; }
  bool exclusive() const override { return false; }

 private:
  struct Range {
    std::string type;
    long long first, last;
  };

  // EVAL of a script after the prelude, with the keys, the time to live and
  // the ranges this object may give back.
  std::vector<std::string> script_call(const char* script) const {
    std::vector<std::string> args = {"EVAL",     std::string(kScriptPrelude) + script,
                                     "4",        log_key_,
                                     keys_key_,  originals_key_,
                                     next_key_,  std::to_string(options_.time_to_live.count()),
                                     std::to_string(reserved_.size())};
    for (const Range& r : reserved_) args.insert(args.end(), {r.type, std::to_string(r.first), std::to_string(r.last)});
    return args;
  }

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
  std::string log_key_, keys_key_, originals_key_, next_key_;
  std::vector<Range> reserved_;  // the ranges of the last reservation, until a commit
  redisContext* context_ = nullptr;
  size_t applied_ = 0;  // log entries this client has applied
};

}  // namespace

std::unique_ptr<MappingStore> make_redis_mapping_store(const std::string& location, MappingStoreOptions options) {
  return std::make_unique<RedisMappingStore>(location, std::move(options));
}

}  // namespace tesk_privacy::pii_detector
