#include "tools/cli/progress_view.h"

#include <algorithm>
#include <map>
#include <optional>

#include "tools/cli/cli_options.h"
#include "xsvf/shown_text.h"

StateSnapshot TakeSnapshot(const UpdateState& state) {
  StateSnapshot snapshot;
  snapshot.statusLine = state.statusLine.Get();
  const uint32_t rows = std::min(state.targetCount, kMaxTargets);
  for (uint32_t i = 0; i < rows; ++i) {
    const TargetRow& row = state.rows[i];
    snapshot.rows.push_back({row.mark.Get(), row.name.Get(), row.percent.load(), row.status.Get(),
                             row.done.load(), row.outcome.load(), row.multiplicity.load()});
  }
  return snapshot;
}

namespace {

constexpr int64_t kKibibyte = 1024;

std::string Kibibytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / kKibibyte);
  return text;
}

}  // namespace

std::string DoneOfTotal(const RowSnapshot& row, const TargetSize& size) {
  const int64_t total = size.commands > 0 ? size.commands : size.storedBytes;
  if (total <= 0) return "";
  const int64_t done = std::min(row.percent == 100 ? total : row.done, total);
  if (size.commands > 0) {
    return std::to_string(done) + " of " + std::to_string(total) + " commands";
  }
  // Below 1 KiB a tenth of a KiB says too little: "0.0 of 0.0 KiB".
  if (total < kKibibyte) return std::to_string(done) + " of " + std::to_string(total) + " bytes";
  return Kibibytes(done) + " of " + Kibibytes(total) + " KiB";
}

namespace {

// The row's status column as the window shows it, "45% " or "100% missing
// target", followed by how far the target has got while it has no status.
std::string RowTail(const RowSnapshot& row, const TargetSize& size) {
  std::string tail = std::to_string(row.percent) + "% " + row.status;
  if (row.status.empty()) tail += DoneOfTotal(row, size);
  return tail;
}

TargetSize SizeOf(const PortDisplay& display, size_t row) {
  return row < display.sizes.size() ? display.sizes[row] : TargetSize{};
}

std::string WithPort(const std::string& port, const std::string& text) {
  return port.empty() ? text : port + ": " + text;
}

// A port's display with every text as a terminal shows it (xsvf/shown_text.h),
// for the views that lay out lines.
PortDisplay Shown(const PortDisplay& display) {
  PortDisplay shown = display;
  shown.port = TerminalText(display.port);
  shown.state.statusLine = TerminalText(display.state.statusLine);
  shown.timing = TerminalText(display.timing);
  for (RowSnapshot& row : shown.state.rows) {
    row.mark = TerminalText(row.mark);
    row.name = TerminalText(row.name);
    row.status = TerminalText(row.status);
  }
  return shown;
}

std::vector<PortDisplay> Shown(const std::vector<PortDisplay>& displays) {
  std::vector<PortDisplay> shown;
  for (const PortDisplay& display : displays) shown.push_back(Shown(display));
  return shown;
}

// On a terminal: per port a header (the port, the status line, the timing) and
// one row per target with a bar, redrawn in place and fitted to the width.
class TerminalView : public ProgressView {
 public:
  TerminalView(std::FILE* out, int (*width)(), bool colour)
      : out(out), width(width), colour(colour) {}

  void Show(const std::vector<PortDisplay>& now) override {
    const std::vector<PortDisplay> displays = Shown(now);
    if (drawnLines > 0 && displays == shown && Columns() == drawnColumns) return;
    Draw(displays);
  }

  void Message(const std::string& port, const std::string& text) override {
    PrintAboveBlock(WithPort(TerminalText(port), TerminalLines(text)));
  }

  void Comment(const std::string& port, const std::string& text) override {
    PrintAboveBlock(WithPort(TerminalText(port), TerminalText(text)));
  }

  // With one device, the block gives way to its rows and the final lines.
  void DeviceEnded(const PortDisplay& ended, const DeviceResult& result) override {
    const PortDisplay last = Shown(ended);
    if (!last.port.empty()) {
      Replace(last);
      Draw(shown);
      return;
    }
    MoveToBlockStart();
    std::fputs("\r\x1b[J", out);
    const size_t columns = Columns();
    Measure({last});
    for (size_t i = 0; i < last.state.rows.size(); ++i) {
      const std::string line = RowLine(last.state.rows[i], SizeOf(last, i), BarWidth(columns, 0));
      std::fprintf(out, "%s\n", FitColumns(line, columns).c_str());
    }
    if (!result.debugLogPath.empty()) {
      std::fprintf(out, "XSVF debug log: %s\n", TerminalText(result.debugLogPath).c_str());
    }
    const std::string statusLine = TerminalText(result.statusLine);
    std::fprintf(out, "%s\n", InStatusColour(statusLine, result.exitStatus, colour).c_str());
    std::fflush(out);
    drawnLines = 0;
    shown.clear();
  }

