#include "serve/metrics.h"

#include <sstream>

namespace tesk_privacy::cli {

void Metrics::record(const std::string& endpoint, int status, double seconds) {
  std::lock_guard<std::mutex> hold(mutex_);
  ++requests_[{endpoint, status}];
  Latency& l = latency_[endpoint];
  for (size_t b = 0; b < kBuckets.size(); ++b) {
    if (seconds <= kBuckets[b]) ++l.buckets[b];
  }
  ++l.count;
  l.sum += seconds;
}

std::string Metrics::render(size_t sessions) const {
  std::lock_guard<std::mutex> hold(mutex_);
  std::ostringstream out;
  out << "# HELP tesk_requests_total Requests answered, by endpoint and status code.\n"
      << "# TYPE tesk_requests_total counter\n";
  for (const auto& [key, n] : requests_) {
    out << "tesk_requests_total{endpoint=\"" << key.first << "\",code=\"" << key.second << "\"} " << n << "\n";
  }
  out << "# HELP tesk_errors_total Requests answered with an error, by status code.\n"
      << "# TYPE tesk_errors_total counter\n";
  std::map<int, uint64_t> errors;
  for (const auto& [key, n] : requests_) {
    if (key.second >= 400) errors[key.second] += n;
  }
  for (const auto& [code, n] : errors) out << "tesk_errors_total{code=\"" << code << "\"} " << n << "\n";
  out << "# HELP tesk_request_duration_seconds Time to answer a request.\n"
      << "# TYPE tesk_request_duration_seconds histogram\n";
  for (const auto& [endpoint, l] : latency_) {
    for (size_t b = 0; b < kBuckets.size(); ++b) {
      out << "tesk_request_duration_seconds_bucket{endpoint=\"" << endpoint << "\",le=\"" << kBuckets[b] << "\"} "
          << l.buckets[b] << "\n";
    }
    out << "tesk_request_duration_seconds_bucket{endpoint=\"" << endpoint << "\",le=\"+Inf\"} " << l.count << "\n"
        << "tesk_request_duration_seconds_sum{endpoint=\"" << endpoint << "\"} " << l.sum << "\n"
        << "tesk_request_duration_seconds_count{endpoint=\"" << endpoint << "\"} " << l.count << "\n";
  }
  out << "# HELP tesk_sessions Live sessions.\n# TYPE tesk_sessions gauge\ntesk_sessions " << sessions << "\n";
  return out.str();
}

}  // namespace tesk_privacy::cli
