// tesk-privacy-load: drives a running `tesk-privacy serve` from N keep-alive
// connections for a bounded time and request count, and reports throughput
// and latency percentiles. scripts/load_test.sh starts a server and runs it.
//
//   tesk-privacy-load --port 8080 --connections 32 --seconds 60 --mix
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

// About 300 characters of Indonesian chat dense with personal data.
const std::string kText =
    "Halo kak, saya Budi Santoso dari Bandung. NIK saya 3171011205900001 dan nomor HP 0812-3456-7890, "
    "email budi.santoso@example.co.id. Tolong kirim paket ke Jl. Merdeka No. 12 RT 03/RW 05, Kel. Sukajadi, "
    "Bandung 40162 ya. Transfer sudah ke rekening BCA 1234567890 a.n. Siti Rahayu. Terima kasih banyak kak!";

struct Options {
  std::string host = "127.0.0.1";
  int port = 8080;
  int connections = 8;
  double seconds = 10;
  long max_requests = 1000000;
  bool mix = false;           // analyze, anonymize and deanonymize in turn
  bool new_sessions = false;  // every request an anonymize that opens a session
  std::string key;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&] {
      if (i + 1 >= argc) {
        std::cerr << "tesk-privacy-load: " << a << " needs a value\n";
        std::exit(2);
      }
      return std::string(argv[++i]);
    };
    if (a == "--host") o.host = value();
    else if (a == "--port") o.port = std::atoi(value().c_str());
    else if (a == "--connections") o.connections = std::max(1, std::atoi(value().c_str()));
    else if (a == "--seconds") o.seconds = std::atof(value().c_str());
    else if (a == "--max-requests") o.max_requests = std::atol(value().c_str());
    else if (a == "--mix") o.mix = true;
    else if (a == "--new-sessions") o.new_sessions = true;
    else if (a == "--key") o.key = value();
    else {
      std::cerr << "usage: tesk-privacy-load [--host H] [--port P] [--connections N] [--seconds S] "
                   "[--max-requests N] [--mix | --new-sessions] [--key KEY]\n";
      return 2;
    }
  }
  const std::string analyze_body = nlohmann::json{{"text", kText}}.dump();
  std::atomic<long> sent{0}, errors{0};
  std::mutex mutex;
  std::vector<double> latencies;
  const auto start = std::chrono::steady_clock::now();
  const auto until = start + std::chrono::duration<double>(o.seconds);
  std::vector<std::thread> threads;
  for (int c = 0; c < o.connections; ++c) {
    threads.emplace_back([&] {
      httplib::Client client(o.host, o.port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      client.set_read_timeout(30, 0);
      httplib::Headers headers;
      if (!o.key.empty()) headers.emplace("Authorization", "Bearer " + o.key);
      std::vector<double> mine;
      std::string session, anonymized;
      for (long n = 0; std::chrono::steady_clock::now() < until && sent++ < o.max_requests; ++n) {
        std::string path = "/v1/analyze", body = analyze_body;
        if (o.new_sessions) {
          path = "/v1/anonymize";
        } else if (o.mix && n % 3 == 1) {
          path = "/v1/anonymize";
          nlohmann::json request{{"text", kText}};
          if (!session.empty()) request["session_id"] = session;
          body = request.dump();
        } else if (o.mix && n % 3 == 2 && !session.empty()) {
          path = "/v1/deanonymize";
          body = nlohmann::json{{"text", anonymized}, {"session_id", session}}.dump();
        }
        const auto t0 = std::chrono::steady_clock::now();
        auto res = client.Post(path.c_str(), headers, body, "application/json");
        mine.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (!res || res->status != 200) {
          if (errors++ < 5) {
            std::lock_guard<std::mutex> hold(mutex);
            std::cerr << "tesk-privacy-load: " << path << " (request " << n << " on its connection): "
                      << (res ? std::to_string(res->status) + " " + res->body : httplib::to_string(res.error())) << "\n";
          }
          continue;
        }
        if (path == "/v1/anonymize" && !o.new_sessions) {
          const auto answer = nlohmann::json::parse(res->body);
          session = answer["session_id"];
          anonymized = answer["text"];
        } else if (path == "/v1/deanonymize" && nlohmann::json::parse(res->body)["text"] != kText) {
          if (errors++ < 5) {
            std::lock_guard<std::mutex> hold(mutex);
            std::cerr << "tesk-privacy-load: the round trip gave " << res->body << "\n";
          }
        }
      }
      std::lock_guard<std::mutex> hold(mutex);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
    });
  }
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  auto pct = [&](double p) {
    return latencies.empty() ? 0.0 : latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))];
  };
  std::printf("requests %zu in %.1f s: %.0f/s, errors %ld, p50 %.2f ms, p99 %.2f ms (%d connections%s)\n",
              latencies.size(), elapsed, latencies.size() / elapsed, errors.load(), pct(0.5) * 1e3, pct(0.99) * 1e3,
              o.connections, o.new_sessions ? ", a new session each" : o.mix ? ", analyze/anonymize/deanonymize mixed" : ", analyze");
  return errors.load() == 0 ? 0 : 1;
}
