#include "serve/sessions.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace tesk_privacy::cli {

Sessions::Sessions(std::function<std::unique_ptr<pii_detector::TextAnonymizer>()> make_anonymizer,
                   std::string redis_prefix, std::chrono::seconds ttl, size_t max_sessions)
    : make_anonymizer_(std::move(make_anonymizer)),
      redis_prefix_(std::move(redis_prefix)),
      ttl_(ttl),
      max_sessions_(max_sessions) {}

bool Sessions::well_formed(const std::string& id) {
  if (id.size() != 32) return false;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::shared_ptr<Sessions::Session> Sessions::make(std::string id) {
  auto session = std::make_shared<Session>();
  session->id = std::move(id);
  session->anonymizer = make_anonymizer_();
  session->last_used = std::chrono::steady_clock::now();
  if (!redis_prefix_.empty()) {
    pii_detector::MappingStoreOptions options;
    options.time_to_live = ttl_;
    session->store = pii_detector::open_mapping_store(redis_prefix_ + ":" + session->id, options);
    session->sharing = std::make_unique<pii_detector::SharedMapping>(*session->anonymizer, *session->store);
  }
  return session;
}

std::shared_ptr<Sessions::Session> Sessions::create() {
  unsigned char bytes[16];
  for (size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR) throw std::runtime_error(std::string("no random bytes: ") + std::strerror(errno));
    if (n > 0) got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    check_room();
  }
  auto session = make(id);
  std::lock_guard<std::mutex> hold(mutex_);
  sessions_[id] = session;
  return session;
}

std::shared_ptr<Sessions::Session> Sessions::find(const std::string& id, bool open) {
  if (!well_formed(id)) return nullptr;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = sessions_.find(id);
    if (it != sessions_.end()) {
      it->second->last_used = std::chrono::steady_clock::now();
      return it->second;
    }
    if (redis_prefix_.empty()) return nullptr;
    check_room();
  }
  auto session = make(id);
  if (!open && session->anonymizer->store().mapping.size() == 0) return nullptr;
  std::lock_guard<std::mutex> hold(mutex_);
  return sessions_.try_emplace(id, session).first->second;
}

void Sessions::check_room() const {
  if (sessions_.size() >= max_sessions_) {
    throw SessionLimitError("the service holds its maximum of " + std::to_string(max_sessions_) + " sessions");
  }
}

bool Sessions::erase(const std::string& id) {
  std::lock_guard<std::mutex> hold(mutex_);
  return sessions_.erase(id) > 0;
}

size_t Sessions::expire() {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> hold(mutex_);
  return std::erase_if(sessions_, [&](const auto& entry) { return now - entry.second->last_used > ttl_; });
}

size_t Sessions::size() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return sessions_.size();
}

}  // namespace tesk_privacy::cli
