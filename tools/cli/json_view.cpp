// The JSON view of update-cli --json: JSON lines, one object per change, one
// with each device's outcome, and with several devices one with the summary.

#include <algorithm>
#include <map>
#include <utility>

#include "tools/cli/json_text.h"
#include "tools/cli/progress_view.h"

namespace {

// A JSON object of the view, its "event" and "port" first; the port is null for
// what concerns no one port.
Json EventObject(const char* event, const std::string& port) {
  return Json{{"event", event}, {"port", port.empty() ? Json() : Json(port)}};
}

void PrintJson(std::FILE* out, const Json& object) {
  std::fprintf(out, "%s\n", JsonText(object).c_str());
  std::fflush(out);
}

// JSON lines: one object per change, one with each device's outcome, and with
// several devices one with the summary. Every object but the summary names its
// port; update-cli's one port where the displays leave it out.
class JsonView : public ProgressView {
 public:
  JsonView(std::FILE* out, std::string onlyPort) : out(out), onlyPort(std::move(onlyPort)) {}

  void Show(const std::vector<PortDisplay>& now) override {
    for (const PortDisplay& display : now) ShowPort(display);
  }

  void Message(const std::string& port, const std::string& text) override {
    Json message = EventObject("message", PortOf(port));
    message["text"] = text;
    PrintJson(out, message);
  }

  void Comment(const std::string& port, const std::string& text) override { Message(port, text); }

  void DeviceEnded(const PortDisplay& last, const DeviceResult& result) override {
    ShowPort(last);
    DeviceResult named = result;
    named.port = PortOf(result.port);
    PrintJsonResult(out, named);
    shown.erase(last.port);
  }

  void Finish(const RunSummary& summary) override {
    PrintJson(out,
              Json{{"event", "summary"}, {"status", summary.lastLine}, {"exit", summary.exitStatus}});
  }

 private:
  const std::string& PortOf(const std::string& port) const {
    return port.empty() ? onlyPort : port;
  }

  void ShowPort(const PortDisplay& display) {
    const auto seen = shown.find(display.port);
    if (seen != shown.end() && seen->second.statusLine == display.state.statusLine &&
        SameRows(seen->second.rows, display.state.rows)) {
      return;
    }
    Json progress = EventObject("progress", PortOf(display.port));
    progress["status"] = display.state.statusLine;
    progress["rows"] = RowsJson(display.state);
    PrintJson(out, progress);
    shown[display.port] = display.state;
  }

  // The rows as the JSON shows them: without how far they have got beyond the percent.
  static bool SameRows(const std::vector<RowSnapshot>& a, const std::vector<RowSnapshot>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const RowSnapshot& x, const RowSnapshot& y) {
             return x.mark == y.mark && x.name == y.name && x.percent == y.percent &&
                    x.status == y.status;
           });
  }

  static Json RowsJson(const StateSnapshot& snapshot) {
    Json rows = Json::array();
    for (const RowSnapshot& row : snapshot.rows) {
      rows.push_back({{"mark", row.mark},
                      {"name", JsonTargetName(row.name)},
                      {"percent", row.percent},
                      {"status", row.status}});
    }
    return rows;
  }

  std::FILE* out;
  const std::string onlyPort;
  std::map<std::string, StateSnapshot> shown;  // by port
};

}  // namespace

void PrintJsonResult(std::FILE* out, const DeviceResult& result) {
  Json object = EventObject("result", result.port);
  object["successes"] = result.hasResult ? Json(result.successes) : Json();
  object["total"] = result.hasResult ? Json(result.total) : Json();
  object["status"] = result.statusLine;
  object["exit"] = result.exitStatus;
  if (!result.debugLogPath.empty()) object["debugLog"] = result.debugLogPath;
  PrintJson(out, object);
}

std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out, const std::string& onlyPort) {
  return std::make_unique<JsonView>(out, onlyPort);
}
