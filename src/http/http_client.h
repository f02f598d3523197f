// HttpClient: blocking HTTP POST of a JSON body, for recognizers that call a
// remote service. Failures are classified the way callers report them:
//
//   HttpStatusError    the server answered with a 4xx or 5xx status
//   ConnectionError    no connection (refused, unknown host, connect time-out)
//   TimeoutError       connected, but the answer did not arrive in time
//   RequestError       any other failure of the request
//
// All derive from HttpError, which keeps the transport's own error text.
//
//   HttpClient client;
//   HttpResponse r = client.post_json("http://127.0.0.1:8080/ner",
//                                     {{"x-api-key", key}}, R"({"text":"..."})", 30);
//
// The time-out bounds the connection and every wait for data; an answer
// larger than max_response_bytes is refused. Only http and https are
// allowed and redirects are not followed. An HttpClient holds no state and
// may be used from several threads at once.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tesk_privacy::http {

class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class HttpStatusError : public HttpError {
 public:
  HttpStatusError(long status, const std::string& url);
  long status() const { return status_; }

 private:
  long status_;
};
class ConnectionError : public HttpError {
 public:
  using HttpError::HttpError;
};
class TimeoutError : public HttpError {
 public:
  using HttpError::HttpError;
};
class RequestError : public HttpError {
 public:
  using HttpError::HttpError;
};

// `url` with any user information ("user:password@") replaced by "***@",
// for messages and logs.
std::string redact_user_info(std::string_view url);

struct HttpResponse {
  long status = 0;
  std::string body;
};

class HttpClient {
 public:
  static constexpr size_t kDefaultMaxResponseBytes = 64u << 20;

  explicit HttpClient(size_t max_response_bytes = kDefaultMaxResponseBytes);

  // Posts `json_body` with Content-Type application/json (unless `headers`
  // sets it). `timeout_seconds` bounds the whole request: connecting,
  // sending and receiving. Throws HttpStatusError for 4xx/5xx answers.
  HttpResponse post_json(const std::string& url, const std::map<std::string, std::string>& headers,
                         const std::string& json_body, long timeout_seconds) const;

 private:
  size_t max_response_bytes_;
};

}  // namespace tesk_privacy::http
