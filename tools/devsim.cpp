// devsim: the simulated device on a pseudo-terminal, for the updater to talk to as
// if it were the device on a serial port.
//
// It prints the terminal's path as the first line of standard output and serves
// one update per connection: when the updater closes its side, the device is
// switched off and on again and a fresh terminal waits for the next opener (its
// path printed as a further line; --link follows it). It runs until it gets
// SIGTERM or SIGINT, until --updates connections have ended, or until a disconnect
// fault cuts the line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot_loader_sim.h"
#include "sim/paced_line.h"
#include "sim/scenario.h"
#include "tools/common/command_line.h"

namespace {

constexpr const char* kProgram = "devsim";
// Exit statuses besides 0 (ended on a signal, after --updates connections or a
// cut line) and kExitUsage.
constexpr int kExitFailed = 1;

struct Options {
  DeviceConfig device;
  uint32_t baud = 0;
  uint32_t latencyMs = 0;
  uint64_t updates = 0;  // 0: no limit
  std::string linkPath;
  std::string dumpDir;
  std::string reportPath;
};

bool ParseSmallNumber(const std::string& text, uint32_t* value) {
  uint64_t wide = 0;
  if (!ParseDecimal(text, UINT32_MAX, &wide)) return false;
  *value = static_cast<uint32_t>(wide);
  return true;
}

bool ReadScenarioFile(const std::string& path, DeviceConfig& config, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  if (ReadScenario(in, config, error)) return true;
  *error = path + ": " + *error;
  return false;
}

// Every option, with what it does with its value.
struct DevsimOption {
  OptionSpec spec;
  bool (*apply)(const std::string& value, Options& options, std::string* error);
};

const DevsimOption kDevsimOptions[] = {
    {{0, "target", "ID:KIND[:...]",
      "a target (hex id): ID:firmware[:ANSWER...]\n"
      "answers its multiplicity queries in turn\n"
      "(default 1; \"silent\": no answer; 3:2: two\n"
      "different ones); ID:jtag[:CHIP] with CHIP\n"
      "demo (default) or script:FILE.xsvf (answers\n"
      "as that program expects)",
      0, true},
     [](const std::string& value, Options& options, std::string* error) {
       return ApplyTargetOption(value, options.device, error);
     }},
    {{0, "switch-on", "MS", "silent for MS ms after the first host byte"},
     [](const std::string& value, Options& options, std::string*) {
       return ParseSmallNumber(value, &options.device.switchOnDelayMs);
     }},
    {{0, "fault", "KIND:POINT:N[:xK][:0xHH]", "a fault at the N-th POINT since switch-on", 0,
      true},
     [](const std::string& value, Options& options, std::string* error) {
       return ApplyFaultOption(value, options.device, error);
     }},
    {{0, "scenario", "FILE",
      "settings from a file, one per line ('#'\n"
      "starts a comment line):\n"
      "  switch-on MS\n  target ID firmware [ANSWER...]\n  target ID jtag [CHIP]\n"
      "  fault KIND POINT N [xK] [0xHH]"},
     [](const std::string& value, Options& options, std::string* error) {
       return ReadScenarioFile(value, options.device, error);
     }},
    {{0, "baud", "N", "pace the line at N baud, 10 bits per byte"},
     [](const std::string& value, Options& options, std::string*) {
       return ParseSmallNumber(value, &options.baud) && options.baud > 0;
     }},
    {{0, "latency", "MS", "delay each reply by MS ms (an adapter's\ntimer)"},
     [](const std::string& value, Options& options, std::string*) {
       return ParseSmallNumber(value, &options.latencyMs);
     }},
    {{0, "no-waits", nullptr, "answer JTAG waits at once"},
     [](const std::string&, Options& options, std::string*) {
       options.device.honourWaits = false;
       return true;
     }},
    {{0, "link", "PATH",
      "keep a symbolic link at PATH to the terminal (replacing only\nsuch a link, never a file)"},
     [](const std::string& value, Options& options, std::string*) {
       options.linkPath = value;
       return true;
     }},
    {{0, "updates", "N", "end after N connections have ended"},
     [](const std::string& value, Options& options, std::string*) {
       return ParseDecimal(value, UINT64_MAX, &options.updates) && options.updates > 0;
     }},
    {{0, "dump-blocks", "DIR",
      "write each firmware target's blocks, as\n"
      "received (length fields included), to\n"
      "DIR/target-ID.bin"},
     [](const std::string& value, Options& options, std::string*) {
       options.dumpDir = value;
       return true;
     }},
    {{0, "report", "FILE",
      "counters as key=value lines to FILE at exit\n"
      "(default: standard error)"},
     [](const std::string& value, Options& options, std::string*) {
       options.reportPath = value;
       return true;
     }},
};

std::vector<OptionSpec> OptionSpecs() {
  std::vector<OptionSpec> specs;
  for (const DevsimOption& option : kDevsimOptions) specs.push_back(option.spec);
  specs.push_back(kHelpOption);
  specs.push_back(kVersionOption);
  return specs;
}

std::string Usage() {
  return "usage: devsim [OPTION]...\n"
         "\n"
         "The simulated device on a pseudo-terminal. Prints the terminal's path on the first\n"
         "line of standard output; each later connection gets a fresh terminal, whose path\n"
         "follows as a further line.\n"
         "\n"
         "Options:\n" +
         OptionHelp(OptionSpecs()) +
         "\n"
         "Fault points: wake, start, query, select, block, frame, levels (a JTAG 'B'\n"
         "frame), wait (a JTAG 'T' frame), byte (any host byte), shift (a JTAG shift that\n"
         "compares TDO). Kinds (K defaults to 1, HH to 55):\n"
         "  noise       K bytes HH before the answer (at byte: when the byte arrives)\n"
         "  repeat      K occurrences from the N-th on answered 0x22 and dropped\n"
         "  reply       K occurrences from the N-th on answered HH and dropped\n"
         "  busy        K times 0x33 before the answer\n"
         "  silence     from the N-th on the device receives and answers nothing\n"
         "  disconnect  from the N-th on the line is cut: devsim closes it and ends\n"
         "  end         the block is answered 0x44, ending the target (block only)\n"
         "  mismatch    K compared shifts from the N-th on report a TDO mismatch (shift only)\n"
         "  stuck       from the N-th on the device answers busy every 100 ms, without end\n"
         "  flood       from the N-th on the device sends HH without end, at the line's rate\n"
         "  deaf        the device answers the N-th, then stops reading the line\n"
         "  refuse      K frames from the N-th on answered 0x44, not carried out (frame,\n"
         "              levels and wait only)\n"
         "Example: devsim --target 01:firmware --target 05:jtag:demo --fault busy:block:3:x5\n"
         "\n"
         "Exit status:\n"
         "  0   ended on SIGTERM or SIGINT, after --updates connections, or on a cut line\n"
         "  1   the pseudo-terminal or a file could not be set up or written\n"
         "  64  the command line is wrong\n";
}

const DevsimOption* FindOption(const OptionSpec* spec) {
  for (const DevsimOption& option : kDevsimOptions) {
    if (std::string(option.spec.longName) == spec->longName) return &option;
  }
  return nullptr;
}

// Nothing to go on, or the exit code when devsim ends here: 0 after the help or
// the version, kExitUsage for a usage error.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  // The command line points into the specs: they must outlive it.
  static const std::vector<OptionSpec> specs = OptionSpecs();
  CommandLine line;
  if (std::optional<int> ended = StartProgram(argc, argv, specs, kProgram, Usage(), &line)) {
    return ended;
  }
  std::string error;
  if (!line.operands.empty()) {
    return ReportUsageError(stderr, kProgram, "unexpected argument '" + line.operands[0] + "'");
  }
  for (const CommandLine::Given& given : line.options) {
    const DevsimOption* option = FindOption(given.spec);
    error.clear();
    if (!option->apply(given.value, options, &error)) {
      if (error.empty()) error = "bad value for --" + std::string(given.spec->longName) + ": " +
                                 given.value;
      return ReportUsageError(stderr, kProgram, error);
    }
  }
  return std::nullopt;
}

