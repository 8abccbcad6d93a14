// e2e_bench: the updater end to end, update-cli against devsim on pseudo-terminals,
// measured against what the serial line allows. Prints one table (Markdown) with
// each figure, what it is compared with, the ratio and the target.
//
//   the test rig's own share of a round trip: a pseudo-terminal's round trip
//   firmware / JTAG at an unlimited line: the host's own time and CPU cost
//   firmware / JTAG at 57600 baud with 0, 1 and 16 ms reply latency: measured time
//     against the protocol's lower bound for the same traffic
//   the real JTAG programs (testdata/xsvf) at 57600 baud with 1 and 16 ms latency,
//     TAP steps batched and one step per frame side by side: time against the
//     bound (waits included), round trips, bytes each way, CPU
//   peak resident memory while updating from a large update file
//   several updates at once against one alone, as separate programs and as the
//     ports of one update-cli
//
// Micro-benchmark results (micro_bench's CSV output) are added to the table when
// given. Generated files go into the work folder.

#include <malloc.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/bench_inputs.h"
#include "bench/bench_options.h"
#include "bench/line_bound.h"
#include "bench/measured_child.h"
#include "bench/pty_round_trip.h"
#include "bench/result_table.h"
#include "engine/update_writer.h"
#include "xsvf/file_bytes.h"
#include "xsvf/xsvf_program.h"

namespace {

constexpr uint32_t kBaud = 57600;
const uint32_t kLatenciesMs[] = {0, 1, 16};
constexpr uint32_t kWorstLatencyMs = 16;
constexpr uint32_t kBestLatencyMs = 1;

// Targets, as fractions.
constexpr double kFirmwareBoundTarget = 1.02;
constexpr double kJtagBoundTarget = 1.05;
constexpr double kCpuShareTarget = 0.01;
constexpr double kMemoryTargetMiB = 16;
constexpr double kParallelTarget = 1.05;
constexpr double kManyPortsTarget = 1.02;
constexpr double kCpldSpeedUpTarget = 1.7;  // batched against one step per frame, 16 ms
constexpr double kNoSlowerTarget = 1.0;

// Bounds for a hung run, not timings.
constexpr std::chrono::seconds kRunLimit{1800};
constexpr std::chrono::seconds kDeviceStartLimit{10};
constexpr std::chrono::seconds kDeviceExitLimit{10};

// Round trips for the test rig's own figure.
constexpr int kRigRoundTrips = 300;

constexpr size_t kKiB = 1024;
constexpr size_t kMiB = 1024 * kKiB;

struct Sizes {
  size_t fullFirmware = 1 * kMiB;
  size_t pacedFirmware = 64 * kKiB;
  size_t fullProgram = 100000;  // commands
  size_t pacedProgram = 4000;
  size_t memoryFile = 100 * kMiB;
  size_t parallel = 8;
  size_t ports = 16;
};

// A quick pass through every run, for trying the benchmark out.
Sizes QuickSizes() {
  Sizes sizes;
  sizes.fullFirmware = 64 * kKiB;
  sizes.pacedFirmware = 8 * kKiB;
  sizes.fullProgram = 2000;
  sizes.pacedProgram = 200;
  sizes.memoryFile = 8 * kMiB;
  sizes.parallel = 4;
  sizes.ports = 4;
  return sizes;
}

struct Options : upd::BenchOptions {
  std::string microCsv;
  Sizes sizes;
};

// One update: the file and the device that takes it.
struct Job {
  std::string size;  // "64 KiB", "3,994 commands"
  std::string name;
  std::string file;
  std::string deviceTarget;  // devsim --target
  bool honourWaits = false;  // the device takes the JTAG program's waits
  std::vector<std::string> hostOptions;  // update-cli's besides --port and --file
};

// The real programs the corpus section plays, and the largest figures.
const char* const kCorpusPrograms[] = {"cpld64_program", "cpld36_program", "fpga_config"};
const uint32_t kCorpusLatenciesMs[] = {16, 1};

// The line devsim simulates; baud 0 passes bytes on at once.
struct Line {
  uint32_t baud = 0;
  uint32_t latencyMs = 0;
};

struct Run {
  ChildUsage host;
  LineTraffic traffic;
  std::string log;  // update-cli's output, for a run that failed
  bool Succeeded() const { return host.ended && host.exitStatus == 0; }
};

// One update-cli updating a device on each of several ports.
struct PortsRun {
  ChildUsage host;
  std::vector<LineTraffic> traffic;  // per port
  std::vector<double> seconds;       // per device update, from update-cli's --log
  std::string log;
  bool Succeeded() const { return host.ended && host.exitStatus == 0; }
};

class Bench {
 public:
  explicit Bench(Options options) : options(std::move(options)) {}

