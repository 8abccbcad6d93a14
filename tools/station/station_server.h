#pragma once
// The station's web server: the page (its files built into the program), the
// board's JSON, its changes as Server-Sent Events, and the page's controls.
//
//   GET  /                       the page (with the control token when it may control)
//   GET  /station.css, /station.js
//   GET  /api/state              the board's JSON (station_board.h)
//   GET  /api/events             the same JSON as an event at each change
//   POST /api/ports/N/pause      port N (from 0) starts no next device
//   POST /api/ports/N/resume
//   POST /api/stop               no port starts a next device; the line ends
//                                once the running updates have finished
//
// A refused request gets 403 (or 503 for one event stream too many) with the
// reason as text. Each client is served on a thread of its own from the JSON the
// board published last, so that no client can hold up the run.

#include <memory>
#include <string>
#include <thread>

#include "tools/station/station_access.h"
#include "tools/station/station_board.h"

// Most event streams served at once; another is refused until one closes.
constexpr unsigned kMaxEventClients = 32;

class StationServer {
 public:
  StationServer(StationBoard& board, StationAccess access);
  ~StationServer();
  StationServer(const StationServer&) = delete;
  StationServer& operator=(const StationServer&) = delete;

  // Binds the address. False when it cannot be listened on.
  bool Bind();
  // Serves on a thread of its own until Stop.
  void Start();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
  std::thread serving;
};

// The page with the token put in (empty: read-only).
std::string StationPage(const std::string& token);
