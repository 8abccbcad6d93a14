#include "tools/station/station_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>

#include <httplib.h>

#include "engine/messages.h"
#include "tools/station/station_page_files.h"

namespace {

// How long an event stream waits for a change before it looks whether the client
// and the server are still there, and how often an idle stream sends a comment
// (a client that has gone is found out by the write that fails).
constexpr auto kEventWait = std::chrono::milliseconds(500);
constexpr int kKeepAliveRounds = 30;
// A client that takes no data for this long is dropped; only its own thread waits.
constexpr time_t kWriteTimeoutSeconds = 5;
// Threads for the clients: every event stream holds one.
constexpr size_t kServerThreads = kMaxEventClients + 8;
// How long the listening thread waits for a connection before it looks whether
// the station is stopping.
constexpr auto kListenWait = std::chrono::milliseconds(50);

// The clients' threads, and what the listening thread does between its waits for
// a connection: once the station stops, it closes the listening socket itself.
// No other thread closes the socket under its wait, which Windows' sockets do not
// promise to end (under Wine that wait never ends).
class ServerThreads : public httplib::TaskQueue {
 public:
  explicit ServerThreads(std::function<void()> idle) : pool(kServerThreads), idle(std::move(idle)) {}
  void enqueue(std::function<void()> task) override { pool.enqueue(std::move(task)); }
  void shutdown() override { pool.shutdown(); }
  void on_idle() override { idle(); }

 private:
  httplib::ThreadPool pool;
  std::function<void()> idle;
};

// What every reply carries: nothing of ours in another site's frame (a Stop
// button under someone else's page), no guessing of types, no outside scripts.
void GuardReply(httplib::Response& reply) {
  reply.set_header("X-Frame-Options", "DENY");
  reply.set_header("X-Content-Type-Options", "nosniff");
  reply.set_header("Content-Security-Policy",
                   "default-src 'self'; frame-ancestors 'none'; form-action 'none'");
  reply.set_header("Cache-Control", "no-store");
  reply.set_header("Referrer-Policy", "no-referrer");
}

void Refuse(httplib::Response& reply, int status, const std::string& reason) {
  reply.status = status;
  reply.set_content(reason + "\n", "text/plain; charset=utf-8");
}

}  // namespace

std::string StationPage(const std::string& token) {
  std::string page = kStationPageHtml;
  const std::string mark = "@TOKEN@";
  const size_t at = page.find(mark);
  if (at != std::string::npos) page.replace(at, mark.size(), token);
  return page;
}

struct StationServer::Impl {
  Impl(StationBoard& board, StationAccess access) : board(board), access(std::move(access)) {}

  // Applies the access rules; false once the refusal is in the reply.
  bool Allowed(const httplib::Request& request, httplib::Response& reply, bool control) {
    GuardReply(reply);
    StationRequest asked;
    asked.control = control;
    asked.host = request.get_header_value("Host");
    asked.origin = request.get_header_value("Origin");
    asked.token = request.get_header_value("X-Station-Token");
    const std::string refusal = RefusalOf(asked, access);
    if (refusal.empty()) return true;
    Refuse(reply, 403, refusal);
    return false;
  }

  void ServeFile(const char* path, const char* type, std::string content) {
    server.Get(path, [this, type, content](const httplib::Request& request, httplib::Response& reply) {
      if (Allowed(request, reply, false)) reply.set_content(content, type);
    });
  }

  void ServeEvents(httplib::Response& reply) {
    if (++clients > kMaxEventClients) {
      --clients;
      Refuse(reply, 503, FormatMessageText(MsgStationTooManyClients, kMaxEventClients));
      return;
    }
    reply.set_header("X-Accel-Buffering", "no");
    auto seen = std::make_shared<uint64_t>(0);
    auto idle = std::make_shared<int>(0);
    reply.set_chunked_content_provider(
        "text/event-stream",
        [this, seen, idle](size_t, httplib::DataSink& sink) {
          if (stopping) return false;
          std::string state;
          const uint64_t now = board.WaitForChange(*seen, kEventWait, &state);
          std::string event;
          if (now != *seen) {
            *seen = now;
            *idle = 0;
            event = "data: " + state + "\n\n";
          } else if (++*idle >= kKeepAliveRounds) {
            *idle = 0;
            event = ": still here\n\n";
          } else {
            return !stopping.load();
          }
          return sink.write(event.data(), event.size());
        },
        [this](bool) { --clients; });
  }

  void Route() {
    server.Get("/", [this](const httplib::Request& request, httplib::Response& reply) {
      if (Allowed(request, reply, false)) {
        reply.set_content(StationPage(access.control ? access.token : ""),
                          "text/html; charset=utf-8");
      }
    });
    ServeFile("/station.css", "text/css; charset=utf-8", kStationPageCss);
    ServeFile("/station.js", "text/javascript; charset=utf-8", kStationPageJs);
    server.Get("/api/state", [this](const httplib::Request& request, httplib::Response& reply) {
      if (!Allowed(request, reply, false)) return;
      std::string state;
      board.Published(&state);
      reply.set_content(state, "application/json");
    });
    server.Get("/api/events", [this](const httplib::Request& request, httplib::Response& reply) {
      if (Allowed(request, reply, false)) ServeEvents(reply);
    });
    server.Post(R"(/api/ports/(\d+)/(pause|resume))",
                [this](const httplib::Request& request, httplib::Response& reply) {
                  if (!Allowed(request, reply, true)) return;
                  const std::string number = request.matches[1];
                  const size_t port = number.size() > 3 ? board.PortCount() : std::stoul(number);
                  if (!board.SetPaused(port, request.matches[2] == "pause")) {
                    Refuse(reply, 404, FormatMessageText(MsgStationNoSuchPort, number.c_str()));
                    return;
                  }
                  reply.set_content("{}", "application/json");
                });
    server.Post("/api/stop", [this](const httplib::Request& request, httplib::Response& reply) {
      if (!Allowed(request, reply, true)) return;
      if (!board.LineStopped()) std::fprintf(stderr, "%s\n", MessageText(MsgStationStopping));
      board.StopLine();
      reply.set_content("{}", "application/json");
    });
  }

  StationBoard& board;
  const StationAccess access;
  httplib::Server server;
  std::atomic<unsigned> clients{0};
  std::atomic<bool> stopping{false};
};

StationServer::StationServer(StationBoard& board, StationAccess access)
    : impl(std::make_unique<Impl>(board, std::move(access))) {
  Impl& served = *impl;
  impl->server.new_task_queue = [&served] {
    return new ServerThreads([&served] {
      if (served.stopping) served.server.stop();
    });
  };
  impl->server.set_idle_interval(kListenWait);
  impl->server.set_write_timeout(kWriteTimeoutSeconds, 0);
  impl->Route();
}

StationServer::~StationServer() {
  Stop();
}

bool StationServer::Bind() {
  return impl->server.bind_to_port(impl->access.listen.host.c_str(), impl->access.listen.port);
}

void StationServer::Start() {
  serving = std::thread([this] { impl->server.listen_after_bind(); });
}

void StationServer::Stop() {
  impl->stopping = true;
  // The listening thread closes its socket at its next look (ServerThreads).
  if (serving.joinable()) serving.join();
}
