#pragma once
// The whole updates that the end-to-end tests run twice: in process, the worker
// thread against the simulated device behind the port, and as separate programs,
// update-cli against devsim through a pseudo-terminal. A case is an update file,
// the device as scenario text (sim/scenario.h), when the user cancels, and all
// that the update must end with.
//
// The file builders are here too, for tests that make files of their own.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/update_state.h"
#include "engine/update_writer.h"

using Bytes = std::vector<uint8_t>;

// A percent anywhere from 0 to 99: the row of a target that was under way when
// the update ended inside its XSVF program, or when a signal cancelled it at a
// moment the test does not choose.
constexpr int kUnderWay = -1;

struct ExpectedRow {
  int percent = 0;  // or kUnderWay
  std::string status;
  std::string mark;
};

// When the user presses Cancel, answering Yes to the warning once the device has
// answered.
enum class CancelPoint {
  None,
  WakeProbe,  // after the n-th wake-up probe: the device has not answered yet
  DataWrite,  // after the n-th firmware block or command frame has gone out
};

struct CancelTrigger {
  CancelPoint point = CancelPoint::None;
  uint32_t count = 0;  // n
  // DataWrite: the row under way at that moment. A test that cannot count writes
  // cancels once this row shows progress.
  uint32_t row = 0;
};

struct UpdateCase {
  std::string name;  // letters and digits: it names the test
  std::string format = "V1.01";
  std::vector<UpdateTarget> targets;
  std::function<void(Bytes&)> mutate;  // changes the written file, if set
  std::string scenario;
  CancelTrigger cancel;

  // The outcome.
  std::string statusLine;  // exact, with kFilePathMark for the update file's path
  // update-cli's last line, where it says more than the record's status line.
  std::string cliStatusLine;
  std::vector<ExpectedRow> rows;
  RunState runState = RunState::Finished;
  bool endSent = true;  // whether 0xA2 reached the device
  int exitStatus = 0;   // update-cli's
  // A file whose fault update-cli's read-through finds before it opens the port:
  // it ends with exit status 4 and cliStatusLine, and the device sees nothing.
  // (The worker on its own, which reads as it goes, ends as the rest says.)
  bool caughtBeforeDevice = false;
  // The firmware targets whose blocks, as the device received them, equal the
  // file's blocks byte for byte.
  std::vector<uint8_t> firmwareIds;
};

// Test names show a case by its name.
void PrintTo(const UpdateCase& updateCase, std::ostream* out);

// Stands for the update file's path in an expected status line.
extern const char* const kFilePathMark;

const std::vector<UpdateCase>& UpdateCases();

// The update file of a case, mutation applied.
Bytes UpdateFileBytes(const UpdateCase& updateCase);

// The status line the case ends with when its file is at `path`.
std::string ExpectedStatusLine(const UpdateCase& updateCase, const std::string& path);

// The data of the case's target with this id: for firmware, its blocks with their
// length fields, as the device should receive them.
const Bytes& TargetData(const UpdateCase& updateCase, uint8_t id);

// Whether an actual percent meets an expected one (kUnderWay: 0 to 99).
bool PercentMatches(int expected, int actual);

// The differences between the expected rows and those seen, one text each.
std::vector<std::string> RowDifferences(const std::vector<ExpectedRow>& expected,
                                        const std::vector<ExpectedRow>& seen);

// File builders.

// `size` bytes that differ from those of another seed.
Bytes FirmwareImage(size_t size, uint8_t seed);
// A firmware target of `blocks` blocks of `payload` bytes each.
UpdateTarget FirmwareTarget(uint8_t id, const std::string& name, size_t blocks,
                            size_t payload = 40);
// A run-length coded firmware target whose image has long runs and short stretches.
UpdateTarget RunLengthFirmwareTarget(uint8_t id, const std::string& name);
// The demo chip's program (samples/demo_chip_program.xsvf.txt), assembled.
Bytes DemoChipProgram();
// A JTAG target with an XSVF program in the text form of xsvf/xsvf_text.h.
UpdateTarget XsvfTarget(uint8_t id, const std::string& name, const Bytes& program);
Bytes AssembleXsvf(const std::string& text);
// A target of a kind that the updater does not handle.
UpdateTarget OtherKindTarget(uint8_t id, const std::string& name, uint16_t kind);

// Whole files, for the tools' tests.
// Files without the checksum trailer by default, of the kind written before it
// existed: the cases change their files' bytes to make them malformed, and a
// trailer would turn them all into damaged files.
Bytes BuildFile(const std::string& format, const std::vector<UpdateTarget>& targets,
                Trailer trailer = Trailer::None);
// A file's bytes (ReadFileBytes); a file that cannot be read fails the test.
Bytes ReadWholeFile(const std::string& path);
