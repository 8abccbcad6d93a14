#pragma once
// The station's board: the line as its page shows it, one tile per port, the
// update file's header, the totals and the last results. The run's thread writes
// it through the view the board makes (200 ms at most apart); the page's clients
// read the JSON that the board published last, so that a client that is slow,
// gone or one of many never holds up the run, let alone an update.
//
// The JSON (GET /api/state, and each event of /api/events):
//
//   {"station":"<this run's id>","control":true,"stopping":false,"ended":false,
//    "file":{"name":"release.upd","format":"V1.01","sha256":"<hex>",
//            "checksum":"verified"|"none","signature":"not signed",
//            "targets":[{"id":"01","name":"Main board"},...]},
//    "totals":{"passed":3,"failed":1,"perHour":118.2},
//    "ports":[{"label":"A","path":"/dev/ttyUSB0","state":"updating","paused":false,
//              "target":1,"targets":2,"percent":40,"secondsLeft":12.5,
//              "status":"...","passed":1,"failed":0,"note":"..."},...],
//    "results":[{"start":"2026-12-07T16:56:30Z","label":"A","port":"/dev/ttyUSB0",
//                "outcome":"passed","seconds":12.412,"status":"...","exit":0},...]}
//
// A port's "state" is "waiting" (for a device, or for its port to appear),
// "updating", "passed" or "failed" (its last device, until the next one answers),
// "paused" (between devices, and held back from its next one) or "stopped" (the port is
// done). "secondsLeft" is null until the rate is known; "results" are the last 50
// device updates, newest first, as the log has them; "perHour" counts the devices
// ended per hour of the run, as of the last one.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/cli/update_command.h"
#include "tools/station/station_options.h"

// How many results the board keeps.
constexpr size_t kResultsShown = 50;

// The state of the file's signature as the header shows it. Update files carry
// no signature the station checks yet; once the engine checks one, this reports it.
std::string StationSignatureState(const FileSummary& file);

class StationBoard : public LineFrontEnd {
 public:
  using Clock = std::chrono::steady_clock;

  // `filePath`: the update file as given. `control`: the page may pause ports and
  // stop the line. `station`: this run's id, which a page sees change when the
  // station was restarted.
  StationBoard(std::string filePath, std::vector<StationPort> ports, bool control,
               std::string station);

  std::unique_ptr<ProgressView> MakeView(const FileSummary& file) override;
  bool Paused(size_t port) const override;
  bool LineStopped() const override;

  // The page's controls. False for a port the station does not have.
  bool SetPaused(size_t port, bool paused);
  void StopLine();
  // The run has ended: every tile stops, and clients waiting for a change wake.
  void EndRun();

  size_t PortCount() const { return ports.size(); }
  bool HasControl() const { return control; }

  // The JSON published last and its number (from 1 on, one more at each change).
  uint64_t Published(std::string* json) const;
  // Waits until a JSON after number `seen` is published, or `limit` has passed,
  // or the run has ended; the number of the JSON now published.
  uint64_t WaitForChange(uint64_t seen, std::chrono::milliseconds limit, std::string* json) const;

  // What the view passes on, on the run's thread.
  void ShowFile(const FileSummary& file);
  void ShowPorts(const std::vector<PortDisplay>& displays);
  void ShowNote(const std::string& port, const std::string& text);
  void ShowDeviceEnded(const PortDisplay& last, const DeviceResult& result);

 private:
  struct Tile {
    StationPort port;
    std::string state = "waiting";
    int target = 0;
    int targets = 0;
    int percent = 0;
    std::optional<double> secondsLeft;
    std::string status;
    std::string note;
    int passed = 0;
    int failed = 0;
    bool updating = false;
    bool shown = false;  // in the view's last round
  };
  struct Result {
    std::string start;
    size_t tile = 0;
    bool passed = false;
    double seconds = 0;
    std::string status;
    int exitStatus = 0;
  };

  // The tile of a port as the run names it (empty: the run's only port).
  std::optional<size_t> TileOf(const std::string& port) const;
  static void FollowUpdate(Tile& tile, const PortDisplay& display);
  // Builds the JSON from the board and publishes it when it changed. Called with
  // `lock` held.
  void PublishLocked();

  const std::string filePath;
  const std::vector<StationPort> ports;
  const bool control;
  const std::string station;
  const Clock::time_point started = Clock::now();
  std::unique_ptr<std::atomic<bool>[]> paused;
  std::atomic<bool> stopping{false};

  mutable std::mutex lock;
  mutable std::condition_variable changed;
  struct FileShown {
    std::string name, format, sha256, checksum, signature;
    std::vector<std::pair<std::string, std::string>> targets;  // id, name
  };
  std::optional<FileShown> file;
  std::vector<Tile> tiles;
  std::deque<Result> results;
  int passed = 0;
  int failed = 0;
  double perHour = 0;
  bool ended = false;
  std::string published;
  uint64_t version = 0;
};
