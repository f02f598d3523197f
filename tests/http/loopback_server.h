// A small HTTP/1.1 server on 127.0.0.1 for tests: it records each request
// and answers as the test's handler says — a status and body, silence (for
// read time-outs), or a closed connection. One request per connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tesk_privacy::testing {

struct RecordedRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
};

struct Reply {
  enum class Kind { kAnswer, kSilence, kClose, kTrickle } kind = Kind::kAnswer;
  int status = 200;
  std::string body;

  static Reply json(int status, std::string body) { return {Kind::kAnswer, status, std::move(body)}; }
  static Reply silence() { return {Kind::kSilence, 0, {}}; }
  static Reply close() { return {Kind::kClose, 0, {}}; }
  // Headers, then one byte of a long body every 200 ms until stopped.
  static Reply trickle() { return {Kind::kTrickle, 200, {}}; }
};

class LoopbackServer {
 public:
  explicit LoopbackServer(std::function<Reply(const RecordedRequest&)> handler) : handler_(std::move(handler)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd_, 16) != 0) {
      throw std::runtime_error("loopback server: cannot listen");
    }
    socklen_t len = sizeof(addr);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }

  std::string url(const std::string& path = "/ner") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<RecordedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  bool wait_readable(int fd) const {
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      int rc = ::poll(&p, 1, 50);
      if (rc > 0) return true;
    }
    return false;
  }

  void serve() {
    while (wait_readable(fd_)) {
      int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      handle(client);
      ::close(client);
    }
  }

  void handle(int client) {
    std::string data;
    size_t header_end = std::string::npos;
    size_t content_length = 0;
    char buf[65536];
    while (!stop_) {
      if (header_end != std::string::npos && data.size() >= header_end + 4 + content_length) break;
      if (!wait_readable(client)) return;
      ssize_t n = ::recv(client, buf, sizeof(buf), 0);
      if (n <= 0) return;
      data.append(buf, static_cast<size_t>(n));
      if (header_end == std::string::npos && (header_end = data.find("\r\n\r\n")) != std::string::npos) {
        RecordedRequest probe = parse_head(data.substr(0, header_end));
        auto it = probe.headers.find("content-length");
        content_length = it == probe.headers.end() ? 0 : std::stoul(it->second);
      }
    }
    RecordedRequest request = parse_head(data.substr(0, header_end));
    request.body = data.substr(header_end + 4, content_length);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    Reply reply = handler_(request);
    if (reply.kind == Reply::Kind::kClose) return;
    if (reply.kind == Reply::Kind::kSilence) {
      while (!stop_ && wait_readable(client)) {
        if (::recv(client, buf, sizeof(buf), 0) <= 0) return;
      }
      return;
    }
    if (reply.kind == Reply::Kind::kTrickle) {
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
      if (::send(client, head.data(), head.size(), MSG_NOSIGNAL) <= 0) return;
      while (!stop_ && ::send(client, " ", 1, MSG_NOSIGNAL) == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      return;
    }
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " Status\r\nContent-Type: application/json\r\n" +
                       "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    std::string out = head + reply.body;
    size_t sent = 0;
    while (sent < out.size()) {
      ssize_t n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  static RecordedRequest parse_head(const std::string& head) {
    RecordedRequest r;
    size_t line_end = head.find("\r\n");
    std::string first = head.substr(0, line_end);
    size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
    r.method = first.substr(0, sp1);
    r.path = first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
    while (pos < head.size()) {
      size_t end = head.find("\r\n", pos);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(pos, end - pos);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t v = line.find_first_not_of(' ', colon + 1);
        r.headers[name] = v == std::string::npos ? "" : line.substr(v);
      }
      pos = end + 2;
    }
    return r;
  }

  std::function<Reply(const RecordedRequest&)> handler_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};

// A port on 127.0.0.1 on which nothing listens.
inline int closed_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  socklen_t len = sizeof(addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

}  // namespace tesk_privacy::testing
