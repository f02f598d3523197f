// tesk-privacy serve: the library as an HTTP service (cpp-httplib). JSON in
// and out; detection with the command line's defaults; one mapping per
// session (serve/sessions.h). Request texts and mapping values are never
// logged: a request's log line holds its method, path, status and time.
#include <httplib.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <chrono>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli_common.h"
#include "commands.h"
#include "serve/assets.h"
#include "serve/memory.h"
#include "serve/metrics.h"
#include "serve/sessions.h"
#include "serve/thread_pool.h"
#include "tesk_privacy/pii_detector/store/streaming_deanonymizer.h"
#include "tesk_privacy/recognition/results_json.h"

namespace tesk_privacy::cli {
namespace {

using nlohmann::json;

struct ServeOptions {
  CommonOptions common;
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string mapping_store = "memory";
  std::string api_key;  // empty: no authentication
  // httplib serves a connection on one thread while it is kept alive, so
  // this is the number of clients served at once.
  size_t threads = 64;
  long session_ttl = 3600;
  size_t max_sessions = 10000;
  size_t max_body = 10u << 20;
};

// An answer with an HTTP status other than 200.
struct HttpError : std::runtime_error {
  HttpError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
  int status;
};

// Reads the API key of --api-key-file.
std::string read_api_key(const std::string& key_file) {
  std::ifstream in(key_file);
  if (!in) throw UsageError("cannot read the API key file " + key_file);
  std::string key;
  std::getline(in, key);
  while (!key.empty() && (key.back() == '\r' || key.back() == ' ')) key.pop_back();
  if (key.size() < 16) throw UsageError("the API key in " + key_file + " must be at least 16 characters");
  return key;
}

// Constant-time comparison: the time taken says nothing of where they differ.
bool same_secret(const std::string& given, const std::string& expected) {
  unsigned char diff = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < expected.size(); ++i) {
    diff |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
  }
  return diff == 0;
}

json body_of(const httplib::Request& req) {
  json body = json::parse(req.body, nullptr, /*allow_exceptions=*/false);
  if (body.is_discarded() || !body.is_object()) throw HttpError(400, "the body must be a JSON object");
  return body;
}

std::string string_field(const json& body, const char* name, bool required, const std::string& fallback = {}) {
  auto it = body.find(name);
  if (it == body.end() || it->is_null()) {
    if (required) throw HttpError(400, std::string("\"") + name + "\" is missing");
    return fallback;
  }
  if (!it->is_string()) throw HttpError(400, std::string("\"") + name + "\" must be a string");
  return it->get<std::string>();
}

std::string language_of(const json& body, const std::string& fallback) {
  std::string language = string_field(body, "language", false, fallback);
  if (language != "id" && language != "en") throw HttpError(422, "\"language\" must be \"id\" or \"en\"");
  return language;
}

void check_text(const std::string& text) {
  if (find_invalid_utf8(text) != std::string::npos) throw HttpError(400, "\"text\" is not valid UTF-8");
}

anonymization::OperatorMap operators_of(const json& given) {
  if (!given.is_object()) throw HttpError(400, "\"operators\" must be an object");
  anonymization::OperatorMap operators;
  for (const auto& [type, entry] : given.items()) {
    if (!entry.is_object() || !entry.contains("type") || !entry["type"].is_string()) {
      throw HttpError(400, "operator " + type + " must be an object with a string \"type\"");
    }
    const std::string name = entry["type"];
    if (name == "custom") throw HttpError(422, "operator " + type + ": custom operators cannot be sent");
    anonymization::Params params;
    for (const auto& [key, value] : entry.items()) {
      if (key == "type") continue;
      if (value.is_string()) {
        params[key] = value.get<std::string>();
      } else if (value.is_boolean()) {
        params[key] = value.get<bool>();
      } else if (value.is_number_integer()) {
        params[key] = value.get<int64_t>();
      } else {
        throw HttpError(422, "operator " + type + ": parameter " + key + " has an unusable value");
      }
    }
    anonymization::OperatorConfig config(name, params);
    try {
      config.validate();
    } catch (const std::exception& e) {
      throw HttpError(422, "operator " + type + ": " + e.what());
    }
    operators.insert_or_assign(type, std::move(config));
  }
  return operators;
}

void answer(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void answer_error(httplib::Response& res, int status, const std::string& message) {
  answer(res, status, json{{"error", message}, {"code", status}});
}

class Service {
 public:
  explicit Service(const ServeOptions& o)
      : o_(o),
        analyzer_(make_analyzer(o.common)),
        sessions_([this] { return std::make_unique<pii_detector::TextAnonymizer>(analyzer_, anonymizer_options()); },
                  o.mapping_store == "memory" ? std::string() : o.mapping_store, std::chrono::seconds(o.session_ttl),
                  o.max_sessions) {}

  void route(httplib::Server& server) {
    server.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
    server.Get("/healthz", [](const httplib::Request&, httplib::Response& res) {
      answer(res, 200, json{{"status", "ok"}});
    });
    handle(server, "GET", "/openapi.json", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kOpenApi, "application/json");
    });
    handle(server, "GET", "/metrics", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(metrics_.render(sessions_.size()), "text/plain; version=0.0.4");
    });
    handle(server, "POST", "/v1/analyze", [this](const httplib::Request& req, httplib::Response& res) { analyze(req, res); });
    handle(server, "POST", "/v1/anonymize",
           [this](const httplib::Request& req, httplib::Response& res) { anonymize(req, res); });
    handle(server, "POST", "/v1/deanonymize",
           [this](const httplib::Request& req, httplib::Response& res) { deanonymize(req, res); });
    server.Post("/v1/deanonymize/stream",
                [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                  guarded("/v1/deanonymize/stream", req, res, [&] { stream(req, res, reader); });
                });
    server.Delete(R"(/v1/sessions/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
      guarded("/v1/sessions", req, res, [&] {
        if (!sessions_.erase(req.matches[1])) throw HttpError(404, "no such session");
        res.status = 204;
      });
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (!res.body.empty()) return;
      answer_error(res, res.status, res.status == 413 ? "the body is larger than the limit"
                                    : res.status == 404 ? "no such endpoint"
                                                        : "the request cannot be served");
    });
  }

  // Ends idle sessions; after many ended, the freed memory goes back to the
  // system (the allocator would keep it for the next burst of sessions).
  void expire_sessions() {
    ended_ += sessions_.expire();
    if (ended_ >= 1000 || (ended_ > 0 && sessions_.size() == 0)) {
      release_thread_cache();  // this thread freed the sessions
      release_free_memory();
      ended_ = 0;
    }
  }

 private:
  pii_detector::TextAnonymizerOptions anonymizer_options() const {
    pii_detector::TextAnonymizerOptions options;
    options.max_text_length = o_.common.max_chars;
    return options;
  }

  template <class Fn>
  void handle(httplib::Server& server, const std::string& method, const std::string& path, Fn fn) {
    auto wrapped = [this, path, fn](const httplib::Request& req, httplib::Response& res) {
      guarded(path, req, res, [&] { fn(req, res); });
    };
    if (method == "GET") server.Get(path, wrapped);
    if (method == "POST") server.Post(path, wrapped);
  }

  // Authenticates, runs `fn`, turns exceptions into JSON errors and records
  // the request's metrics.
  template <class Fn>
  void guarded(const std::string& endpoint, const httplib::Request& req, httplib::Response& res, Fn fn) {
    const auto start = std::chrono::steady_clock::now();
    res.status = 200;
    try {
      if (!o_.api_key.empty()) {
        const std::string header = req.get_header_value("Authorization");
        if (header.rfind("Bearer ", 0) != 0 || !same_secret(header.substr(7), o_.api_key)) {
          throw HttpError(401, "a valid API key is needed (Authorization: Bearer KEY)");
        }
      }
      fn();
    } catch (const HttpError& e) {
      answer_error(res, e.status, e.what());
    } catch (const SessionLimitError& e) {
      answer_error(res, 503, e.what());
    } catch (const pii_detector::InputTooLargeError& e) {
      answer_error(res, 413, e.what());
    } catch (const std::invalid_argument& e) {
      answer_error(res, 422, e.what());
    } catch (const std::exception& e) {
      std::cerr << "tesk-privacy: error: " << req.method << " " << req.path << ": " << e.what() << "\n";
      answer_error(res, 500, "the request failed inside the service");
    }
    metrics_.record(endpoint, res.status,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }

  void analyze(const httplib::Request& req, httplib::Response& res) {
    const json body = body_of(req);
    const std::string text = string_field(body, "text", true);
    check_text(text);
    recognition::AnalyzeOptions options;
    options.score_threshold = 0.46;
    if (auto it = body.find("entities"); it != body.end() && !it->is_null()) {
      if (!it->is_array()) throw HttpError(400, "\"entities\" must be a list of strings");
      std::vector<std::string> entities;
      for (const json& e : *it) {
        if (!e.is_string()) throw HttpError(400, "\"entities\" must be a list of strings");
        entities.push_back(e);
      }
      options.entities = std::move(entities);
    }
    if (auto it = body.find("score_threshold"); it != body.end() && !it->is_null()) {
      if (!it->is_number() || *it < 0 || *it > 1) throw HttpError(422, "\"score_threshold\" must be from 0 to 1");
      options.score_threshold = it->get<double>();
    }
    if (!o_.common.allow.empty()) options.allow_list = o_.common.allow;
    const Utf8Text input(text);
    const auto found = analyzer_->analyze(input, language_of(body, o_.common.language), options);
    res.set_content(recognition::results_to_json(input, found), "application/json");
  }

  void anonymize(const httplib::Request& req, httplib::Response& res) {
    const json body = body_of(req);
    const std::string text = string_field(body, "text", true);
    check_text(text);
    pii_detector::AnonymizeOptions options;
    options.language = language_of(body, o_.common.language);
    if (!o_.common.allow.empty()) options.allow_list = o_.common.allow;
    std::optional<anonymization::OperatorMap> operators;
    if (auto it = body.find("operators"); it != body.end() && !it->is_null()) operators = operators_of(*it);
    const std::string id = string_field(body, "session_id", false);
    std::shared_ptr<Sessions::Session> session = id.empty() ? sessions_.create() : sessions_.find(id, true);
    if (!session) throw HttpError(404, "no such session");
    // Detection needs no session; only the replacement runs under its lock.
    const pii_detector::TextAnonymizer::Detection found = session->anonymizer->detect(text, options);
    std::lock_guard<std::mutex> hold(session->mutex);
    pii_detector::TextAnonymizer& anonymizer = *session->anonymizer;
    // The configuration file's operators, then the request's.
    if (o_.common.config && !o_.common.config->operators.empty()) anonymizer.add_operators(o_.common.config->operators);
    if (operators) anonymizer.add_operators(*operators);
    const std::string out = session->sharing ? session->sharing->anonymize(text, found, options)
                                             : anonymizer.anonymize(text, found, options);
    // Each detection with the value the session's mapping gives its original.
    const Utf8Text input(text);
    json items = json::array();
    for (const recognition::RecognizerResult& r : found.results) {
      const std::string* anonymized = anonymizer.anonymized_value(
          r.entity_type, input.slice(static_cast<size_t>(r.start), static_cast<size_t>(r.end)));
      if (anonymized == nullptr) continue;  // settled into another span
      items.push_back(json{{"entity_type", r.entity_type}, {"start", r.start}, {"end", r.end}, {"score", r.score},
                           {"anonymized", *anonymized}});
    }
    release_small(anonymizer);
    answer(res, 200, json{{"text", out}, {"session_id", session->id}, {"items", items}});
  }

  std::shared_ptr<Sessions::Session> session_for(const std::string& id) {
    if (id.empty()) throw HttpError(400, "\"session_id\" is missing");
    std::shared_ptr<Sessions::Session> session = sessions_.find(id);
    if (!session) throw HttpError(404, "no such session");
    return session;
  }

  void deanonymize(const httplib::Request& req, httplib::Response& res) {
    const json body = body_of(req);
    const std::string text = string_field(body, "text", true);
    check_text(text);
    bool tolerant = false;
    if (auto it = body.find("tolerant"); it != body.end() && !it->is_null()) {
      if (!it->is_boolean()) throw HttpError(400, "\"tolerant\" must be true or false");
      tolerant = *it;
    }
    std::shared_ptr<Sessions::Session> session = session_for(string_field(body, "session_id", true));
    std::lock_guard<std::mutex> hold(session->mutex);
    const std::string out = session->sharing ? session->sharing->deanonymize(text, tolerant)
                                             : session->anonymizer->deanonymize(text, tolerant);
    release_small(*session->anonymizer);
    answer(res, 200, json{{"text", out}});
  }

  // A conversation's mapping is small, and rebuilding its rewriting tables
  // costs microseconds, while keeping them would multiply a session's memory
  // by ten: between requests, sessions keep their mapping alone.
  static void release_small(pii_detector::TextAnonymizer& anonymizer) {
    size_t entries = 0;
    for (const auto& [type, inner] : anonymizer.store().mapping) entries += inner.size();
    if (entries <= 256) anonymizer.release_caches();
  }

  // The session and the query are checked before the answer starts; then
  // the request body is read as it arrives, each piece restored at once.
  void stream(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    const std::string tolerant = req.get_param_value("tolerant");
    if (!tolerant.empty() && tolerant != "true" && tolerant != "false") {
      throw HttpError(422, "tolerant must be true or false");
    }
    std::shared_ptr<Sessions::Session> session = session_for(req.get_param_value("session_id"));
    std::shared_ptr<pii_detector::StreamingDeanonymizer> restorer;
    {
      std::lock_guard<std::mutex> hold(session->mutex);
      if (session->sharing) session->sharing->refresh();
      restorer = std::make_shared<pii_detector::StreamingDeanonymizer>(session->anonymizer->store(),
                                                                       tolerant == "true");
    }
    // The answer starts at once and the body is read while it is written:
    // each piece comes back restored as soon as it arrived, held back only
    // where it could still end in a placeholder. A failure once the answer
    // has started (a body over the limit, bytes that are not UTF-8) cuts
    // the answer off before its last chunk, which the client sees as an
    // incomplete response.
    res.set_chunked_content_provider(
        "text/plain; charset=utf-8",
        [restorer, reader, limit = o_.max_body](size_t, httplib::DataSink& sink) {
          size_t received = 0;
          auto emit = [&](const std::string& piece) { return piece.empty() || sink.write(piece.data(), piece.size()); };
          try {
            const bool read = reader([&](const char* data, size_t length) {
              received += length;
              return received <= limit && emit(restorer->feed(std::string_view(data, length)));
            });
            if (!read || !emit(restorer->finish())) return false;
          } catch (const std::exception&) {
            return false;
          }
          sink.done();
          return true;
        });
  }

  const ServeOptions& o_;
  std::shared_ptr<pii_detector::TextAnalyzer> analyzer_;
  Sessions sessions_;
  Metrics metrics_;
  size_t ended_ = 0;  // sessions ended since the last trim
};

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