  void Finish(const RunSummary& summary) override {
    drawnLines = 0;  // the blocks stay as they were last drawn
    for (const DeviceResult& port : summary.ports) {
      if (!port.debugLogPath.empty()) {
        PrintLine(port.port, "XSVF debug log: " + port.debugLogPath);
      }
      PrintLine(port.port, port.statusLine, port.exitStatus);
    }
    PrintLine("", summary.lastLine, summary.exitStatus);
    std::fflush(out);
  }

 private:
  static constexpr size_t kMinBar = 10;
  static constexpr size_t kMaxBar = 30;
  static constexpr size_t kMaxLabel = 24;

  size_t Columns() const {
    const int columns = width ? width() : 0;
    // The last column stays empty: writing into it wraps on some terminals.
    return columns > 1 ? static_cast<size_t>(columns) - 1 : 79;
  }

  void MoveToBlockStart() {
    if (drawnLines > 0) std::fprintf(out, "\x1b[%dA", drawnLines);
  }

  // Printed where the block stands, which is then drawn again below it. The text
  // starts at its first column, whatever the terminal echoed for Ctrl-C.
  void PrintAboveBlock(const std::string& shownText) {
    MoveToBlockStart();
    std::fprintf(out, "\r\x1b[J%s\n", shownText.c_str());
    drawnLines = 0;
    Draw(shown);
  }

  // `exitStatus` gives the line its colour; none without one.
  void PrintLine(const std::string& port, const std::string& text,
                 std::optional<int> exitStatus = std::nullopt) {
    const std::string shown = TerminalText(WithPort(port, text));
    std::fprintf(out, "%s\n",
                 exitStatus ? InStatusColour(shown, *exitStatus, colour).c_str() : shown.c_str());
  }

  void Replace(const PortDisplay& display) {
    for (PortDisplay& port : shown) {
      if (port.port == display.port) port = display;
    }
  }

  // "<port>  <status line>            <timing>", the timing at the right edge when
  // there is room for it.
  static std::string HeaderLine(const PortDisplay& display, size_t columns) {
    const std::string left = display.port.empty()
                                 ? display.state.statusLine
                                 : display.port + "  " + display.state.statusLine;
    const size_t timing = TextColumns(display.timing);
    if (display.timing.empty() || TextColumns(left) + 2 + timing > columns) {
      return FitColumns(left, columns);
    }
    return PadColumns(left, columns - timing) + display.timing;
  }

  size_t LabelWidth() const { return std::min(kMaxLabel, std::max<size_t>(labelColumn, 8)); }

  // The bars' width: what the widest row leaves of the line, within limits; 0 when
  // there is no room for a bar.
  size_t BarWidth(size_t columns, size_t indent) const {
    const size_t fixed = indent + LabelWidth() + 1 + 3 + tailColumn;  // the blank, "[] "
    if (columns < fixed + kMinBar) return 0;
    return std::min(kMaxBar, columns - fixed);
  }

  // "<label> [#####.....] 45% 28.8 of 64.0 KiB"; the bars narrow with the width
  // and go when there is no room for them.
  std::string RowLine(const RowSnapshot& row, const TargetSize& size, size_t bar) const {
    std::string line = PadColumns(FitColumns(row.Label(), LabelWidth()), LabelWidth()) + " ";
    if (bar > 0) {
      const size_t filled = static_cast<size_t>(std::clamp(row.percent, 0, 100)) * bar / 100;
      line += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
    }
    return line + RowTail(row, size);
  }

  // The widest label and row tail of what is to be drawn, for the columns.
  void Measure(const std::vector<PortDisplay>& now) {
    labelColumn = 0;
    tailColumn = 0;
    for (const PortDisplay& display : now) {
      for (size_t i = 0; i < display.state.rows.size(); ++i) {
        const RowSnapshot& row = display.state.rows[i];
        labelColumn = std::max(labelColumn, TextColumns(row.Label()));
        tailColumn = std::max(tailColumn, TextColumns(RowTail(row, SizeOf(display, i))));
      }
    }
  }

  void Draw(const std::vector<PortDisplay>& now) {
    const size_t columns = Columns();
    Measure(now);
    MoveToBlockStart();
    int lines = 0;
    for (const PortDisplay& display : now) {
      std::fprintf(out, "\r\x1b[2K%s\n", HeaderLine(display, columns).c_str());
      ++lines;
      const std::string indent = display.port.empty() ? "" : "  ";
      const size_t bar = BarWidth(columns, indent.size());
      for (size_t i = 0; i < display.state.rows.size(); ++i) {
        const std::string line = indent + RowLine(display.state.rows[i], SizeOf(display, i), bar);
        std::fprintf(out, "\r\x1b[2K%s\n", FitColumns(line, columns).c_str());
        ++lines;
      }
    }
    if (lines < drawnLines) std::fputs("\x1b[J", out);
    std::fflush(out);
    drawnLines = lines;
    drawnColumns = columns;
    shown = now;
  }

