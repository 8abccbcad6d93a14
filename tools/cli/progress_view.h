#pragma once
// How update-cli shows an update: a redrawn block on a terminal, one line per
// change otherwise, or JSON lines for scripts and other front ends.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/update_state.h"

// What the window would show, copied out of the shared record.
struct RowSnapshot {
  std::string mark;  // empty, or the multiplicity prefix
  std::string name;
  int percent = 0;
  std::string status;
  // The row's label as the window shows it: the mark, then the name.
  std::string Label() const { return mark + name; }
  bool operator==(const RowSnapshot& other) const {
    return mark == other.mark && name == other.name && percent == other.percent &&
           status == other.status;
  }
};

struct StateSnapshot {
  std::string statusLine;
  std::vector<RowSnapshot> rows;
};

StateSnapshot TakeSnapshot(const UpdateState& state);

// How the update ended, for the last thing a view prints.
struct UpdateOutcome {
  int exitStatus = 0;
  bool hasResult = false;  // the result line was reached
  int successes = 0;
  int total = 0;
};

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Called whenever the record may have changed; prints what did.
  virtual void Show(const StateSnapshot& now) = 0;
  // A text for the user from outside the record, such as a comment of the XSVF
  // program being played.
  virtual void Message(const std::string& text) = 0;
  // The final state; the view's last line is the final status line.
  virtual void Finish(const StateSnapshot& last, const UpdateOutcome& outcome) = 0;
};

std::unique_ptr<ProgressView> MakeTerminalView(std::FILE* out);
std::unique_ptr<ProgressView> MakeLineView(std::FILE* out);
std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out);

// A JSON string literal of text (quotes and escapes included).
std::string JsonString(const std::string& text);
