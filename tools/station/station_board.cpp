#include "tools/station/station_board.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include <nlohmann/json.hpp>

#include "engine/update_file.h"
#include "tools/cli/device_log.h"

namespace {

using nlohmann::json;

// The view of the run that the station shows: everything goes on to the board.
class BoardView : public ProgressView {
 public:
  explicit BoardView(StationBoard& board) : board(board) {}
  void Show(const std::vector<PortDisplay>& now) override { board.ShowPorts(now); }
  void Message(const std::string& port, const std::string& text) override {
    board.ShowNote(port, text);
  }
  // The XSVF programs' comments are for a bug report, not for the line.
  void Comment(const std::string&, const std::string&) override {}
  void DeviceEnded(const PortDisplay& last, const DeviceResult& result) override {
    board.ShowDeviceEnded(last, result);
  }
  void Finish(const RunSummary&) override { board.EndRun(); }

 private:
  StationBoard& board;
};

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

// Rounded to a tenth, so that the JSON does not change with every millisecond.
double Tenths(double value) {
  return std::round(value * 10) / 10;
}

}  // namespace

std::string StationSignatureState(const FileSummary& file) {
  return SignatureStateText(file.signature);
}

StationBoard::StationBoard(std::string filePath, std::vector<StationPort> portList, bool control,
                           std::string station)
    : filePath(std::move(filePath)),
      ports(std::move(portList)),
      control(control),
      station(std::move(station)),
      paused(new std::atomic<bool>[ports.size()]) {
  for (size_t i = 0; i < ports.size(); ++i) {
    paused[i] = false;
    Tile tile;
    tile.port = ports[i];
    tiles.push_back(tile);
  }
  std::lock_guard<std::mutex> hold(lock);
  PublishLocked();
}

std::unique_ptr<ProgressView> StationBoard::MakeView(const FileSummary& summary) {
  ShowFile(summary);
  return std::make_unique<BoardView>(*this);
}

bool StationBoard::Paused(size_t port) const {
  return port < ports.size() && paused[port].load();
}

bool StationBoard::LineStopped() const {
  return stopping.load();
}

bool StationBoard::SetPaused(size_t port, bool pause) {
  if (port >= ports.size()) return false;
  paused[port] = pause;
  std::lock_guard<std::mutex> hold(lock);
  PublishLocked();
  return true;
}

void StationBoard::StopLine() {
  stopping = true;
  std::lock_guard<std::mutex> hold(lock);
  PublishLocked();
}

void StationBoard::EndRun() {
  std::lock_guard<std::mutex> hold(lock);
  ended = true;
  for (Tile& tile : tiles) {
    tile.updating = false;
    if (tile.state == "waiting" || tile.state == "paused") tile.state = "stopped";
  }
  PublishLocked();
  changed.notify_all();
}

uint64_t StationBoard::Published(std::string* text) const {
  std::lock_guard<std::mutex> hold(lock);
  *text = published;
  return version;
}

uint64_t StationBoard::WaitForChange(uint64_t seen, std::chrono::milliseconds limit,
                                     std::string* text) const {
  std::unique_lock<std::mutex> hold(lock);
  changed.wait_for(hold, limit, [&] { return version != seen || ended; });
  *text = published;
  return version;
}

void StationBoard::ShowFile(const FileSummary& summary) {
  FileShown shown;
  shown.name = FileName(filePath);
  const int32_t format = summary.header.formatVersion;
  shown.format = format >= 0 && format < 2 ? knownFormats[format].name : "";
  shown.sha256 = summary.sha256;
  shown.checksum = summary.verified ? "verified" : "none";
  shown.signature = StationSignatureState(summary);
  for (size_t i = 0; i < summary.header.targets.size(); ++i) {
    const uint32_t id = i < summary.ids.size() ? summary.ids[i] : summary.header.targets[i].id;
    shown.targets.emplace_back(HexId(id), summary.header.targets[i].name);
  }
  std::lock_guard<std::mutex> hold(lock);
  file = std::move(shown);
  PublishLocked();
}

std::optional<size_t> StationBoard::TileOf(const std::string& port) const {
  if (port.empty()) return ports.size() == 1 ? std::optional<size_t>(0) : std::nullopt;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ports[i].path == port) return i;
  }
  return std::nullopt;
}

void StationBoard::FollowUpdate(Tile& tile, const PortDisplay& display) {
  const std::vector<RowSnapshot>& rows = display.state.rows;
  tile.targets = static_cast<int>(rows.size());
  // The target under way: the first that has not come to its end.
  const auto under = std::find_if(rows.begin(), rows.end(), [](const RowSnapshot& row) {
    return row.percent < 100 && row.status.empty();
  });
  const size_t at = static_cast<size_t>(under - rows.begin());
  tile.target = static_cast<int>(std::min(at + 1, rows.size()));
  tile.percent = under == rows.end() ? 100 : under->percent;
  tile.secondsLeft = display.secondsLeft;
  if (tile.secondsLeft) tile.secondsLeft = Tenths(*tile.secondsLeft);
  tile.status = display.state.statusLine;
}

