#include "tools/cli/progress_view.h"

#include <algorithm>

StateSnapshot TakeSnapshot(const UpdateState& state) {
  StateSnapshot snapshot;
  snapshot.statusLine = state.statusLine.Get();
  const uint32_t rows = std::min(state.targetCount, kMaxTargets);
  for (uint32_t i = 0; i < rows; ++i) {
    const TargetRow& row = state.rows[i];
    snapshot.rows.push_back({row.mark.Get(), row.name.Get(), row.percent.load(), row.status.Get()});
  }
  return snapshot;
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          json += escaped;
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

namespace {

// The row's status column as the window shows it: "45% " or "100% missing target".
std::string PercentText(const RowSnapshot& row) {
  return std::to_string(row.percent) + "% " + row.status;
}

// On a terminal: the status line and one row per target with a bar, redrawn in place.
class TerminalView : public ProgressView {
 public:
  explicit TerminalView(std::FILE* out) : out(out) {}

  void Show(const StateSnapshot& now) override {
    if (drawnLines > 0 && now.statusLine == shown.statusLine && now.rows == shown.rows) return;
    Draw(now);
  }

  // Printed where the block stands, which is then drawn again below it.
  void Message(const std::string& text) override {
    MoveToBlockStart();
    std::fprintf(out, "\x1b[J%s\n", text.c_str());
    drawnLines = 0;
    Draw(shown);
  }

  void Finish(const StateSnapshot& last, const UpdateOutcome&) override {
    Draw(last);
    std::fprintf(out, "%s\n", last.statusLine.c_str());
    std::fflush(out);
  }

 private:
  static constexpr int kBarWidth = 30;

  void MoveToBlockStart() {
    if (drawnLines > 0) std::fprintf(out, "\x1b[%dA", drawnLines);
  }

  void Draw(const StateSnapshot& now) {
    MoveToBlockStart();
    std::fprintf(out, "\x1b[2K%s\n", now.statusLine.c_str());
    for (const RowSnapshot& row : now.rows) {
      const int filled = std::clamp(row.percent, 0, 100) * kBarWidth / 100;
      std::fprintf(out, "\x1b[2K%-32.32s [%s%s] %s\n", row.Label().c_str(),
                   std::string(static_cast<size_t>(filled), '#').c_str(),
                   std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(),
                   PercentText(row).c_str());
    }
    std::fflush(out);
    drawnLines = 1 + static_cast<int>(now.rows.size());
    shown = now;
  }

  std::FILE* out;
  StateSnapshot shown;
  int drawnLines = 0;
};

// Not on a terminal: one line per change, rows before the status line.
class LineView : public ProgressView {
 public:
  explicit LineView(std::FILE* out) : out(out) {}

  void Show(const StateSnapshot& now) override {
    PrintRowChanges(now);
    if (now.statusLine != shown.statusLine) std::fprintf(out, "%s\n", now.statusLine.c_str());
    shown.statusLine = now.statusLine;
    std::fflush(out);
  }

  void Message(const std::string& text) override {
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
  }

  void Finish(const StateSnapshot& last, const UpdateOutcome&) override {
    PrintRowChanges(last);
    std::fprintf(out, "%s\n", last.statusLine.c_str());
    std::fflush(out);
  }

 private:
  void PrintRowChanges(const StateSnapshot& now) {
    shown.rows.resize(now.rows.size());
    for (size_t i = 0; i < now.rows.size(); ++i) {
      if (now.rows[i] == shown.rows[i]) continue;
      std::fprintf(out, "target %zu%s: %s\n", i + 1, now.rows[i].Label().c_str(),
                   PercentText(now.rows[i]).c_str());
      shown.rows[i] = now.rows[i];
    }
  }

  std::FILE* out;
  StateSnapshot shown;
};

// JSON lines: one object per change, then one with the outcome.
class JsonView : public ProgressView {
 public:
  explicit JsonView(std::FILE* out) : out(out) {}

  void Show(const StateSnapshot& now) override {
    if (printed && now.statusLine == shown.statusLine && now.rows == shown.rows) return;
    std::fprintf(out, "{\"event\":\"progress\",\"status\":%s,\"rows\":%s}\n",
                 JsonString(now.statusLine).c_str(), RowsJson(now).c_str());
    std::fflush(out);
    shown = now;
    printed = true;
  }

  void Message(const std::string& text) override {
    std::fprintf(out, "{\"event\":\"message\",\"text\":%s}\n", JsonString(text).c_str());
    std::fflush(out);
  }

  void Finish(const StateSnapshot& last, const UpdateOutcome& outcome) override {
    Show(last);
    const std::string successes = outcome.hasResult ? std::to_string(outcome.successes) : "null";
    const std::string total = outcome.hasResult ? std::to_string(outcome.total) : "null";
    std::fprintf(out,
                 "{\"event\":\"result\",\"successes\":%s,\"total\":%s,\"status\":%s,"
                 "\"exit\":%d}\n",
                 successes.c_str(), total.c_str(), JsonString(last.statusLine).c_str(),
                 outcome.exitStatus);
    std::fflush(out);
  }

 private:
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
  StateSnapshot shown;
  bool printed = false;
};

}  // namespace

std::unique_ptr<ProgressView> MakeTerminalView(std::FILE* out) {
  return std::make_unique<TerminalView>(out);
}

std::unique_ptr<ProgressView> MakeLineView(std::FILE* out) {
  return std::make_unique<LineView>(out);
}

std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out) {
  return std::make_unique<JsonView>(out);
}