uint64_t NowUs() {
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now() - start)
      .count();
}

// SIGTERM and SIGINT wake the main loop through a pipe.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 0;
  (void)!write(signalPipe[1], &byte, 1);
}

bool CatchSignals() {
  if (pipe(signalPipe) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  signal(SIGPIPE, SIG_IGN);
  return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// Raw 8-bit transfers: no echo, no line editing, no translation, no signals.
bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// A pseudo-terminal pair. Until the host has shown up, devsim holds the terminal
// side open itself: it keeps the raw settings and keeps the controlling side from
// reporting a hang-up before anyone has connected. A fresh pair serves each
// connection, since a pair whose terminal side was closed keeps reporting the
// hang-up and keeps the exclusive-use mode that the last opener may have set.
class PseudoTerminal {
 public:
  ~PseudoTerminal() { Close(); }

  // The controlling side does not block: a device that sends without end to a
  // host that does not read loses what the terminal cannot hold, as a real line
  // would, instead of stopping devsim.
  bool Open(std::string* error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char* name = master < 0 ? nullptr : ptsname(master);
    if (name == nullptr || grantpt(master) != 0 || unlockpt(master) != 0) {
      *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    slavePath = name;
    holder = open(name, O_RDWR | O_NOCTTY);
    if (holder < 0 || !MakeRaw(holder)) {
      *error = "cannot set up " + slavePath + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

  // The host has the terminal open: from now on its closing is a hang-up.
  void ReleaseTerminal() { CloseFd(holder); }

  void Close() {
    CloseFd(holder);
    CloseFd(master);
  }

  int Master() const { return master; }
  const std::string& Path() const { return slavePath; }

 private:
  static void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }

  int master = -1;
  int holder = -1;
  std::string slavePath;
};

// True when `path` is devsim's to set: nothing is there, or a symbolic link to a
// terminal, as this run or an earlier one leaves it. A regular file, a folder or a
// link to anything else belongs to someone else and is never replaced.
bool IsFreeForLink(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return errno == ENOENT;
  if (!S_ISLNK(status.st_mode)) return false;
  char target[256];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  return length > 0 && std::string(target, static_cast<size_t>(length)).rfind("/dev/", 0) == 0;
}

// Points the link at the terminal (replacing it in one step), then prints the
// terminal's path: whoever reads the line finds the link in place. The new link
// is made under a name of this process's own and renamed over the old one.
bool Announce(const PseudoTerminal& terminal, const std::string& linkPath, std::string* error) {
  if (!linkPath.empty()) {
    if (!IsFreeForLink(linkPath)) {
      *error = "cannot link " + linkPath +
               ": it exists and is not devsim's link to a terminal; devsim replaces nothing else";
      return false;
    }
    const std::string temporary = linkPath + ".devsim-" + std::to_string(getpid());
    if (symlink(terminal.Path().c_str(), temporary.c_str()) != 0) {
      *error = "cannot link " + linkPath + ": " + std::strerror(errno);
      return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
      *error = "cannot link " + linkPath + ": " + std::strerror(errno);
      unlink(temporary.c_str());  // the link just made, nothing else
      return false;
    }
  }
  std::cout << terminal.Path() << std::endl;
  return true;
}

// Removes the link at the end, if it still points where this run put it.
void RemoveLink(const std::string& linkPath, const std::string& terminalPath) {
  if (linkPath.empty()) return;
  char target[256];
  const ssize_t length = readlink(linkPath.c_str(), target, sizeof target);
  if (length > 0 && std::string(target, static_cast<size_t>(length)) == terminalPath) {
    unlink(linkPath.c_str());
  }
}

// "devsim: cannot write PATH: REASON." on standard error; false.
bool CannotWrite(const std::string& path, int reason) {
  ReportFailure(stderr, kProgram,
                "cannot write " + path + ": " + (reason != 0 ? std::strerror(reason) : "write error") + ".");
  return false;
}

// False, after saying so, when a block file cannot be written.
bool DumpBlocks(const BootLoaderSim& device, const Options& options) {
  if (options.dumpDir.empty()) return true;
  bool written = true;
  for (const SimTarget& target : options.device.targets) {
    if (target.jtag) continue;
    char name[32];
    std::snprintf(name, sizeof name, "/target-%02X.bin", target.id);
    const std::vector<uint8_t> data = device.ReceivedFirmware(target.id);
    errno = 0;
    std::ofstream out(options.dumpDir + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) written = CannotWrite(options.dumpDir + name, errno);
  }
  return written;
}

// False, after saying so, when the report file cannot be written.
bool WriteReport(const BootLoaderSim& device, const Options& options, uint64_t connections) {
  errno = 0;
  std::ofstream file;
  if (!options.reportPath.empty()) file.open(options.reportPath, std::ios::trunc);
  std::ostream& out = options.reportPath.empty() ? std::cerr : file;
  out << "connections=" << connections << '\n';
  device.WriteReport(out);
  if (!options.reportPath.empty()) file.close();
  return (options.reportPath.empty() ? static_cast<bool>(std::cerr) : static_cast<bool>(file)) ||
         CannotWrite(options.reportPath, errno);
}

enum class Event { None, Stop, HangUp };

// Within this much of the next byte's time the loop looks at the line without
// sleeping: a wake-up from a sleep comes some tens of microseconds late, a good
// part of a byte time.
constexpr uint64_t kSpinUs = 60;

// When the loop must look at the line next: a device byte due at the host, the
// next byte of a device that sends without end, or the moment the device cuts the
// line. Nothing while none is pending.
std::optional<uint64_t> NextWakeUs(const PacedLine& line, const BootLoaderSim& device) {
  std::optional<uint64_t> wake = line.NextArrivalUs();
  for (std::optional<uint64_t> other :
       {line.CutAtUs(), device.SendsWithoutEnd() ? std::optional<uint64_t>(device.NextOutput().atUs)
                                                 : std::nullopt}) {
    if (other) wake = wake ? std::min(*wake, *other) : *other;
  }
  return wake;
}

// Waits for host bytes, a hang-up or a signal, at most until the line needs to be
// looked at again, so that the pace of the line is kept to the microsecond.
Event WaitForHost(PseudoTerminal& terminal, PacedLine& line, BootLoaderSim& device,
                  bool& hostSeen) {
  // A device that has stopped reading leaves the host's bytes in the terminal;
  // the host's closing is still seen (POLLHUP).
  const short hostEvents = device.Deaf() ? 0 : POLLIN;
  pollfd watched[2] = {{terminal.Master(), hostEvents, 0}, {signalPipe[0], POLLIN, 0}};
  timespec timeout{};
  const std::optional<uint64_t> wakeUs = NextWakeUs(line, device);
  if (wakeUs) {
    const uint64_t nowUs = NowUs();
    const uint64_t sleepUs = *wakeUs > nowUs + kSpinUs ? *wakeUs - nowUs - kSpinUs : 0;
    timeout.tv_sec = static_cast<time_t>(sleepUs / 1'000'000);
    timeout.tv_nsec = static_cast<long>(sleepUs % 1'000'000) * 1000;
  }
  if (ppoll(watched, 2, wakeUs ? &timeout : nullptr, nullptr) < 0) return Event::None;  // EINTR
  if (watched[1].revents != 0) return Event::Stop;
  if (watched[0].revents == 0) return Event::None;
  if (device.Deaf()) return Event::HangUp;
  uint8_t buffer[4096];
  const ssize_t count = read(terminal.Master(), buffer, sizeof buffer);
  if (count < 0 && errno == EAGAIN) return Event::None;
  if (count <= 0) return Event::HangUp;
  if (!hostSeen) terminal.ReleaseTerminal();
  hostSeen = true;
  line.FromHost(device, buffer, static_cast<size_t>(count), NowUs());
  return Event::None;
}

// Writes the device bytes that have reached the host; a host that has gone away,
// or does not read, loses them.
void Deliver(const PseudoTerminal& terminal, PacedLine& line, BootLoaderSim& device) {
  const uint64_t nowUs = NowUs();
  line.TakeDeviceOutput(device, nowUs);
  std::vector<uint8_t> arrived;
  line.TakeArrived(nowUs, &arrived);
  if (!arrived.empty()) (void)!write(terminal.Master(), arrived.data(), arrived.size());
}

bool LineCut(const PacedLine& line) {
  return line.CutAtUs() && *line.CutAtUs() <= NowUs();
}

int Serve(const Options& options) {
  BootLoaderSim device(options.device);
  PseudoTerminal terminal;
  PacedLine line(options.baud, options.latencyMs);
  std::string error;
  if (!terminal.Open(&error) || !Announce(terminal, options.linkPath, &error)) {
    ReportFailure(stderr, kProgram, error);
    return kExitFailed;
  }
  uint64_t connections = 0;
  bool hostSeen = false;
  int exitCode = 0;
  for (;;) {
    Deliver(terminal, line, device);
    if (LineCut(line)) break;
    const Event event = WaitForHost(terminal, line, device, hostSeen);
    if (event == Event::Stop) break;
    if (event != Event::HangUp) continue;
    // The host has closed the line: the update is over, the device goes off and
    // on again, and a fresh terminal waits for the next one.
    ++connections;
    if (!DumpBlocks(device, options)) exitCode = kExitFailed;
    if (options.updates != 0 && connections >= options.updates) break;
    device.PowerCycle();
    line.Clear();
    hostSeen = false;
    terminal.Close();
    if (!terminal.Open(&error) || !Announce(terminal, options.linkPath, &error)) {
      ReportFailure(stderr, kProgram, error);
      exitCode = kExitFailed;
      break;
    }
  }
  terminal.Close();
  RemoveLink(options.linkPath, terminal.Path());
  if (!DumpBlocks(device, options)) exitCode = kExitFailed;
  if (!WriteReport(device, options, connections)) exitCode = kExitFailed;
  return exitCode;
}

// Wake-ups at the very microsecond asked for: the kernel may otherwise defer a
// timer by up to 50 microseconds, a third of a byte at 57600 baud.
void AskForPreciseTimers() {
#if defined(__linux__)
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::optional<int> exitCode = ParseArguments(argc, argv, options)) return *exitCode;
  if (!CatchSignals()) {
    std::cerr << "devsim: cannot catch signals\n";
    return kExitFailed;
  }
  AskForPreciseTimers();
  return Serve(options);
}