void StationBoard::ShowPorts(const std::vector<PortDisplay>& displays) {
  std::lock_guard<std::mutex> hold(lock);
  for (Tile& tile : tiles) tile.shown = false;
  for (const PortDisplay& display : displays) {
    const std::optional<size_t> index = TileOf(display.port);
    if (!index) continue;
    Tile& tile = tiles[*index];
    tile.shown = true;
    tile.updating = display.deviceAnswered;
    if (tile.updating) {
      tile.state = "updating";
      tile.note.clear();
      FollowUpdate(tile, display);
    } else if (tile.state == "updating" || tile.state == "stopped") {
      tile.state = "waiting";
    }
  }
  // A port the run no longer shows is done with.
  for (Tile& tile : tiles) {
    if (!tile.shown && !tile.updating && tile.state != "passed" && tile.state != "failed") {
      tile.state = "stopped";
    }
  }
  PublishLocked();
}

void StationBoard::ShowNote(const std::string& port, const std::string& text) {
  std::lock_guard<std::mutex> hold(lock);
  const std::optional<size_t> index = TileOf(port);
  if (!index) return;
  tiles[*index].note = text;
  PublishLocked();
}

void StationBoard::ShowDeviceEnded(const PortDisplay& last, const DeviceResult& result) {
  std::lock_guard<std::mutex> hold(lock);
  const std::optional<size_t> index = TileOf(last.port);
  if (!index) return;
  Tile& tile = tiles[*index];
  const bool good = result.exitStatus == ExitAllUpdated;
  FollowUpdate(tile, last);
  tile.updating = false;
  tile.state = good ? "passed" : "failed";
  tile.status = result.statusLine;
  tile.secondsLeft.reset();
  ++(good ? tile.passed : tile.failed);
  ++(good ? passed : failed);
  const double hours = std::chrono::duration<double>(Clock::now() - started).count() / 3600;
  if (hours > 0) perHour = Tenths((passed + failed) / hours);
  results.push_front({UtcTime(result.startedAt), *index, good, result.seconds, result.statusLine,
                      result.exitStatus});
  if (results.size() > kResultsShown) results.pop_back();
  PublishLocked();
}

void StationBoard::PublishLocked() {
  json state;
  state["station"] = station;
  state["control"] = control;
  state["stopping"] = stopping.load();
  state["ended"] = ended;
  if (file) {
    json targets = json::array();
    for (const auto& [id, name] : file->targets) targets.push_back({{"id", id}, {"name", name}});
    state["file"] = {{"name", file->name},         {"format", file->format},
                     {"sha256", file->sha256},     {"checksum", file->checksum},
                     {"signature", file->signature}, {"targets", targets}};
  } else {
    state["file"] = nullptr;
  }
  state["totals"] = {{"passed", passed}, {"failed", failed}, {"perHour", perHour}};
  json tileList = json::array();
  for (size_t i = 0; i < tiles.size(); ++i) {
    const Tile& tile = tiles[i];
    const bool held = paused[i].load();
    json entry = {{"label", tile.port.label},  {"path", tile.port.path},
                  {"paused", held},           {"target", tile.target},
                  {"targets", tile.targets},  {"percent", tile.percent},
                  {"status", tile.status},    {"note", tile.note},
                  {"passed", tile.passed},    {"failed", tile.failed}};
    // A paused port between devices says so, whatever its last device did.
    const bool between = tile.state != "updating" && tile.state != "stopped";
    entry["state"] = held && between ? "paused" : tile.state;
    entry["secondsLeft"] = tile.secondsLeft ? json(*tile.secondsLeft) : json(nullptr);
    tileList.push_back(entry);
  }
  state["ports"] = tileList;
  json resultList = json::array();
  for (const Result& result : results) {
    resultList.push_back({{"start", result.start},
                          {"label", ports[result.tile].label},
                          {"port", ports[result.tile].path},
                          {"outcome", result.passed ? "passed" : "failed"},
                          {"seconds", std::round(result.seconds * 1000) / 1000},
                          {"status", result.status},
                          {"exit", result.exitStatus}});
  }
  state["results"] = resultList;
  // What came from outside (names, status lines) may be any bytes: invalid UTF-8
  // is replaced, never passed on.
  std::string text = state.dump(-1, ' ', false, json::error_handler_t::replace);
  if (text == published) return;
  published.swap(text);
  ++version;
  changed.notify_all();
}