  bool Prepare();
  void RunAll();
  void Print() const;

 private:
  std::string Path(const std::string& name) const { return options.workDir + "/" + name; }
  std::string FreshFolder(const std::string& name) const;
  bool Pack(const std::string& file, const std::vector<std::string>& target,
            const std::string& input, const std::vector<uint8_t>& bytes);
  bool PrepareFirmware(Job* job, const std::string& name, size_t size);
  bool PrepareProgram(Job* job, const std::string& name, size_t commands);

  std::vector<std::string> StartDevices(const std::vector<const Job*>& jobs, const Line& line,
                                       std::vector<StartedChild>* devices);
  std::vector<Run> RunUpdates(const std::vector<const Job*>& jobs, const Line& line);
  std::vector<Run> RunUpdates(const Job& job, const Line& line, size_t count) {
    return RunUpdates(std::vector<const Job*>(count, &job), line);
  }
  PortsRun RunPorts(const Job& job, const Line& line, size_t count);
  Run RunUpdate(const Job& job, const Line& line) { return RunUpdates(job, line, 1).front(); }

  Run Unlimited(const std::string& title, const Job& job);
  std::vector<double> Paced(const std::string& title, const Job& job, double target);
  void Estimate(const std::string& title, const Run& full, const std::vector<double>& ratios);
  void Memory(const Job& large, const Job& small);
  void AddCpuPerRoundTrip(const std::string& figure, const Run& run);
  void Parallel(const std::string& title, const Job& job, size_t count);
  void ManyPorts(const std::string& title, const Job& job);
  void Rig();
  bool PrepareCorpus();
  void Corpus();

