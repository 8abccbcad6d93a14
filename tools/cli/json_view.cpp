// The JSON view of update-cli --json: JSON lines, one object per change, one
// with each device's outcome, and with several devices one with the summary.

#include "tools/cli/progress_view.h"

#include <algorithm>
#include <map>

#include "xsvf/shown_text.h"

namespace {

std::string PortField(const std::string& port) {
  return port.empty() ? "" : "\"port\":" + JsonString(port) + ",";
}

// JSON lines: one object per change, one with each device's outcome, and with
// several devices one with the summary.
class JsonView : public ProgressView {
 public:
  explicit JsonView(std::FILE* out) : out(out) {}

  void Show(const std::vector<PortDisplay>& now) override {
    for (const PortDisplay& display : now) ShowPort(display);
    std::fflush(out);
  }

  void Message(const std::string& port, const std::string& text) override {
    std::fprintf(out, "{\"event\":\"message\",%s\"text\":%s}\n", PortField(port).c_str(),
                 JsonString(text).c_str());
    std::fflush(out);
  }

  void Comment(const std::string& port, const std::string& text) override { Message(port, text); }

  void DeviceEnded(const PortDisplay& last, const DeviceResult& result) override {
    ShowPort(last);
    PrintJsonResult(out, result);
    shown.erase(last.port);
  }

  void Finish(const RunSummary& summary) override {
    std::fprintf(out, "{\"event\":\"summary\",\"status\":%s,\"exit\":%d}\n",
                 JsonString(summary.lastLine).c_str(), summary.exitStatus);
    std::fflush(out);
  }

 private:
  void ShowPort(const PortDisplay& display) {
    const auto seen = shown.find(display.port);
    if (seen != shown.end() && seen->second.statusLine == display.state.statusLine &&
        SameRows(seen->second.rows, display.state.rows)) {
      return;
    }
    std::fprintf(out, "{\"event\":\"progress\",%s\"status\":%s,\"rows\":%s}\n",
                 PortField(display.port).c_str(), JsonString(display.state.statusLine).c_str(),
                 RowsJson(display.state).c_str());
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

  static std::string RowsJson(const StateSnapshot& snapshot) {
    std::string json = "[";
    for (const RowSnapshot& row : snapshot.rows) {
      if (json.size() > 1) json += ",";
      json += "{\"mark\":" + JsonString(row.mark) + ",\"name\":" + JsonString(row.name) +
              ",\"percent\":" + std::to_string(row.percent) +
              ",\"status\":" + JsonString(row.status) + "}";
    }
    return json + "]";
  }

  std::FILE* out;
  std::map<std::string, StateSnapshot> shown;  // by port
};

}  // namespace

void PrintJsonResult(std::FILE* out, const DeviceResult& result) {
  const std::string successes = result.hasResult ? std::to_string(result.successes) : "null";
  const std::string total = result.hasResult ? std::to_string(result.total) : "null";
  const std::string debugLog =
      result.debugLogPath.empty() ? "" : ",\"debugLog\":" + JsonString(result.debugLogPath);
  std::fprintf(out,
               "{\"event\":\"result\",%s\"successes\":%s,\"total\":%s,\"status\":%s,"
               "\"exit\":%d%s}\n",
               PortField(result.port).c_str(), successes.c_str(), total.c_str(),
               JsonString(result.statusLine).c_str(), result.exitStatus, debugLog.c_str());
  std::fflush(out);
}

std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out) {
  return std::make_unique<JsonView>(out);
}
