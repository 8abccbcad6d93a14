#include "tools/soak/soak_run.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <memory>
#include <utility>
#include <sstream>
#include <thread>

#include "sim/boot_loader_sim.h"
#include "sim/scenario.h"
#include "testsupport/child_process.h"
#include "testsupport/json_lines.h"
#include "testsupport/sim_port.h"
#include "tools/cli/update_cli.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long devsim may take to name its terminal, and to end once the updater has
// closed the line.
constexpr auto kDeviceStartLimit = std::chrono::seconds(10);
constexpr auto kDeviceExitLimit = std::chrono::seconds(5);

// The port name update-cli is given for a device in this process.
const char kSimulatedPort[] = "simulated-device";

// Ends the process when an update has not ended in time: its worker thread cannot
// be stopped, and the next update would meet it. A device process (pid above 0)
// is killed first.
class Watchdog {
 public:
  Watchdog(uint32_t seconds, std::string context, pid_t device)
      : thread([this, seconds, context = std::move(context), device] {
          std::unique_lock<std::mutex> hold(lock);
          if (disarmed.wait_for(hold, std::chrono::seconds(seconds), [this] { return done; })) {
            return;
          }
          std::printf("FAILED %s: the update did not end within %u s\n", context.c_str(), seconds);
          std::fflush(stdout);
          if (device > 0) kill(device, SIGKILL);
          std::_Exit(2);
        }) {}

  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(lock);
      done = true;
    }
    disarmed.notify_one();
    thread.join();
  }

 private:
  std::mutex lock;
  std::condition_variable disarmed;
  bool done = false;
  std::thread thread;
};

// Every open descriptor of this process with what it refers to.
std::set<std::string> OpenDescriptors() {
  std::set<std::string> open;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return open;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || std::atoi(name.c_str()) == dirfd(dir)) continue;
    char target[4096];
    const ssize_t length =
        readlink(("/proc/self/fd/" + name).c_str(), target, sizeof target - 1);
    open.insert(name + " -> " + std::string(target, length > 0 ? static_cast<size_t>(length) : 0));
  }
  closedir(dir);
  return open;
}

std::string ReadWhole(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) text.append(buffer, n);
  return text;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReportPath(const SoakSettings& settings) {
  return settings.workDir + "/devsim-report.txt";
}

std::vector<std::string> DeviceArguments(const SoakSettings& settings, const SoakFile& file,
                                         const SoakFault& fault) {
  std::vector<std::string> arguments = {"--no-waits", "--updates", "1",
                                        "--switch-on", std::to_string(settings.switchOnMs),
                                        "--report", ReportPath(settings)};
  for (const std::string& target : file.deviceTargets) {
    arguments.insert(arguments.end(), {"--target", target});
  }
  if (!fault.deviceFault.empty()) arguments.insert(arguments.end(), {"--fault", fault.deviceFault});
  return arguments;
}

// Runs update-cli's update in this process; returns its exit status and output.
int RunUpdateCommandHere(const SoakSettings& settings, const SoakFile& file,
                         const std::string& port, const std::string& context, pid_t device,
                         LineOpener openLine, std::string* output) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = -1;
  if (out != nullptr && err != nullptr) {
    Watchdog watchdog(settings.timeoutSeconds, context, device);
    status = RunUpdateCli({"--port", port, "--file", file.path, "--json"}, out, err,
                          std::move(openLine));
    *output = ReadWhole(out);
  }
  if (out != nullptr) std::fclose(out);
  if (err != nullptr) std::fclose(err);
  return status;
}

std::string Quoted(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "\"" : " or \"") + text + "\"";
  return joined;
}

// What differs from the expectation; empty when nothing does.
std::string CompareWithExpectation(const UpdateOutcome& outcome, const Expectation& expected) {
  const auto& lines = expected.statusLines;
  if (outcome.exitStatus == expected.exitStatus &&
      std::find(lines.begin(), lines.end(), outcome.statusLine) != lines.end()) {
    return "";
  }
  return "expected exit " + std::to_string(expected.exitStatus) + " with " + Quoted(lines) +
         ", got exit " + std::to_string(outcome.exitStatus) + " with \"" + outcome.statusLine +
         "\"";
}

}  // namespace

bool ResultStatus(const std::string& jsonLines, std::string* status) {
  std::istringstream lines(jsonLines);
  std::string line;
  bool found = false;
  while (std::getline(lines, line)) {
    const JsonDocument object = JsonDocument::parse(line, nullptr, false);
    if (!object.is_object() || object.value("event", "") != "result") continue;
    *status = object.value("status", "");
    found = true;
  }
  return found;
}