  Options options;
  Job fullFirmware, pacedFirmware, fullProgram, pacedProgram, memoryFirmware;
  // Per real program: one step per frame, then batched.
  std::vector<std::pair<Job, Job>> corpus;
  ResultTable table;
  size_t runCount = 0;
  // What waiting for one reply costs any host in CPU here (the rig's floor), µs.
  double waitingCpuFloorUs = -1;
};

std::string Size(size_t bytes) {
  return bytes >= kMiB ? std::to_string(bytes / kMiB) + " MiB"
                       : std::to_string(bytes / kKiB) + " KiB";
}

std::string Commands(size_t count) { return FormatCount(count) + " commands"; }

std::string Microseconds(double seconds) { return FormatNumber(seconds * 1e6, 0) + " µs"; }

std::string LineName(const Line& line) {
  if (line.baud == 0) return "unlimited line";
  return std::to_string(line.baud) + " baud, " + std::to_string(line.latencyMs) + " ms latency";
}

std::string Failure(const Run& run) {
  if (!run.host.ended) return "FAILED: did not end";
  return "FAILED: exit " + std::to_string(run.host.exitStatus) + " (" + run.log + ")";
}

bool Bench::Pack(const std::string& file, const std::vector<std::string>& target,
                 const std::string& input, const std::vector<uint8_t>& bytes) {
  if (!WriteFileBytes(input, bytes)) {
    std::cerr << "e2e_bench: cannot write " << input << "\n";
    return false;
  }
  std::vector<std::string> arguments{"-o", file};
  arguments.insert(arguments.end(), target.begin(), target.end());
  arguments.push_back(input);
  const std::string log = Path("mkupd.log");
  const StartedChild child = StartMeasuredChild(UPD_MKUPD_PATH, arguments, options.workDir, log);
  const ChildUsage usage = WaitForChildren({child}, kRunLimit).front();
  if (usage.ended && usage.exitStatus == 0) return true;
  std::cerr << "e2e_bench: mkupd failed for " << file << "; see " << log << "\n";
  return false;
}

bool Bench::PrepareFirmware(Job* job, const std::string& name, size_t size) {
  job->size = Size(size);
  job->name = "Firmware " + job->size;
  job->file = Path(name + ".upd");
  job->deviceTarget = "01:firmware";
  return Pack(job->file, {"--firmware", "01", "Firmware"}, Path(name + ".bin"),
              MakeFirmwareImage(size));
}

bool Bench::PrepareProgram(Job* job, const std::string& name, size_t commands) {
  const std::vector<uint8_t> program = BenchmarkProgram(commands);
  XsvfProgram parsed;
  std::string error;
  ParseXsvfProgram(program.data(), program.size(), &parsed, &error);
  const std::string programPath = Path(name + ".xsvf");
  job->size = Commands(parsed.commands.size());
  job->name = "JTAG program of " + job->size;
  job->file = Path(name + ".upd");
  job->deviceTarget = "05:jtag:script:" + programPath;
  return Pack(job->file, {"--xsvf", "05", "Logic"}, programPath, program);
}

bool Bench::Prepare() {
  std::error_code error;
  std::filesystem::create_directories(options.workDir, error);
  options.workDir = std::filesystem::absolute(options.workDir).string();
  const Sizes& sizes = options.sizes;
  std::cerr << "e2e_bench: writing the update files into " << options.workDir << "\n";
  const bool prepared = PrepareFirmware(&fullFirmware, "firmware-full", sizes.fullFirmware) &&
                        PrepareFirmware(&pacedFirmware, "firmware-paced", sizes.pacedFirmware) &&
                        PrepareFirmware(&memoryFirmware, "firmware-memory", sizes.memoryFile) &&
                        PrepareProgram(&fullProgram, "program-full", sizes.fullProgram) &&
                        PrepareProgram(&pacedProgram, "program-paced", sizes.pacedProgram);
  // Hand the generated data's memory back, so that the updates started from here
  // start small (see measured_child.h).
  malloc_trim(0);
  return prepared && PrepareCorpus();
}

// An update file for each real program, played by a chip scripted from it that
// takes the program's waits; each twice, one step per frame and batched.
bool Bench::PrepareCorpus() {
  if (!options.Runs("corpus")) return true;
  for (const char* name : kCorpusPrograms) {
    const std::string program = std::string(UPD_SOURCE_DIR) + "/testdata/xsvf/" + name + ".xsvf";
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(program, &bytes)) {
      std::cerr << "e2e_bench: cannot read " << program << "\n";
      return false;
    }
    Job oneStep;
    oneStep.size = FormatCount(bytes.size()) + " bytes";
    oneStep.name = std::string(name) + ", one step per frame";
    oneStep.file = Path(std::string(name) + ".upd");
    oneStep.deviceTarget = "05:jtag:script:" + program;
    oneStep.honourWaits = true;
    oneStep.hostOptions = {"--one-step-frames"};
    Job batched = oneStep;
    batched.name = std::string(name) + ", batched";
    batched.hostOptions.clear();
    if (!Pack(oneStep.file, {"--xsvf", "05", "Logic"}, Path(std::string(name) + ".xsvf"), bytes)) {
      return false;
    }
    corpus.emplace_back(oneStep, batched);
  }
  return true;
}

