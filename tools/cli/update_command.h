#pragma once
// update-cli's update command, and the production line it runs with --repeat,
// which update-station runs with a view and controls of its own. Both return the
// program's exit status.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "engine/update_signature.h"
#include "engine/update_state.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/progress_view.h"

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err);

// What the update file holds, read through before any device is touched: the
// snapshot every device of the run is updated from, and what it says.
struct FileSummary {
  UpdateFileSnapshot snapshot;
  UpdateFileHeader header;
  std::vector<TargetSize> sizes;
  std::vector<uint32_t> ids;
  std::vector<std::string> descriptions;  // per record, as --verbose shows it
  std::string sha256;     // of the whole snapshot, for the log
  bool verified = false;  // its checksum trailer matched
  SignatureCheck signature;
};

// A front end that runs the line itself: it shows the run its own way, and says
// when a port may take its next device and when the line ends. Asked on the
// run's own thread, often: answers must not wait on anything.
class LineFrontEnd {
 public:
  virtual ~LineFrontEnd() = default;
  // The file has been read through and checked; the view shows the run from now.
  virtual std::unique_ptr<ProgressView> MakeView(const FileSummary& file) = 0;
  // A paused port (its place among the options' ports) starts no next device; an
  // update that still waits for its device to answer is withdrawn.
  virtual bool Paused(size_t port) const = 0;
  // No port starts a next device; the updates under way finish, then the run ends.
  virtual bool LineStopped() const = 0;
};

// The update command with the front end's view and controls in place of update-cli's.
int RunUpdateLine(const CliOptions& options, LineFrontEnd& frontEnd, std::FILE* out,
                  std::FILE* err);
