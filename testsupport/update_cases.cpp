#include "testsupport/update_cases.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "engine/messages.h"
#include "xsvf/file_bytes.h"
#include "xsvf/xsvf_text.h"

const char* const kFilePathMark = "<update file>";

namespace {

// The four characters that end every file the writer makes: the closing id 00.
const std::string kTerminator = "00\r\n";

// An IDCODE read of the demo chip, compared with retries (XREPEAT 3, XRUNTEST)
// or without (XREPEAT 0).
std::string IdcodeProgram(int repeat) {
  return "XREPEAT " + std::to_string(repeat) +
         "\n"
         "XRUNTEST 1000\n"
         "XSTATE RESET\n"
         "XSTATE RUNTEST/IDLE\n"
         "XSIR 8 0x01\n"
         "XSDRSIZE 32\n"
         "XTDOMASK 0xffffffff\n"
         "XSDRTDO 0x00000000 0x1de40157\n"
         "XCOMPLETE\n";
}

std::string Result(int successes, int total) {
  return FormatMessageText(MsgResult, successes, total);
}

ExpectedRow Row(int percent, Message status, const std::string& mark = "") {
  return {percent, MessageText(status), mark};
}

ExpectedRow Untouched() {
  return {0, "", ""};
}

ExpectedRow Done(const std::string& mark = "") {
  return {100, "", mark};
}

void AppendText(Bytes& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

bool EndsWithTerminator(const Bytes& file) {
  return file.size() >= kTerminator.size() &&
         std::equal(kTerminator.begin(), kTerminator.end(), file.end() - kTerminator.size());
}

// The file without its closing id 00.
void DropTerminator(Bytes& file) {
  if (!EndsWithTerminator(file)) throw std::logic_error("no closing 00 to drop");
  file.resize(file.size() - kTerminator.size());
}

// `record` put in just before the closing id 00.
std::function<void(Bytes&)> InsertBeforeTerminator(Bytes record) {
  return [record](Bytes& file) {
    DropTerminator(file);
    file.insert(file.end(), record.begin(), record.end());
    AppendText(file, kTerminator);
  };
}

// `text` put in between the header and the first record: after the header line,
// the target count and `names` name lines.
std::function<void(Bytes&)> InsertBeforeRecords(const std::string& text, size_t names) {
  return [text, names](Bytes& file) {
    size_t lines = 0;
    auto position = file.begin();
    while (lines < names + 2 && position != file.end()) {
      if (*position++ == '\n') ++lines;
    }
    file.insert(position, text.begin(), text.end());
  };
}

using Targets = std::vector<UpdateTarget>;
using Rows = std::vector<ExpectedRow>;
using Ids = std::vector<uint8_t>;

// An update that reaches the result line and sends 0xA2: update-cli exits 0 when
// every target was updated, 1 otherwise.
UpdateCase Ends(const std::string& name, Targets targets, const std::string& scenario,
                int successes, int total, Rows rows, Ids firmwareIds = {}) {
  UpdateCase c;
  c.name = name;
  c.targets = std::move(targets);
  c.scenario = scenario;
  c.statusLine = Result(successes, total);
  c.rows = std::move(rows);
  c.exitStatus = successes == total ? 0 : 1;
  c.firmwareIds = std::move(firmwareIds);
  return c;
}

// An update that a fault ends before the result line: no 0xA2, exit 2.
UpdateCase Fails(const std::string& name, Targets targets, const std::string& scenario,
                 const std::string& statusLine, Rows rows, Ids firmwareIds = {}) {
  UpdateCase c =
      Ends(name, std::move(targets), scenario, 0, 0, std::move(rows), std::move(firmwareIds));
  c.statusLine = statusLine;
  c.endSent = false;
  c.exitStatus = 2;
  return c;
}

// A file with a malformed record: the worker finds it when it gets there, while
// update-cli reads the file through first and never touches the device.
UpdateCase Malformed(const std::string& name, Targets targets, const std::string& scenario,
                     Rows rows, Ids firmwareIds, std::function<void(Bytes&)> mutate) {
  UpdateCase c = Fails(name, std::move(targets), scenario,
                       FormatMessageText(MsgBadRecord, kFilePathMark), std::move(rows),
                       std::move(firmwareIds));
  c.cliStatusLine = c.statusLine;
  c.mutate = std::move(mutate);
  c.caughtBeforeDevice = true;
  c.exitStatus = 4;
  return c;
}

// An update that the user cancels: Aborted, no 0xA2, exit 3.
UpdateCase Cancelled(const std::string& name, Targets targets, const std::string& scenario,
                     CancelTrigger cancel, Message statusLine, Rows rows, Ids firmwareIds = {}) {
  UpdateCase c = Fails(name, std::move(targets), scenario, MessageText(statusLine), std::move(rows),
                       std::move(firmwareIds));
  c.cancel = cancel;
  c.runState = RunState::Aborted;
  c.exitStatus = 3;
  return c;
}

// Ten targets fill the rows.
Targets TenTargets() {
  Targets ten;
  for (uint8_t id = 1; id <= kMaxTargets; ++id) {
    ten.push_back(FirmwareTarget(id, " Unit " + std::to_string(id), 1));
  }
  return ten;
}

std::string DeviceWithTenTargets() {
  std::string scenario;
  for (uint8_t id = 1; id <= kMaxTargets; ++id) {
    char line[32];
    std::snprintf(line, sizeof line, "target %02X firmware\n", id);
    scenario += line;
  }
  return scenario;
}

// A record for the target id 0B.
Bytes EleventhRecord() {
  Bytes record;
  AppendText(record, "0B 0000 FEFF 00000004");
  record.insert(record.end(), {0x00, 0x02, 0xAB, 0xCD});
  AppendText(record, "\r\n");
  return record;
}

std::vector<UpdateCase> MakeCases() {
  const std::string one = "target 01 firmware\n";
  const std::string two = "target 01 firmware\ntarget 02 firmware\n";
  const UpdateTarget main = FirmwareTarget(1, " Main", 3);
  const UpdateTarget io = FirmwareTarget(2, " Io", 3);
  const UpdateTarget logic = XsvfTarget(3, " Logic", DemoChipProgram());
  const std::string jtag = "target 03 jtag demo\n";
  const std::string unsuccessful = MessageText(MsgUnsuccessful);
  const std::string cancelled = MessageText(MsgCancelled);
  std::vector<UpdateCase> cases;

  // Switched on a moment after the first probes, as a user does.
  cases.push_back(Ends("FirmwareDone", {main}, "switch-on 300\n" + one, 1, 1, {Done()}, {1}));
  cases.push_back(Ends("FirmwareInTheOldFormat", {main, FirmwareTarget(2, " Io", 2, 998)}, two, 2,
                       2, {Done(), Done()}, {1, 2}));
  cases.back().format = "V1.00";
  cases.push_back(
      Ends("FirmwareRunLengthCodedAndJtag",
           {FirmwareTarget(1, " Main", 4), RunLengthFirmwareTarget(2, " Display"), logic},
           two + jtag, 3, 3, {Done(), Done(), Done()}, {1, 2}));
  cases.push_back(Ends("MissingTargetInTheMiddle", {main, io, FirmwareTarget(3, " Three", 3)},
                       one + "target 03 firmware\n", 2, 3,
                       {Done(), Row(0, MsgMissingTarget), Done()}, {1, 3}));
  cases.push_back(Ends("KindNotHandled", {main, OtherKindTarget(2, " Other", 0x1234)}, one, 1, 2,
                       {Done(), Row(0, MsgUnknownKind)}, {1}));
  // The failed target counts with the first answer, as a target served to 3 units.
  cases.push_back(Ends("QueryAnswersDiffer", {main, io},
                       "target 01 firmware 3 2\ntarget 02 firmware\n", 1, 4,
                       {Row(0, MsgUnsuccessful), Done()}, {2}));
  cases.push_back(
      Ends("QueryUnanswered", {main}, "target 01 firmware silent\n", 1, 1, {Done()}, {1}));
  cases.push_back(
      Ends("MultiplicityTwo", {main}, "target 01 firmware 2\n", 2, 2, {Done("2 *  ")}, {1}));
  cases.push_back(Ends("MultiplicityZero", {main}, "target 01 firmware 0\n", 1, 1, {Done()}, {1}));
  // The rest of the ended target is skipped; the next one is programmed.
  cases.push_back(Ends("EarlyEndOfFirmware", {FirmwareTarget(1, " Main", 4), io},
                       "target 01 firmware 2\ntarget 02 firmware\nfault end block 2\n", 1, 3,
                       {Row(50, MsgUnsuccessful, "2 *  "), Done()}, {2}));
  cases.push_back(
      Ends("LastBlockAnsweredEnd", {main}, one + "fault end block 3\n", 1, 1, {Done()}, {1}));
  cases.push_back(Ends("SelectionAnsweredBusy", {main}, one + "fault busy select 1\n", 0, 1,
                       {Row(0, MsgUnsuccessful)}));
  // The device stays silent from the selection on: the closing 0xA2 goes unheard.
  cases.push_back(Ends("SelectionTimedOut", {main}, one + "fault silence select 1\n", 0, 1,
                       {Row(0, MsgUnsuccessful)}));
  cases.back().endSent = false;
  cases.push_back(Ends("ThreeBadRepliesThenGood", {main}, one + "fault reply block 2 x3 0x55\n", 1,
                       1, {Done()}, {1}));
  cases.push_back(
      Ends("BusyStorms", {main, logic},
           one + jtag + "fault busy start 1 x30\nfault busy block 2 x60\nfault busy frame 5 x40\n",
           2, 2, {Done(), Done()}, {1}));
  cases.push_back(Ends("NoiseBeforeAnswers", {main},
                       one + "fault noise wake 3 x2\nfault noise start 1 x3 0x55\n", 1, 1, {Done()},
                       {1}));
  cases.push_back(
      Ends("FiveDamagedFrames", {logic}, jtag + "fault repeat frame 3 x5\n", 1, 1, {Done()}));
  cases.push_back(Ends("FirstTargetIdZero", {main}, one, 0, 0, {Untouched()}));
  cases.back().mutate = InsertBeforeRecords("00\r\n", 1);
  // The header names a target the records never reach, as in a file cut short:
  // the read-through turns it away.
  cases.back().caughtBeforeDevice = true;
  cases.back().cliStatusLine = FormatMessageText(MsgBadRecord, kFilePathMark);
  cases.back().exitStatus = 4;

  // A failed JTAG target ends the update: the firmware target after it is not reached.
  cases.push_back(
      Fails("JtagRetriesExceeded", {XsvfTarget(5, " Logic", AssembleXsvf(IdcodeProgram(3))), io},
            "target 05 jtag demo\ntarget 02 firmware\nfault mismatch shift 1 x100\n",
            MessageText(MsgTdoMismatchRetries), {{kUnderWay, unsuccessful, ""}, Untouched()}));
  cases.push_back(Fails("JtagTdoMismatch",
                        {XsvfTarget(5, " Logic", AssembleXsvf(IdcodeProgram(0)))},
                        "target 05 jtag demo\nfault mismatch shift 1\n",
                        MessageText(MsgTdoMismatch), {{kUnderWay, unsuccessful, ""}}));
  cases.push_back(Fails("SixDamagedFrames", {logic}, jtag + "fault repeat frame 300 x6\n",
                        MessageText(MsgMultipleCrcError), {{kUnderWay, unsuccessful, ""}}));
  cases.push_back(Fails("DeviceFallsSilentDuringJtag", {logic}, jtag + "fault silence frame 300\n",
                        MessageText(MsgNotResponding), {{kUnderWay, unsuccessful, ""}}));
  cases.push_back(Malformed("FileWithoutTerminator", {main}, one, {Done()}, {1}, DropTerminator));
  cases.push_back(Malformed("EleventhRecord", TenTargets(), DeviceWithTenTargets(),
                            Rows(kMaxTargets, Done()), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                            InsertBeforeTerminator(EleventhRecord())));
  cases.push_back(Fails("TwentySilentReads", {main}, one + "fault silence block 2\n",
                        MessageText(MsgNotResponding), {Row(66, MsgUnsuccessful)}));
  cases.push_back(Fails("LineCutDuringFirmware", {main}, one + "fault disconnect block 2\n",
                        MessageText(MsgNotResponding), {Row(66, MsgUnsuccessful)}));
  cases.push_back(Fails("FourBadRepliesLastDamaged", {main},
                        one + "fault reply block 1 x3 0x55\nfault repeat block 4\n",
                        MessageText(MsgCrcError), {{33, "", ""}}));
  cases.push_back(Fails("FourBadReplies", {main}, one + "fault reply block 1 x4 0x55\n",
                        MessageText(MsgWrongAnswer), {{33, "", ""}}));
  cases.push_back(Fails("FourBadRepliesToTheStart", {main}, one + "fault noise start 1 x4 0x55\n",
                        MessageText(MsgWrongAnswer), {Untouched()}));

  cases.push_back(Cancelled("CancelBeforeDeviceAnswered", {main}, "switch-on 600000\n" + one,
                            {CancelPoint::WakeProbe, 50, 0}, MsgSwitchOn, {Untouched()}));
  // The window's status line still asks for the device; update-cli's last line
  // says what happened.
  cases.back().cliStatusLine = MessageText(MsgCancelledByUser);
  // Large enough that a transfer over a paced line takes seconds.
  cases.push_back(Cancelled("CancelDuringFirmware", {FirmwareTarget(1, " Main", 20, 998), io}, two,
                            {CancelPoint::DataWrite, 2, 0}, MsgCancelledByUser,
                            {Row(10, MsgCancelled), Row(0, MsgCancelled)}));
  // The three firmware blocks, then 40 frames of the program.
  cases.push_back(Cancelled("CancelDuringJtag", {main, logic}, one + jtag,
                            {CancelPoint::DataWrite, 43, 1}, MsgCancelledByUser,
                            {Done(), {kUnderWay, cancelled, ""}}, {1}));
  return cases;
}

}  // namespace

const std::vector<UpdateCase>& UpdateCases() {
  static const std::vector<UpdateCase> cases = MakeCases();
  return cases;
}

void PrintTo(const UpdateCase& updateCase, std::ostream* out) {
  *out << updateCase.name;
}

Bytes UpdateFileBytes(const UpdateCase& updateCase) {
  Bytes file = BuildFile(updateCase.format, updateCase.targets);
  if (updateCase.mutate) updateCase.mutate(file);
  return file;
}

std::string ExpectedStatusLine(const UpdateCase& updateCase, const std::string& path) {
  std::string line = updateCase.statusLine;
  const size_t mark = line.find(kFilePathMark);
  if (mark != std::string::npos) line.replace(mark, std::string(kFilePathMark).size(), path);
  return line;
}

const Bytes& TargetData(const UpdateCase& updateCase, uint8_t id) {
  for (const UpdateTarget& target : updateCase.targets) {
    if (target.id == id) return target.data;
  }
  throw std::logic_error("the case has no target " + std::to_string(id));
}

bool PercentMatches(int expected, int actual) {
  if (expected == kUnderWay) return actual >= 0 && actual < 100;
  return actual == expected;
}

std::vector<std::string> RowDifferences(const std::vector<ExpectedRow>& expected,
                                        const std::vector<ExpectedRow>& seen) {
  std::vector<std::string> differences;
  if (expected.size() != seen.size()) {
    differences.push_back(std::to_string(seen.size()) + " rows, expected " +
                          std::to_string(expected.size()));
    return differences;
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string row = "row " + std::to_string(i + 1) + ": ";
    if (!PercentMatches(expected[i].percent, seen[i].percent)) {
      differences.push_back(
          row + "percent " + std::to_string(seen[i].percent) + ", expected " +
          (expected[i].percent == kUnderWay ? "0 to 99" : std::to_string(expected[i].percent)));
    }
    if (seen[i].status != expected[i].status) {
      differences.push_back(row + "status '" + seen[i].status + "', expected '" +
                            expected[i].status + "'");
    }
    if (seen[i].mark != expected[i].mark) {
      differences.push_back(row + "mark '" + seen[i].mark + "', expected '" + expected[i].mark +
                            "'");
    }
  }
  return differences;
}

Bytes FirmwareImage(size_t size, uint8_t seed) {
  Bytes image(size);
  uint32_t value = 0x2545F491u * (seed + 1u);
  for (uint8_t& byte : image) {
    value = value * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(value >> 24);
  }
  return image;
}

UpdateTarget FirmwareTarget(uint8_t id, const std::string& name, size_t blocks, size_t payload) {
  UpdateTarget target;
  target.id = id;
  target.name = name;
  target.data = FirmwareBlocks(FirmwareImage(blocks * payload, id), payload);
  return target;
}

UpdateTarget RunLengthFirmwareTarget(uint8_t id, const std::string& name) {
  Bytes image(700, 0xFF);
  const Bytes code = FirmwareImage(300, id);
  image.insert(image.end(), code.begin(), code.end());
  image.insert(image.end(), 500, 0x00);
  UpdateTarget target;
  target.id = id;
  target.name = name;
  target.runLengthCoded = true;
  target.data = FirmwareBlocks(image);
  return target;
}

Bytes AssembleXsvf(const std::string& text) {
  Bytes program;
  std::string error;
  if (!AssembleXsvfText(text, &program, &error)) throw std::logic_error("XSVF text: " + error);
  return program;
}

Bytes DemoChipProgram() {
  static const Bytes program = [] {
    const Bytes text = ReadWholeFile(UPD_SOURCE_DIR "/samples/demo_chip_program.xsvf.txt");
    return AssembleXsvf(std::string(text.begin(), text.end()));
  }();
  return program;
}

UpdateTarget XsvfTarget(uint8_t id, const std::string& name, const Bytes& program) {
  UpdateTarget target;
  target.id = id;
  target.name = name;
  target.kind = KindXsvf;
  target.data = program;
  return target;
}

UpdateTarget OtherKindTarget(uint8_t id, const std::string& name, uint16_t kind) {
  UpdateTarget target;
  target.id = id;
  target.name = name;
  target.kind = kind;
  target.data = FirmwareImage(24, id);
  return target;
}

Bytes BuildFile(const std::string& format, const std::vector<UpdateTarget>& targets,
                Trailer trailer) {
  Bytes file;
  std::string reason;
  if (!BuildUpdateFile(format, targets, &file, &reason, trailer)) {
    throw std::logic_error("cannot build the update file: " + reason);
  }
  return file;
}

Bytes ReadWholeFile(const std::string& path) {
  Bytes bytes;
  if (!ReadFileBytes(path, &bytes)) throw std::runtime_error("cannot read " + path);
  return bytes;
}