int serve(const ServeOptions& o) {
  tune_allocator_for_service();
  Service service(o);
  httplib::Server server;
  server.new_task_queue = [threads = o.threads] { return new ThreadPool(threads); };
  server.set_payload_max_length(o.max_body);
  server.set_read_timeout(10, 0);
  server.set_write_timeout(10, 0);
  server.set_keep_alive_timeout(2);
  server.set_keep_alive_max_count(100000);
  server.set_tcp_nodelay(true);
  service.route(server);
  server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    if (res.status >= 500) std::cerr << "tesk-privacy: " << req.method << " " << req.path << " " << res.status << "\n";
  });
  // cpp-httplib, as Debian builds it, listens with a backlog of 5: of
  // dozens of clients connecting at once, some would find their first
  // request dropped. A second listen() on the socket raises the backlog.
  socket_t listening = INVALID_SOCKET;
  server.set_socket_options([&listening](socket_t sock) {
    httplib::default_socket_options(sock);
    listening = sock;
  });
  if (!server.bind_to_port(o.host, o.port) || listening == INVALID_SOCKET || ::listen(listening, 1024) != 0) {
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port));
  }
  // SIGTERM or SIGINT stops the server: requests in flight finish, new
  // connections are refused. The handler only sets a flag; the housekeeping
  // thread, which also ends idle sessions, acts on it.
  struct sigaction action {};
  action.sa_handler = request_stop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::atomic<bool> done{false};
  std::thread housekeeping([&] {
    for (int tick = 0; !done; ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (stop_requested) {
        server.stop();
        return;
      }
      if (tick % 5 == 0) service.expire_sessions();
    }
  });
  std::cerr << "tesk-privacy: serving on http://" << o.host << ":" << o.port << "/\n";
  server.listen_after_bind();
  done = true;
  housekeeping.join();
  std::cerr << "tesk-privacy: stopped\n";
  return 0;
}

}  // namespace

