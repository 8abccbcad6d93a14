// soak: many updates in a row against the simulated device on a pseudo-terminal,
// each with a fault drawn from a seed, each checked for the outcome the fault
// must lead to. After every update that is meant to fail, the next one runs
// without a fault and must update every target.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/soak/soak_faults.h"
#include "tools/soak/soak_file.h"
#include "tools/soak/soak_run.h"
#include "xsvf/shown_text.h"

namespace {

constexpr const char* kProgram = "soak";
constexpr int kExitCannotStart = 3;

const std::vector<OptionSpec> kOptions = {
    kHelpOption,
    kVersionOption,
    {0, "updates", "N", "how many updates (1 to 1,000,000; default 50)"},
    {0, "seed", "S", "the seed the faults are drawn from (default: a random one)"},
    {0, "timeout", "SECONDS", "the longest an update may take (1 to 3,600; default 30)"},
    {0, "switch-on", "MS", "the device's switch-on delay (0 to 60,000 ms; default 100)"},
    {0, "real-time", nullptr, "the device is devsim on a pseudo-terminal, in real time"},
    {0, "devsim", "PATH", "the devsim to run (default: the one of this build)"},
    {0, "file", "FILE.upd", "the update file (default: the sample of this build)"},
};

std::string Usage() {
  return "usage: soak [--updates N] [--seed S] [--timeout SECONDS] [--switch-on MS]\n"
         "            [--real-time] [--devsim PATH] [--file FILE.upd]\n"
         "\n"
         "Runs N updates of FILE.upd with update-cli's update command against the\n"
         "simulated device, each with a fault drawn from the seed S: noise, damaged\n"
         "messages, bad replies, busy storms, silence, a cut line, a target ended early,\n"
         "TDO mismatches, a device stuck busy, one that floods the line, one that stops\n"
         "reading, or a refused wait. Each update must end within SECONDS with the exit\n"
         "status and status line that its fault calls for, close the port and the file,\n"
         "and the update after a failed one must succeed. The first update runs without\n"
         "a fault and measures the update. The same seed and count replay the same\n"
         "faults.\n"
         "\n"
         "The device runs in this process on a virtual clock, so that silence and the\n"
         "updater's busy limit cost no real time. With --real-time it is devsim on a\n"
         "pseudo-terminal, in real time; the faults that only the busy limit of a minute\n"
         "ends are then left out.\n"
         "\n"
         "Options:\n" +
         OptionHelp(kOptions) +
         "\n"
         "Exit status: 0 every update as expected, 1 some were not, 2 an update hung,\n"
         "3 the soak could not start, 64 the command line makes no sense.\n";
}

struct Options {
  uint32_t updates = 50;
  uint64_t seed = 0;
  bool seedGiven = false;
  std::string file = UPD_SAMPLE_FILE;
  SoakSettings settings;
};

// Takes the option's number into *value when it is given; false with *error when
// it is not a number from `least` to `most`.
template <typename Number>
bool TakeNumber(const CommandLine& line, const char* name, uint64_t least, uint64_t most,
                Number* value, std::string* error) {
  if (!line.Has(name)) return true;
  uint64_t number = 0;
  if (!ParseDecimal(line.Value(name), most, &number) || number < least) {
    *error = "--" + std::string(name) + " needs a number from " + std::to_string(least) + " to " +
             std::to_string(most) + ", not '" + line.Value(name) + "'";
    return false;
  }
  *value = static_cast<Number>(number);
  return true;
}

bool TakeOptions(const CommandLine& line, Options* options, std::string* error) {
  if (!line.operands.empty()) {
    *error = "unexpected argument '" + line.operands[0] + "'";
    return false;
  }
  options->settings.devsim = line.Value("devsim", UPD_DEVSIM_PATH);
  options->file = line.Value("file", options->file);
  options->settings.realTime = line.Has("real-time");
  options->seedGiven = line.Has("seed");
  return TakeNumber(line, "seed", 0, UINT64_MAX, &options->seed, error) &&
         TakeNumber(line, "updates", 1, 1000000, &options->updates, error) &&
         TakeNumber(line, "timeout", 1, 3600, &options->settings.timeoutSeconds, error) &&
         TakeNumber(line, "switch-on", 0, 60000, &options->settings.switchOnMs, error);
}

bool MakeWorkDirectory(SoakSettings* settings) {
  std::error_code error;
  std::string base = (std::filesystem::temp_directory_path(error) / "upd-soak-XXXXXX").string();
  if (mkdtemp(base.data()) == nullptr) return false;
  settings->workDir = base;
  // The updater's debug log goes into the working directory.
  return chdir(base.c_str()) == 0;
}

struct Tally {
  std::map<std::string, uint32_t> updates;
  std::map<std::string, uint32_t> failures;
  uint32_t failed = 0;
};

void PrintSummary(const Tally& tally, uint32_t updates, uint64_t seed, double seconds) {
  std::printf("soak summary: %u updates in %.0f s, seed %llu: %u as expected, %u not;", updates,
              seconds, static_cast<unsigned long long>(seed), updates - tally.failed,
              tally.failed);
  const char* separator = " ";
  for (const std::string& kind : FaultKinds()) {
    const auto counted = tally.updates.find(kind);
    const auto failures = tally.failures.find(kind);
    std::printf("%s%s %u", separator, kind.c_str(),
                counted == tally.updates.end() ? 0 : counted->second);
    if (failures != tally.failures.end()) std::printf(" (%u failed)", failures->second);
    separator = ", ";
  }
  std::printf("\n");
}

int Soak(const Options& options) {
  SoakFile file;
  std::string error;
  if (!ReadSoakFile(options.file, &file, &error)) {
    ReportFailure(stderr, kProgram, error);
    return kExitCannotStart;
  }
  SoakRandom random(options.seed);
  Tally tally;
  bool cleanNext = true;  // the first update measures the update
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 1; i <= options.updates; ++i) {
    const SoakFault fault = cleanNext ? NoFault(file.shape)
                                      : DrawFault(random, file.shape, options.settings.realTime);
    const std::string context = "update " + std::to_string(i) + " of seed " +
                                std::to_string(options.seed) + " (fault " +
                                (fault.deviceFault.empty() ? "none" : fault.deviceFault) + ")";
    const UpdateOutcome outcome = RunSoakUpdate(options.settings, file, fault, context);
    if (i == 1) TakeJtagFigures(outcome.deviceReport, &file.shape);
    ++tally.updates[fault.kind];
    std::printf("%s %-40s exit %d \"%s\" %.1f s\n", outcome.asExpected ? "ok    " : "FAILED",
                context.c_str(), outcome.exitStatus, outcome.statusLine.c_str(), outcome.seconds);
    if (!outcome.asExpected) {
      ++tally.failed;
      ++tally.failures[fault.kind];
      std::printf("       %s\n       replay: soak%s --seed %llu --updates %u\n",
                  outcome.problem.c_str(), options.settings.realTime ? " --real-time" : "",
                  static_cast<unsigned long long>(options.seed), i);
    }
    std::fflush(stdout);
    cleanNext = outcome.exitStatus != 0;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PrintSummary(tally, options.updates, options.seed, seconds);
  return tally.failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (std::optional<int> ended = StartProgram(argc, argv, kOptions, kProgram, Usage(), &line)) {
    return *ended;
  }
  Options options;
  std::string error;
  if (!TakeOptions(line, &options, &error)) return ReportUsageError(stderr, kProgram, error);
  if (!options.seedGiven) options.seed = std::random_device()() % 1000000;
  options.file = std::filesystem::absolute(options.file).string();
  options.settings.devsim = std::filesystem::absolute(options.settings.devsim).string();
  if (!MakeWorkDirectory(&options.settings)) {
    ReportFailure(stderr, kProgram, "cannot make a working directory");
    return kExitCannotStart;
  }
  std::printf("soak: %u updates of %s, seed %llu\n", options.updates,
              TerminalText(options.file).c_str(),
              static_cast<unsigned long long>(options.seed));
  const int status = Soak(options);
  if (status == 0) {
    std::error_code ignored;
    std::filesystem::remove_all(options.settings.workDir, ignored);
  } else {
    std::printf("the devices' logs and the last debug log are in %s\n",
                options.settings.workDir.c_str());
  }
  return status;
}