  std::FILE* out;
  int (*width)();
  const bool colour;
  std::vector<PortDisplay> shown;  // as drawn: its texts made by Shown()
  int drawnLines = 0;
  size_t drawnColumns = 0;
  size_t labelColumn = 0;
  size_t tailColumn = 0;
};

// Not on a terminal (or on one that takes no escape sequences): one line per
// change, rows before the status line, each with its port when there are several.
class LineView : public ProgressView {
 public:
  LineView(std::FILE* out, LineDetail detail, bool colour)
      : out(out), detail(detail), colour(colour) {}

  void Show(const std::vector<PortDisplay>& now) override {
    if (detail != LineDetail::Progress) return;
    for (const PortDisplay& display : now) {
      PrintRowChanges(display);
      std::string& status = shown[display.port].statusLine;
      if (display.state.statusLine != status) {
        Print(display.port, display.state.statusLine);
        status = display.state.statusLine;
      }
    }
    std::fflush(out);
  }

  void Message(const std::string& port, const std::string& text) override {
    std::fprintf(out, "%s\n", WithPort(TerminalText(port), TerminalLines(text)).c_str());
    lastLine[port] = text;
    std::fflush(out);
  }

  void Comment(const std::string& port, const std::string& text) override {
    if (detail == LineDetail::StatusOnly) return;
    Print(port, text);
    std::fflush(out);
  }

  // The rows that changed, the debug log's path, and the final status line unless
  // it is the line printed last for the port.
  void DeviceEnded(const PortDisplay& last, const DeviceResult& result) override {
    if (detail != LineDetail::StatusOnly) PrintRowChanges(last);
    if (!result.debugLogPath.empty()) Print(last.port, "XSVF debug log: " + result.debugLogPath);
    if (lastLine[last.port] != result.statusLine) {
      Print(last.port, result.statusLine, result.exitStatus);
    }
    shown.erase(last.port);
    lastLine.erase(last.port);
    std::fflush(out);
  }

  void Finish(const RunSummary& summary) override {
    for (const DeviceResult& port : summary.ports) {
      Print(port.port, port.statusLine, port.exitStatus);
    }
    Print("", summary.lastLine, summary.exitStatus);
    std::fflush(out);
  }

 private:
  // One line, whatever the port or the text holds; `exitStatus` gives it its
  // colour.
  void Print(const std::string& port, const std::string& text,
             std::optional<int> exitStatus = std::nullopt) {
    const std::string shown = TerminalText(WithPort(port, text));
    std::fprintf(out, "%s\n",
                 exitStatus ? InStatusColour(shown, *exitStatus, colour).c_str() : shown.c_str());
    lastLine[port] = text;
  }

  void PrintRowChanges(const PortDisplay& display) {
    std::vector<std::string>& seen = shown[display.port].rows;
    seen.resize(display.state.rows.size());
    for (size_t i = 0; i < display.state.rows.size(); ++i) {
      const RowSnapshot& row = display.state.rows[i];
      const std::string line = "target " + std::to_string(i + 1) + row.Label() + ": " +
                               RowTail(row, SizeOf(display, i));
      if (line == seen[i]) continue;
      Print(display.port, line);
      seen[i] = line;
    }
  }

  // What was printed last of a port: its status line and each row's line.
  struct Printed {
    std::string statusLine;
    std::vector<std::string> rows;
  };

  std::FILE* out;
  const LineDetail detail;
  const bool colour;
  std::map<std::string, Printed> shown;        // by port
  std::map<std::string, std::string> lastLine;  // by port
};

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

std::unique_ptr<ProgressView> MakeTerminalView(std::FILE* out, int (*width)(), bool colour) {
  return std::make_unique<TerminalView>(out, width, colour);
}

std::unique_ptr<ProgressView> MakeLineView(std::FILE* out, LineDetail detail, bool colour) {
  return std::make_unique<LineView>(out, detail, colour);
}

std::string InStatusColour(const std::string& text, int exitStatus, bool colour) {
  if (!colour) return text;
  const char* start = exitStatus == ExitAllUpdated  ? "\x1b[32m"
                      : exitStatus == ExitCancelled ? "\x1b[33m"
                                                    : "\x1b[31m";
  return start + text + "\x1b[0m";
}

std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out) {
  return std::make_unique<JsonView>(out);
}
