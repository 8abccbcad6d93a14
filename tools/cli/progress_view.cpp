#include "tools/cli/progress_view.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

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

// The percentage a row shows: of a JTAG target under way, the share of its
// commands played, so that it agrees with the count beside it (the record's
// percentage measures the program's bytes, whose commands differ in size).
int ShownPercent(const RowSnapshot& row, const TargetSize& size) {
  if (size.commands <= 0 || !row.status.empty() || row.percent >= 100) return row.percent;
  const int64_t done = std::clamp<int64_t>(row.done, 0, size.commands);
  return static_cast<int>(std::min<int64_t>(99, done * 100 / size.commands));
}

// The row's status column as the window shows it, "45%" or "100% missing
// target"; how far the target has got follows apart, while it has no status.
std::string RowStatus(const RowSnapshot& row, const TargetSize& size) {
  return std::to_string(ShownPercent(row, size)) + "%" +
         (row.status.empty() ? "" : " " + row.status);
}

std::string RowFigures(const RowSnapshot& row, const TargetSize& size) {
  return row.status.empty() ? DoneOfTotal(row, size) : "";
}

// "45% 28.8 of 64.0 KiB" or "100% missing target".
std::string RowTail(const RowSnapshot& row, const TargetSize& size) {
  const std::string figures = RowFigures(row, size);
  return RowStatus(row, size) + (figures.empty() ? "" : " " + figures);
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
      const std::string line =
          RowLine(last.state.rows[i], SizeOf(last, i), BarWidth(columns, 0), columns);
      std::fprintf(out, "%s\n", line.c_str());
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

  // "<label> [#####.....] 45% 28.8 of 64.0 KiB" in `columns`; the bars narrow
  // with the width. What does not fit goes, least important first: the bar, the
  // figures of how far the target has got, then the label's end, and last the
  // status's end; a figure is shown whole or not at all.
  std::string RowLine(const RowSnapshot& row, const TargetSize& size, size_t bar,
                      size_t columns) const {
    const std::string status = RowStatus(row, size);
    std::string figures = RowFigures(row, size);
    if (!figures.empty()) figures = " " + figures;
    size_t label = LabelWidth();
    if (label + 1 + TextColumns(status) + TextColumns(figures) > columns) figures.clear();
    const size_t tail = TextColumns(status) + TextColumns(figures);
    if (label + 1 + tail > columns) {
      // The label keeps what the status leaves of it, or goes when that is too
      // little to tell the targets apart.
      constexpr size_t kMinLabel = 4;
      label = columns >= tail + 1 + kMinLabel ? columns - tail - 1 : 0;
    }
    std::string line;
    if (label > 0) line = PadColumns(FitColumns(row.Label(), label), label) + " ";
    if (bar > 0) {
      const size_t filled =
          static_cast<size_t>(std::clamp(ShownPercent(row, size), 0, 100)) * bar / 100;
      line += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
    }
    return FitColumns(line + status + figures, columns);
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
        const std::string line =
            indent + RowLine(display.state.rows[i], SizeOf(display, i), bar,
                             columns > indent.size() ? columns - indent.size() : 0);
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

}  // namespace

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
