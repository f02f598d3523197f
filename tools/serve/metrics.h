// Metrics of the HTTP service in the Prometheus text format: requests by
// endpoint and status, a latency histogram per endpoint, and the number of
// live sessions. Safe to update from every request thread.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tesk_privacy::cli {

class Metrics {
 public:
  void record(const std::string& endpoint, int status, double seconds);
  // The exposition text; `sessions` is the current session count.
  std::string render(size_t sessions) const;

 private:
  static constexpr std::array<double, 12> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                      0.05,   0.1,   0.25,   0.5,   1,    2.5};
  struct Latency {
    std::array<uint64_t, kBuckets.size()> buckets{};
    uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, uint64_t> requests_;
  std::map<std::string, Latency> latency_;
};

}  // namespace tesk_privacy::cli