// An empty folder for one run: what an earlier run left there (a device's link to
// its terminal, an appended log) would be taken for this run's.
std::string Bench::FreshFolder(const std::string& name) const {
  const std::string folder = Path(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Waits until devsim has put its link to the terminal in place.
bool WaitForLink(const std::string& link) {
  const auto deadline = std::chrono::steady_clock::now() + kDeviceStartLimit;
  std::error_code error;
  while (!std::filesystem::exists(link, error)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Starts a devsim for each of `count` devices, each in a folder of its own where
// it keeps a link to its terminal (folder/tty). Returns the folders.
std::vector<std::string> Bench::StartDevices(const std::vector<const Job*>& jobs, const Line& line,
                                             std::vector<StartedChild>* devices) {
  std::vector<std::string> folders;
  for (const Job* job : jobs) {
    folders.push_back(FreshFolder("run" + std::to_string(++runCount)));
    const std::string& folder = folders.back();
    std::vector<std::string> arguments{"--target",
                                       job->deviceTarget,
                                       "--updates",
                                       "1",
                                       "--link",
                                       folder + "/tty",
                                       "--report",
                                       folder + "/devsim-report.txt"};
    if (!job->honourWaits) arguments.push_back("--no-waits");
    if (line.baud != 0) {
      arguments.insert(arguments.end(), {"--baud", std::to_string(line.baud), "--latency",
                                         std::to_string(line.latencyMs)});
    }
    devices->push_back(
        StartMeasuredChild(UPD_DEVSIM_PATH, arguments, folder, folder + "/devsim.log"));
    if (!WaitForLink(folder + "/tty"))
      std::cerr << "e2e_bench: devsim did not start in " << folder << "\n";
  }
  return folders;
}

LineTraffic TrafficIn(const std::string& folder) {
  std::ifstream report(folder + "/devsim-report.txt");
  std::stringstream text;
  text << report.rdbuf();
  return TrafficOf(ParseReport(text.str()));
}

std::vector<Run> Bench::RunUpdates(const std::vector<const Job*>& jobs, const Line& line) {
  const size_t count = jobs.size();
  std::cerr << "e2e_bench: " << jobs.front()->name << ", " << LineName(line)
            << (count > 1 ? ", " + std::to_string(count) + " at once" : "") << "\n";
  // Each update has a folder of its own: the player writes its debug log into the
  // working directory, and devsim keeps a link to its terminal there.
  std::vector<StartedChild> devices;
  const std::vector<std::string> folders = StartDevices(jobs, line, &devices);
  std::vector<StartedChild> hosts;
  for (size_t i = 0; i < count; ++i) {
    std::vector<std::string> arguments{"--port", folders[i] + "/tty", "--file", jobs[i]->file};
    arguments.insert(arguments.end(), jobs[i]->hostOptions.begin(), jobs[i]->hostOptions.end());
    hosts.push_back(StartMeasuredChild(UPD_UPDATE_CLI_PATH, arguments, folders[i],
                                       folders[i] + "/update-cli.log"));
  }
  const std::vector<ChildUsage> usages = WaitForChildren(hosts, kRunLimit);
  // devsim ends once update-cli has closed the line.
  WaitForChildren(devices, kDeviceExitLimit);
  std::vector<Run> runs(count);
  for (size_t i = 0; i < count; ++i) {
    runs[i].host = usages[i];
    runs[i].log = folders[i] + "/update-cli.log";
    runs[i].traffic = TrafficIn(folders[i]);
  }
  return runs;
}

// The "seconds" of every end entry of update-cli's --log.
std::vector<double> LoggedSeconds(const std::string& log) {
  std::vector<double> seconds;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_object() && entry.contains("seconds") && entry["seconds"].is_number()) {
      seconds.push_back(entry["seconds"].get<double>());
    }
  }
  return seconds;
}

PortsRun Bench::RunPorts(const Job& job, const Line& line, size_t count) {
  std::cerr << "e2e_bench: " << job.name << ", " << LineName(line) << ", " << count
            << " ports of one update-cli\n";
  std::vector<StartedChild> devices;
  const std::vector<std::string> folders =
      StartDevices(std::vector<const Job*>(count, &job), line, &devices);
  const std::string folder = FreshFolder("ports" + std::to_string(++runCount));
  std::vector<std::string> arguments{"--file", job.file, "--log", folder + "/updates.log"};
  for (const std::string& device : folders) arguments.insert(arguments.end(), {"-p", device + "/tty"});
  const StartedChild host =
      StartMeasuredChild(UPD_UPDATE_CLI_PATH, arguments, folder, folder + "/update-cli.log");
  PortsRun run;
  run.host = WaitForChildren({host}, kRunLimit).front();
  WaitForChildren(devices, kDeviceExitLimit);
  run.log = folder + "/update-cli.log";
  run.seconds = LoggedSeconds(folder + "/updates.log");
  for (const std::string& device : folders) run.traffic.push_back(TrafficIn(device));
  return run;
}

// The host's own cost, at a line that passes bytes on at once.
Run Bench::Unlimited(const std::string& title, const Job& job) {
  const Run run = RunUpdate(job, Line{});
  const std::string figure = job.name + ", " + LineName(Line{});
  if (!run.Succeeded()) {
    table.Add({figure, Failure(run)});
    return run;
  }
  const double lineSeconds = LowerBoundSeconds(run.traffic, kBaud, 0);
  table.Add({figure + ": time", Seconds(run.host.wallSeconds),
             FormatCount(run.traffic.roundTrips) + " round trips, " +
                 Microseconds(run.host.wallSeconds / run.traffic.roundTrips) + " each"});
  table.AddShare(title + ", " + LineName(Line{}) + ": host CPU", run.host.cpuSeconds, lineSeconds,
                 "line time at " + std::to_string(kBaud) + " baud", kCpuShareTarget);
  return run;
}

// Measured time against the lower bound at each latency; returns the ratios.
std::vector<double> Bench::Paced(const std::string& title, const Job& job, double target) {
  std::vector<double> ratios;
  for (uint32_t latencyMs : kLatenciesMs) {
    const Line line{kBaud, latencyMs};
    const Run run = RunUpdate(job, line);
    const std::string figure = job.name + ", " + LineName(line);
    if (!run.Succeeded()) {
      table.Add({figure, Failure(run)});
      ratios.push_back(NAN);
      continue;
    }
    const double bound = LowerBoundSeconds(run.traffic, line.baud, line.latencyMs);
    ratios.push_back(run.host.wallSeconds / bound);
    // What the run took beyond the bound: starting and ending the program, and per
    // round trip the host's and the test rig's turnaround.
    const double lost = run.host.wallSeconds - bound;
    table.AddRatio(figure + ": time", run.host.wallSeconds, bound,
                   "bound; " + FormatCount(run.traffic.roundTrips) + " round trips; " +
                       FormatNumber(lost * 1000, 0) + " ms more, " +
                       Microseconds(lost / run.traffic.roundTrips) + " per round trip",
                   target);
    if (latencyMs == 0) {
      table.AddShare(title + ", " + LineName(line) + ": host CPU", run.host.cpuSeconds, bound,
                     "line time", kCpuShareTarget);
      AddCpuPerRoundTrip(title + ", " + LineName(line), run);
    }
  }
  return ratios;
}

// The host's CPU per round trip against the floor that waiting for a reply costs
// any program on this machine: how much of the CPU share above is the updater's
// own work.
void Bench::AddCpuPerRoundTrip(const std::string& figure, const Run& run) {
  const double perRoundTripUs = run.host.cpuSeconds * 1e6 / run.traffic.roundTrips;
  ResultRow row(figure + ": host CPU per round trip", FormatNumber(perRoundTripUs, 1) + " µs");
  if (waitingCpuFloorUs > 0) {
    row.reference = FormatNumber(waitingCpuFloorUs, 1) +
                    " µs (the rig's floor: a byte out, a read that sleeps until the answer)";
    row.ratio = FormatNumber(perRoundTripUs / waitingCpuFloorUs, 2);
  }
  table.Add(row);
}

// The full program's time on a real line: its lower bound there, times the ratio
// that the paced program showed at the same latency.
void Bench::Estimate(const std::string& title, const Run& run, const std::vector<double>& ratios) {
  if (!run.Succeeded()) return;  // already reported as the unlimited run's failure
  for (size_t i = 0; i < std::size(kLatenciesMs); ++i) {
    const uint32_t latencyMs = kLatenciesMs[i];
    if (latencyMs != kWorstLatencyMs && latencyMs != kBestLatencyMs) continue;
    const double bound = LowerBoundSeconds(run.traffic, kBaud, latencyMs);
    table.Add(
        {title + " at " + LineName(Line{kBaud, latencyMs}) + ": estimated time",
         Duration(bound * ratios[i]),
         "bound " + Duration(bound) + ", " + FormatCount(run.traffic.roundTrips) + " round trips",
         FormatNumber(ratios[i], 3)});
  }
}

// Peak resident memory for a large file, against the same for a small one: a
// reader that streams needs no more for the large one.
void Bench::Memory(const Job& large, const Job& small) {
  const Run smallRun = RunUpdate(small, Line{});
  const Run run = RunUpdate(large, Line{});
  const std::string figure = "Peak resident memory, " + large.name + ", " + LineName(Line{});
  if (!run.Succeeded() || !smallRun.Succeeded()) {
    table.Add({figure, Failure(run.Succeeded() ? smallRun : run)});
    return;
  }
  table.AddLimit(figure, run.host.maxRssKb / 1024.0, kMemoryTargetMiB, "MiB",
                 FormatNumber(smallRun.host.maxRssKb / 1024.0, 1) + " MiB for " + small.name);
}

void Bench::Parallel(const std::string& title, const Job& job, size_t count) {
  const Line line{kBaud, 0};
  const Run alone = RunUpdate(job, line);
  const std::vector<Run> together = RunUpdates(job, line, count);
  const std::string figure = std::to_string(together.size()) + " updates at once (" + title + ", " +
                             LineName(line) + "): slowest against one alone";
  double slowest = 0;
  for (const Run& run : together) {
    if (!run.Succeeded()) {
      table.Add({figure, Failure(run)});
      return;
    }
    slowest = std::max(slowest, run.host.wallSeconds);
  }
  if (!alone.Succeeded()) {
    table.Add({figure, Failure(alone)});
    return;
  }
  table.AddRatio(figure, slowest, alone.host.wallSeconds, "one alone", kParallelTarget);
}

// Many devices from one update-cli, as many as the separate programs of Parallel
// and the most it takes: its slowest port against one port alone, and the whole
// program's CPU time against the summed time of the lines it served.
void Bench::ManyPorts(const std::string& title, const Job& job) {
  const Line line{kBaud, 0};
  const PortsRun alone = RunPorts(job, line, 1);
  for (const size_t count : {options.sizes.parallel, options.sizes.ports}) {
    const PortsRun together = RunPorts(job, line, count);
    const std::string figure = std::to_string(count) + " ports of one update-cli (" + title +
                               ", " + LineName(line) + ")";
    for (const PortsRun* run : {&alone, &together}) {
      if (!run->Succeeded() || run->seconds.empty()) {
        table.Add({figure, "FAILED: exit " + std::to_string(run->host.exitStatus) + " (" +
                               run->log + ")"});
        return;
      }
    }
    const double slowest = *std::max_element(together.seconds.begin(), together.seconds.end());
    table.AddRatio(figure + ": slowest port", slowest, alone.seconds.front(), "one port alone",
                   kManyPortsTarget);
    double lines = 0;
    for (const LineTraffic& traffic : together.traffic) {
      lines += LowerBoundSeconds(traffic, kBaud, 0);
    }
    table.AddShare(figure + ": CPU of the whole program", together.host.cpuSeconds, lines,
                   "summed line time", kCpuShareTarget);
  }
}

// The pseudo-terminal's own round trip, at the gaps that a JTAG frame and a
// latency of 16 ms leave between round trips.
void Bench::Rig() {
  table.Section("Test rig");
  for (const auto gap : {std::chrono::microseconds(1500), std::chrono::microseconds(16000)}) {
    const double microseconds = PtyRoundTripMicroseconds(gap, kRigRoundTrips);
    table.Add({"Pseudo-terminal round trip, a byte each way, " +
                   FormatNumber(gap.count() / 1000.0, 1) + " ms apart",
               FormatNumber(microseconds, 0) + " µs", "part of every round trip below"});
  }
  waitingCpuFloorUs = PtyWaitingCpuMicroseconds(std::chrono::microseconds(1500), kRigRoundTrips);
  table.Add({"Waiting for a reply 1.5 ms away (a byte out, a read that sleeps until it comes): CPU",
             FormatNumber(waitingCpuFloorUs, 1) + " µs",
             "the floor under any host's CPU per round trip"});
}

// Each real program both ways at once, at each latency: the time of each against
// its own bound (line time, a latency per round trip, the program's waits), and
// batched against one step per frame in time and in the host's CPU.
void Bench::Corpus() {
  for (uint32_t latencyMs : kCorpusLatenciesMs) {
    const Line line{kBaud, latencyMs};
    for (const auto& [oneStep, batched] : corpus) {
      const std::vector<Run> runs = RunUpdates({&oneStep, &batched}, line);
      const Job* jobs[] = {&oneStep, &batched};
      bool succeeded = true;
      for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        const std::string figure = jobs[i]->name + ", " + LineName(line);
        if (!run.Succeeded()) {
          table.Add({figure, Failure(run)});
          succeeded = false;
          continue;
        }
        const LineTraffic& traffic = run.traffic;
        table.AddRatio(figure + ": time", run.host.wallSeconds,
                       LowerBoundWithWaitsSeconds(traffic, line.baud, line.latencyMs),
                       "bound; " + FormatCount(traffic.roundTrips) + " round trips, " +
                           FormatCount(traffic.hostBytes) + " bytes out, " +
                           FormatCount(traffic.deviceBytes) + " back, waits " +
                           Seconds(traffic.waitMicroseconds / 1e6),
                       kJtagBoundTarget);
      }
      if (!succeeded) continue;
      const std::string program = oneStep.name.substr(0, oneStep.name.find(','));
      const bool cpld = program.rfind("cpld", 0) == 0;
      const double target = cpld && latencyMs == kWorstLatencyMs ? kCpldSpeedUpTarget
                                                                 : kNoSlowerTarget;
      const double speedUp = runs[0].host.wallSeconds / runs[1].host.wallSeconds;
      table.Add({program + ", " + LineName(line) + ": batched against one step per frame",
                 Seconds(runs[1].host.wallSeconds), Seconds(runs[0].host.wallSeconds),
                 FormatNumber(speedUp, 2) + " times faster", "≥ " + FormatNumber(target, 2),
                 speedUp >= target ? "yes" : "no"});
      // The same from the traffic alone, which the machine's load does not touch.
      const double boundBatched =
          LowerBoundWithWaitsSeconds(runs[1].traffic, line.baud, line.latencyMs);
      const double boundOneStep =
          LowerBoundWithWaitsSeconds(runs[0].traffic, line.baud, line.latencyMs);
      table.Add({program + ", " + LineName(line) + ": bound batched against one step per frame",
                 Seconds(boundBatched), Seconds(boundOneStep),
                 FormatNumber(boundOneStep / boundBatched, 2) + " times less"});
      table.AddRatio(program + ", " + LineName(line) + ": host CPU batched",
                     runs[1].host.cpuSeconds, runs[0].host.cpuSeconds, "one step per frame",
                     kNoSlowerTarget);
    }
  }
}

void Bench::RunAll() {
  Rig();
  if (options.Runs("firmware")) {
    table.Section("Firmware (" + fullFirmware.size + " at an unlimited line, " +
                  pacedFirmware.size + " paced)");
    Unlimited("Firmware", fullFirmware);
    Paced("Firmware", pacedFirmware, kFirmwareBoundTarget);
  }
  if (options.Runs("jtag")) {
    table.Section("JTAG (" + fullProgram.size + " at an unlimited line, " + pacedProgram.size +
                  " paced)");
    const Run full = Unlimited("JTAG", fullProgram);
    const std::vector<double> ratios = Paced("JTAG", pacedProgram, kJtagBoundTarget);
    Estimate(fullProgram.name, full, ratios);
  }
  if (options.Runs("corpus")) {
    table.Section("Real JTAG programs, TAP steps batched and one step per frame (57600 baud, "
                  "the programs' waits taken)");
    Corpus();
  }
  if (options.Runs("memory")) {
    table.Section("Memory");
    Memory(memoryFirmware, fullFirmware);
  }
  if (options.Runs("scale")) {
    table.Section("Scale");
    Parallel(pacedFirmware.name, pacedFirmware, options.sizes.parallel);
    Parallel(pacedProgram.name, pacedProgram, options.sizes.parallel);
    // The rig alone at the most ports: whether as many simulated devices keep pace
    // on this machine when each has an update-cli of its own.
    Parallel(pacedProgram.name, pacedProgram, options.sizes.ports);
    ManyPorts(pacedFirmware.name, pacedFirmware);
    ManyPorts(pacedProgram.name, pacedProgram);
  }

  if (!options.microCsv.empty()) {
    table.Section("Micro-benchmarks (CPU time per item)");
    table.AddMicroBenchmarks(options.microCsv);
  }
}

std::string FirstLineOf(const std::string& path, const std::string& prefix) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return "";
}