namespace {

// Runs the update, measures it and checks what it must leave behind: its result
// line, and no descriptor left open.
void RunAndCheck(const SoakSettings& settings, const SoakFile& file, const std::string& port,
                 const std::string& context, pid_t device, LineOpener openLine,
                 UpdateOutcome* outcome) {
  const std::set<std::string> openBefore = OpenDescriptors();
  const auto start = Clock::now();
  std::string output;
  outcome->exitStatus =
      RunUpdateCommandHere(settings, file, port, context, device, std::move(openLine), &output);
  outcome->seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!ResultStatus(output, &outcome->statusLine)) outcome->problem = "no result line";

  std::set<std::string> leaked;
  const std::set<std::string> openAfter = OpenDescriptors();
  std::set_difference(openAfter.begin(), openAfter.end(), openBefore.begin(), openBefore.end(),
                      std::inserter(leaked, leaked.end()));
  if (!leaked.empty()) outcome->problem = "left open: " + *leaked.begin();
}

UpdateOutcome RunOverPseudoTerminal(const SoakSettings& settings, const SoakFile& file,
                                    const SoakFault& fault, const std::string& context) {
  UpdateOutcome outcome;
  const std::string report = ReportPath(settings);
  std::remove(report.c_str());
  ChildProcess device;
  if (!device.Start(settings.devsim, DeviceArguments(settings, file, fault))) {
    outcome.problem = "cannot start " + settings.devsim;
    return outcome;
  }
  const std::optional<std::string> terminal = device.NextLine(kDeviceStartLimit);
  if (!terminal) {
    outcome.problem = "devsim named no terminal: " + device.Errors();
    return outcome;
  }
  RunAndCheck(settings, file, *terminal, context, device.Pid(), nullptr, &outcome);
  // The device ends once the updater has let go of the line.
  if (!device.Wait(kDeviceExitLimit)) {
    outcome.problem = "the device still had a connection after the update: the port was not closed";
  }
  outcome.deviceReport = ReadFileText(report);
  return outcome;
}

// The device as devsim would be set up for the update, with waits answered at once.
std::shared_ptr<BootLoaderSim> SimulatedDevice(const SoakSettings& settings, const SoakFile& file,
                                               const SoakFault& fault, std::string* error) {
  DeviceConfig config;
  config.switchOnDelayMs = settings.switchOnMs;
  config.honourWaits = false;
  for (const std::string& target : file.deviceTargets) {
    if (!ApplyTargetOption(target, config, error)) return nullptr;
  }
  if (!fault.deviceFault.empty() && !ApplyFaultOption(fault.deviceFault, config, error)) {
    return nullptr;
  }
  return std::make_shared<BootLoaderSim>(config);
}

UpdateOutcome RunInProcess(const SoakSettings& settings, const SoakFile& file,
                           const SoakFault& fault, const std::string& context) {
  UpdateOutcome outcome;
  std::string error;
  std::shared_ptr<BootLoaderSim> device = SimulatedDevice(settings, file, fault, &error);
  if (!device) {
    outcome.problem = "cannot set up the device: " + error;
    return outcome;
  }
  // Only the open port holds the device besides this function: update-cli may keep
  // its settings, and the opener with them, for longer.
  const std::weak_ptr<BootLoaderSim> held = device;
  LineOpener openLine = [held](const std::string&, PortOpenFailure*) {
    return std::make_unique<SimPort>(held.lock());
  };
  RunAndCheck(settings, file, kSimulatedPort, context, 0, std::move(openLine), &outcome);
  if (device.use_count() > 1) {
    outcome.problem = "the port was not closed after the update";
  }
  std::ostringstream report;
  device->WriteReport(report);
  outcome.deviceReport = report.str();
  return outcome;
}

}  // namespace

UpdateOutcome RunSoakUpdate(const SoakSettings& settings, const SoakFile& file,
                            const SoakFault& fault, const std::string& context) {
  UpdateOutcome outcome = settings.realTime ? RunOverPseudoTerminal(settings, file, fault, context)
                                            : RunInProcess(settings, file, fault, context);
  if (outcome.problem.empty()) outcome.problem = CompareWithExpectation(outcome, fault.expected);
  outcome.asExpected = outcome.problem.empty();
  return outcome;
}
