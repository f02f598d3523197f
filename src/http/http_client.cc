#include "http/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace tesk_privacy::http {
namespace {

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw RequestError("libcurl could not be initialised");
    }
  });
}

struct Sink {
  std::string body;
  size_t limit;
  bool overflow = false;
};

size_t write_body(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  size_t n = size * count;
  if (sink->body.size() + n > sink->limit) {
    sink->overflow = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  sink->body.append(data, n);
  return n;
}

}  // namespace

std::string redact_user_info(std::string_view url) {
  const size_t scheme = url.find("://");
  const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t end = url.find_first_of("/?#", start);
  const size_t at = url.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start).rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  return std::string(url.substr(0, start)) + "***" + std::string(url.substr(start + at));
}

HttpStatusError::HttpStatusError(long status, const std::string& url)
    : HttpError(std::to_string(status) + " Error for url: " + redact_user_info(url)), status_(status) {}

HttpClient::HttpClient(size_t max_response_bytes) : max_response_bytes_(max_response_bytes) {}

HttpResponse HttpClient::post_json(const std::string& url, const std::map<std::string, std::string>& headers,
                                   const std::string& json_body, long timeout_seconds) const {
  global_init();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) throw RequestError("could not create an HTTP request");
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> header_list(nullptr, &curl_slist_free_all);
  bool has_content_type = false;
  for (const auto& [key, value] : headers) {
    if (key.find_first_of("\r\n:") != std::string::npos || value.find_first_of("\r\n") != std::string::npos) {
      throw RequestError("invalid HTTP header name or value for '" + key + "'");
    }
    has_content_type |= curl_strequal(key.c_str(), "Content-Type") != 0;
    header_list.reset(curl_slist_append(header_list.release(), (key + ": " + value).c_str()));
  }
  if (!has_content_type) {
    header_list.reset(curl_slist_append(header_list.release(), "Content-Type: application/json"));
  }
  header_list.reset(curl_slist_append(header_list.release(), "Expect:"));

  Sink sink{{}, max_response_bytes_};
  char error_text[CURL_ERROR_SIZE] = {0};
  const long timeout = timeout_seconds > 0 ? timeout_seconds : 1;
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, json_body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json_body.size()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, header_list.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &write_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
  // A read time-out: give up when no byte arrived for `timeout` seconds.
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeout);
  // The whole request, upload included, ends at the time-out: a server that
  // trickles a byte now and then cannot hold it longer.
  curl_easy_setopt(h, CURLOPT_TIMEOUT, timeout);

  CURLcode rc = curl_easy_perform(h);
  std::string text = error_text[0] ? error_text : curl_easy_strerror(rc);
  switch (rc) {
    case CURLE_OK:
      break;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CONNECT_ERROR:
      throw ConnectionError(text);
    case CURLE_OPERATION_TIMEDOUT: {
      curl_off_t connected = 0;
      curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connected);
      if (connected == 0) throw ConnectionError(text);
      throw TimeoutError(text);
    }
    case CURLE_WRITE_ERROR:
      if (sink.overflow) {
        throw RequestError("answer larger than " + std::to_string(max_response_bytes_) + " bytes");
      }
      throw RequestError(text);
    default:
      throw RequestError(text);
  }
  HttpResponse response;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
  if (response.status >= 400 && response.status < 600) throw HttpStatusError(response.status, url);
  response.body = std::move(sink.body);
  return response;
}

}  // namespace tesk_privacy::http
