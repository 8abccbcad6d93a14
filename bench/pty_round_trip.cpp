#include "bench/pty_round_trip.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

bool ReadByte(int fd, char* byte) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, -1) == 1 && read(fd, byte, 1) == 1;
}

// Sends every byte back until the other side closes.
void Echo(int fd) {
  char byte = 0;
  while (ReadByte(fd, &byte) && write(fd, &byte, 1) == 1) {
  }
}

}  // namespace

double PtyRoundTripMicroseconds(std::chrono::microseconds gap, int count) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  termios settings{};
  if (terminal < 0 || tcgetattr(terminal, &settings) != 0) return -1;
  cfmakeraw(&settings);
  tcsetattr(terminal, TCSANOW, &settings);

  std::thread echo(Echo, terminal);
  Clock::duration total{};
  char byte = 'x';
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_for(gap);
    const Clock::time_point sent = Clock::now();
    if (write(master, &byte, 1) != 1 || !ReadByte(master, &byte)) break;
    total += Clock::now() - sent;
  }
  close(master);  // the echo's read fails: it ends
  echo.join();
  close(terminal);
  return std::chrono::duration<double, std::micro>(total).count() / count;
}
