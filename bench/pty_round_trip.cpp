#include "bench/pty_round_trip.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

bool ReadByte(int fd, char* byte) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, -1) == 1 && read(fd, byte, 1) == 1;
}

// Sends every byte back, `gap` after it came, until the other side closes.
void Echo(int fd, std::chrono::microseconds gap) {
  char byte = 0;
  while (ReadByte(fd, &byte)) {
    std::this_thread::sleep_for(gap);
    if (write(fd, &byte, 1) != 1) return;
  }
}

// A pseudo-terminal in raw mode: the master side, and the terminal side an echo
// thread serves.
struct PtyPair {
  int master = -1;
  int terminal = -1;

  bool Open() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios settings{};
    if (terminal < 0 || tcgetattr(terminal, &settings) != 0) return false;
    cfmakeraw(&settings);
    return tcsetattr(terminal, TCSANOW, &settings) == 0;
  }
  ~PtyPair() {
    CloseMaster();
    if (terminal >= 0) close(terminal);
  }
  // Closing the master ends the echo: its read fails.
  void CloseMaster() {
    if (master >= 0) close(master);
    master = -1;
  }
};

double ThreadCpuMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

}  // namespace

double PtyRoundTripMicroseconds(std::chrono::microseconds gap, int count) {
  PtyPair pty;
  if (!pty.Open()) return -1;
  std::thread echo(Echo, pty.terminal, std::chrono::microseconds(0));
  Clock::duration total{};
  char byte = 'x';
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_for(gap);
    const Clock::time_point sent = Clock::now();
    if (write(pty.master, &byte, 1) != 1 || !ReadByte(pty.master, &byte)) break;
    total += Clock::now() - sent;
  }
  pty.CloseMaster();
  echo.join();
  return std::chrono::duration<double, std::micro>(total).count() / count;
}

double PtyWaitingCpuMicroseconds(std::chrono::microseconds gap, int count) {
  PtyPair pty;
  if (!pty.Open()) return -1;
  std::thread echo(Echo, pty.terminal, gap);
  char byte = 'x';
  const double start = ThreadCpuMicroseconds();
  for (int i = 0; i < count; ++i) {
    if (write(pty.master, &byte, 1) != 1 || read(pty.master, &byte, 1) != 1) break;
  }
  const double spent = ThreadCpuMicroseconds() - start;
  pty.CloseMaster();
  echo.join();
  return spent / count;
}
