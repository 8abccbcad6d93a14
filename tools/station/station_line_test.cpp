// update-cli's production line run by a front end of its own, as update-station
// runs it: a paused port withdraws the update that waits for its device, and
// Stop ends ports that wait (for their port, or for a device to answer) without
// counting a device or failing the run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "engine/file_bytes.h"
#include "engine/messages.h"
#include "testsupport/update_cases.h"
#include "tools/cli/update_command.h"

namespace {

// A port with no device that answers: the wake-up probes go out, nothing comes back.
class SilentLine : public SerialChannel {
 public:
  bool SetTimeouts(uint32_t) override { return true; }
  bool Write(const uint8_t*, uint32_t) override { return true; }
  bool Read(uint8_t*, uint32_t) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return false;
  }
};

// Pauses the first port at once, stops the line once asked, and keeps what the
// run told its view.
class TestFrontEnd : public LineFrontEnd, public ProgressView {
 public:
  std::unique_ptr<ProgressView> MakeView(const FileSummary&) override {
    return std::unique_ptr<ProgressView>(new Forward(*this));
  }
  bool Paused(size_t port) const override { return port == 0 && pauseFirst; }
  bool LineStopped() const override { return stop.load(); }

  void Show(const std::vector<PortDisplay>& now) override {
    shows += now.empty() ? 0 : 1;
    if (shows > 5) stop = true;  // a second of the line, then Stop
  }
  void Message(const std::string&, const std::string&) override {}
  void Comment(const std::string&, const std::string&) override {}
  void DeviceEnded(const PortDisplay&, const DeviceResult&) override { ++devices; }
  void Finish(const RunSummary& done) override { summary = done; }

  bool pauseFirst = false;
  std::atomic<bool> stop{false};
  int shows = 0;
  int devices = 0;
  RunSummary summary;

 private:
  // The run owns its view; this one passes everything on to the front end.
  struct Forward : ProgressView {
    explicit Forward(TestFrontEnd& to) : to(to) {}
    void Show(const std::vector<PortDisplay>& now) override { to.Show(now); }
    void Message(const std::string& p, const std::string& t) override { to.Message(p, t); }
    void Comment(const std::string& p, const std::string& t) override { to.Comment(p, t); }
    void DeviceEnded(const PortDisplay& l, const DeviceResult& r) override { to.DeviceEnded(l, r); }
    void Finish(const RunSummary& s) override { to.Finish(s); }
    TestFrontEnd& to;
  };
};

CliOptions LineOf(const std::string& file, LineOpener openLine) {
  CliOptions options;
  options.mode = CliMode::Update;
  options.file = file;
  options.ports = {"/dev/bench-a", "/dev/bench-b"};
  options.repeat = true;
  options.openLine = std::move(openLine);
  return options;
}

std::string UpdateFile() {
  const std::string file =
      (std::filesystem::path(::testing::TempDir()) / "station_line.upd").string();
  EXPECT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 3)})));
  return file;
}

int RunLine(const CliOptions& options, TestFrontEnd& frontEnd) {
  std::FILE* sink = std::tmpfile();
  const int status = RunUpdateLine(options, frontEnd, sink, sink);
  std::fclose(sink);
  return status;
}

TEST(StationLine, StopEndsPortsThatWaitWithoutCountingADevice) {
  // Both ports' devices are not there yet, then one is there but never answers,
  // and the first port is paused all along: its wait for a device is withdrawn.
  for (const bool present : {false, true}) {
    TestFrontEnd frontEnd;
    frontEnd.pauseFirst = present;
    const LineOpener openLine = [present](const std::string&, PortOpenFailure*) {
      return present ? std::unique_ptr<SerialChannel>(new SilentLine) : nullptr;
    };
    EXPECT_EQ(RunLine(LineOf(UpdateFile(), openLine), frontEnd), 0) << present;
    EXPECT_EQ(frontEnd.devices, 0);
    EXPECT_EQ(frontEnd.summary.lastLine, FormatMessageText(MsgDevicesResult, 0, 0));
    ASSERT_EQ(frontEnd.summary.ports.size(), 2u);
    for (const DeviceResult& port : frontEnd.summary.ports) {
      EXPECT_EQ(port.statusLine, MessageText(MsgStoppedWaiting)) << port.port;
      EXPECT_EQ(port.exitStatus, 0);
    }
  }
}

}  // namespace
