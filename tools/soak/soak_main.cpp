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
#include <random>
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/soak/soak_faults.h"
#include "tools/soak/soak_file.h"
#include "tools/soak/soak_run.h"

namespace {

const char kUsage[] =
    "usage: soak [--updates N] [--seed S] [--timeout SECONDS] [--switch-on MS]\n"
    "            [--real-time] [--devsim PATH] [--file FILE.upd]\n"
    "\n"
    "Runs N updates (default 50) of FILE.upd (default: the sample update file of\n"
    "this build) with update-cli's update command against the simulated device,\n"
    "each with a fault drawn from the seed S (default: a random seed, printed):\n"
    "noise, damaged messages, bad replies, busy storms, silence, a cut line, a\n"
    "target ended early, TDO mismatches, a device stuck busy, one that floods the\n"
    "line, one that stops reading, or a refused wait. Each update must end within\n"
    "SECONDS (default 30) with the exit status and status line that its fault calls\n"
    "for, close the port and the file, and the update after a failed one must\n"
    "succeed. The first update runs without a fault and measures the update. The\n"
    "same seed and count replay the same faults.\n"
    "\n"
    "The device runs in this process on a virtual clock, so that silence and the\n"
    "updater's busy limit cost no real time. With --real-time it is devsim (PATH,\n"
    "default: the one of this build) on a pseudo-terminal, in real time; the faults\n"
    "that only the busy limit of a minute ends are then left out.\n"
    "\n"
    "Exit status: 0 every update as expected, 1 some were not, 2 an update hung,\n"
    "3 the soak could not start.\n";

struct Options {
  uint32_t updates = 50;
  uint64_t seed = 0;
  bool seedGiven = false;
  std::string file;
  SoakSettings settings;
};

// Returns 0 to go on, or the exit status (0 after --help).
int ParseArguments(int argc, char** argv, Options* options, bool* help) {
  options->settings.devsim = UPD_DEVSIM_PATH;
  options->file = UPD_SAMPLE_FILE;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      *help = true;
      return 0;
    }
    if (name == "--real-time") {
      options->settings.realTime = true;
      continue;
    }
    uint64_t number = 0;
    const bool hasValue = i + 1 < argc;
    const std::string value = hasValue ? argv[++i] : "";
    const bool numeric = ParseDecimal(value, UINT64_MAX, &number);
    if (name == "--devsim" && hasValue) {
      options->settings.devsim = value;
    } else if (name == "--file" && hasValue) {
      options->file = value;
    } else if (name == "--seed" && numeric) {
      options->seed = number;
      options->seedGiven = true;
    } else if (name == "--updates" && numeric && number > 0 && number <= 1000000) {
      options->updates = static_cast<uint32_t>(number);
    } else if (name == "--timeout" && numeric && number > 0 && number <= 3600) {
      options->settings.timeoutSeconds = static_cast<uint32_t>(number);
    } else if (name == "--switch-on" && numeric && number <= 60000) {
      options->settings.switchOnMs = static_cast<uint32_t>(number);
    } else {
      std::fprintf(stderr, "soak: bad option %s %s\n\n%s", name.c_str(), value.c_str(), kUsage);
      return 3;
    }
  }
  return 0;
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
    std::fprintf(stderr, "soak: %s\n", error.c_str());
    return 3;
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
      std::printf("       %s\n       replay: soak --seed %llu --updates %u\n",
                  outcome.problem.c_str(), static_cast<unsigned long long>(options.seed), i);
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
  Options options;
  bool help = false;
  if (const int status = ParseArguments(argc, argv, &options, &help); status != 0) return status;
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!options.seedGiven) options.seed = std::random_device()() % 1000000;
  options.file = std::filesystem::absolute(options.file).string();
  options.settings.devsim = std::filesystem::absolute(options.settings.devsim).string();
  if (!MakeWorkDirectory(&options.settings)) {
    std::fprintf(stderr, "soak: cannot make a working directory\n");
    return 3;
  }
  std::printf("soak: %u updates of %s, seed %llu\n", options.updates, options.file.c_str(),
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
