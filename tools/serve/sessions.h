// The conversations of the HTTP service. A session is one TextAnonymizer
// with its own mapping, named by a 128-bit random id (32 hexadecimal
// digits). Sessions end after their time to live without use, or when
// deleted; at most `max_sessions` live at once. With a Redis store every
// session's mapping also lives on the server (under PREFIX:ID, expiring with
// the session), so several service processes share sessions: a process
// that does not know an id opens it from Redis.
//
// A session serves one request at a time (lock its mutex); the registry
// itself may be used from every request thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "tesk_privacy/pii_detector/store/mapping_store.h"
#include "tesk_privacy/pii_detector/store/shared_mapping.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::cli {

struct SessionLimitError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Sessions {
 public:
  struct Session {
    std::string id;
    std::mutex mutex;
    std::unique_ptr<pii_detector::TextAnonymizer> anonymizer;
    std::unique_ptr<pii_detector::MappingStore> store;    // null without Redis
    std::unique_ptr<pii_detector::SharedMapping> sharing;  // over `store`
    std::chrono::steady_clock::time_point last_used;
  };

  // `redis_prefix`: "redis://HOST:PORT/PREFIX", or empty for sessions in memory.
  Sessions(std::function<std::unique_ptr<pii_detector::TextAnonymizer>()> make_anonymizer, std::string redis_prefix,
           std::chrono::seconds ttl, size_t max_sessions);

  // A new session. Throws SessionLimitError when `max_sessions` live.
  std::shared_ptr<Session> create();
  // The session of `id`, or null. With Redis, an id this process does not
  // know is opened from the server when `open` (an anonymize call extends
  // it) or when the server holds entries for it.
  std::shared_ptr<Session> find(const std::string& id, bool open = false);
  // False when there was no such session.
  bool erase(const std::string& id);
  // Ends the sessions unused for longer than the time to live; returns how many.
  size_t expire();
  size_t size() const;

  static bool well_formed(const std::string& id);

 private:
  std::shared_ptr<Session> make(std::string id);
  // Throws SessionLimitError when no session can be added (under mutex_).
  void check_room() const;

  std::function<std::unique_ptr<pii_detector::TextAnonymizer>()> make_anonymizer_;
  std::string redis_prefix_;
  std::chrono::seconds ttl_;
  size_t max_sessions_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Session>> sessions_;
};

}  // namespace tesk_privacy::cli