Runner add_serve(CLI::App& app) {
  auto o = std::make_shared<ServeOptions>();
  CLI::App* sub = app.add_subcommand(
      "serve",
      "run an HTTP service (JSON) with sessions: POST /v1/analyze, /v1/anonymize, /v1/deanonymize, "
      "/v1/deanonymize/stream, DELETE /v1/sessions/ID, GET /healthz, /metrics, /openapi.json and a web page at /; "
      "SIGTERM or SIGINT stops it gracefully");
  add_detection_options(*sub, o->common);
  sub->add_option("--host", o->host, "address to listen on (default 127.0.0.1)");
  sub->add_option("--port", o->port, "port (default 8080)")->check(CLI::Range(1, 65535));
  sub->add_option("--mapping-store", o->mapping_store,
                  "where sessions keep their mappings: memory (default) or redis://HOST:PORT/PREFIX, which processes "
                  "share")
      ->option_text("S")
      ->check([](const std::string& v) {
        return v == "memory" || v.rfind("redis://", 0) == 0 ? std::string()
                                                            : std::string("must be memory or redis://HOST:PORT/PREFIX");
      });
  sub->add_option_function<std::string>(
         "--api-key-file", [o](const std::string& file) { o->api_key = read_api_key(file); },
         "every endpoint but /healthz and / needs \"Authorization: Bearer KEY\" with the key in FILE")
      ->option_text("FILE");
  sub->add_option("--threads", o->threads, "connections served at once (default 64)")->check(CLI::Range(1, 1024));
  sub->add_option("--session-ttl", o->session_ttl, "a session ends S seconds after its last use (default 3600)")
      ->option_text("S")
      ->check(CLI::Range(1L, 365L * 24 * 3600));
  sub->add_option("--max-sessions", o->max_sessions, "sessions alive at once (default 10000)")
      ->check(CLI::Range(1, 100000000));
  sub->add_option("--max-body", o->max_body, "largest request body (default 10485760)")
      ->option_text("BYTES")
      ->check(CLI::Range(size_t{1}, size_t{1} << 40));
  return [o] {
    finish_options(o->common);
    return serve(*o);
  };
}

}  // namespace tesk_privacy::cli