// What the figures were taken on: processors, model, system and load.
std::string MachineDescription() {
  const std::string model = FirstLineOf("/proc/cpuinfo", "model name");
  const std::string debian = FirstLineOf("/etc/debian_version", "");
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  utsname system{};
  uname(&system);
  std::ostringstream text;
  text << sysconf(_SC_NPROCESSORS_ONLN) << " processors, "
       << (model.empty() ? "unknown model" : model.substr(model.find(':') + 2)) << ", "
       << (debian.empty() ? std::string(system.sysname) : "Debian " + debian) << ", kernel "
       << system.release << "; load average " << FormatNumber(load[0], 2) << " "
       << FormatNumber(load[1], 2) << " " << FormatNumber(load[2], 2);
  return text.str();
}

void Bench::Print() const {
  std::cout << "Machine: " << MachineDescription() << "\n\n";
  table.Print(std::cout);
}

const std::vector<OptionSpec> kOptions = {
    kHelpOption,
    upd::kWorkOption,
    {0, "micro", "FILE.csv", "add micro_bench's results (--benchmark_out_format=csv)"},
    upd::QuickOption("small sizes, to try the benchmark out"),
    {0, "only", "SECTIONS", "run only these of firmware, jtag, corpus, memory, scale"},
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CommandLine line;
  if (std::optional<int> ended =
          upd::StartBench(argc, argv, "e2e_bench", "The updater end to end against devsim.\n",
                          kOptions, &options, &line)) {
    return *ended;
  }
  options.microCsv = line.Value("micro");
  if (options.quick) options.sizes = QuickSizes();
  Bench bench(options);
  if (!bench.Prepare()) return 1;
  bench.RunAll();
  bench.Print();
  return 0;
}
