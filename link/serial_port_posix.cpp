// The serial port on POSIX systems, through termios. It behaves like the Windows
// back end: exclusive open, raw 8N1 without flow control, DTR and RTS inactive, and
// reads that end by the same three time limits.

#include "link/serial_port_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "link/serial_port.h"

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Whether a wait on the line saw data, nothing within the time, or a line that has
// gone away (hung up or failed: e.g. the peer closed its side of a pseudo-terminal).
enum class LineEvent { Readable, Writable, TimedOut, HungUp };

bool SpeedFor(uint32_t baudRate, speed_t* speed) {
  struct Rate {
    uint32_t baud;
    speed_t speed;
  };
  static const Rate kRates[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},
      {150, B150},       {200, B200},       {300, B300},       {600, B600},
      {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
      {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
      {115200, B115200}, {230400, B230400},
#if defined(B460800)
      {460800, B460800},
#endif
#if defined(B921600)
      {921600, B921600},
#endif
  };
  for (const Rate& rate : kRates) {
    if (rate.baud == baudRate) {
      *speed = rate.speed;
      return true;
    }
  }
  return false;
}

// Milliseconds for poll() until `deadline`, rounded up so that a wait never ends
// early, and capped to what poll() takes.
int PollMillis(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

// Waits for the line to become readable or writable; timeoutMs < 0 waits forever.
LineEvent WaitForLine(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  const int ready = poll(&entry, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? LineEvent::TimedOut : LineEvent::HungUp;
  if (ready == 0) return LineEvent::TimedOut;
  // Data still buffered on a line that hung up is taken first.
  if (entry.revents & POLLIN) return LineEvent::Readable;
  if (entry.revents & POLLOUT) return LineEvent::Writable;
  return LineEvent::HungUp;
}

// The whole-read limit t * k + t, capped at decades so that the deadline cannot
// overflow the clock.
int64_t TotalLimitMs(uint32_t timeoutMs, uint32_t count) {
  constexpr uint64_t kCapMs = uint64_t{1} << 40;
  const uint64_t limit = static_cast<uint64_t>(timeoutMs) * (static_cast<uint64_t>(count) + 1);
  return static_cast<int64_t>(std::min(limit, kCapMs));
}

class PosixSerialChannel : public SerialChannel {
 public:
  PosixSerialChannel(int openFd, uint32_t baud) : fd(openFd), baudRate(baud) {}
  ~PosixSerialChannel() override {
    // Give up the exclusive claim for whoever opens the device next; closing the
    // descriptor also drops the lock.
    ioctl(fd, TIOCNXCL);
    close(fd);
  }

  // Time-outs are kept here and applied by Read: t = 0, as on Windows, means that
  // a read waits for all its bytes without a time limit. A limit of whole tenths
  // of a second for one byte is also handed to the driver (see ReadOneByte).
  bool SetTimeouts(uint32_t timeoutMs) override {
    readTimeoutMs = timeoutMs;
    const uint32_t oneByteLimitMs = 2 * timeoutMs;
    const bool driverTimed = timeoutMs > 0 && oneByteLimitMs % 100 == 0 && oneByteLimitMs <= 25500;
    return SetDriverTime(driverTimed ? static_cast<cc_t>(oneByteLimitMs / 100) : 0);
  }

  // Ends short, false, once WriteLimitMs has passed (see serial_port.h).
  bool Write(const uint8_t* data, uint32_t count) override;
  bool Read(uint8_t* data, uint32_t count) override;
  bool Gone() const override { return gone.load(); }

 private:
  bool WriteWithin(const uint8_t* data, uint32_t count, Clock::time_point deadline);
  // Reads what has arrived into data[*got..count). False if the line is gone.
  bool TakeAvailable(uint8_t* data, uint32_t count, uint32_t* got);
  // One byte within the driver's time: read() waits for it, one system call on
  // the path that every reply of an update takes.
  bool ReadOneByte(uint8_t* data);
  // How long read() waits for a first byte, in tenths of a second (VTIME; 0: it
  // takes what is there). False if the driver refuses.
  bool SetDriverTime(cc_t tenths);
  // The line has hung up or failed: the transfer fails, and so will every later one.
  bool LoseLine() {
    gone.store(true);
    return false;
  }

  int fd;
  uint32_t baudRate;
  uint32_t readTimeoutMs = 0;
  cc_t driverTime = 0;
  std::atomic<bool> gone{false};
};

bool PosixSerialChannel::Write(const uint8_t* data, uint32_t count) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(WriteLimitMs(baudRate, count));
  // The descriptor blocks for the driver's read time (VTIME); a write must not
  // block past its limit, so it runs without blocking and waits in poll().
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const bool written = WriteWithin(data, count, deadline);
  fcntl(fd, F_SETFL, flags);
  return written;
}

bool PosixSerialChannel::WriteWithin(const uint8_t* data, uint32_t count,
                                     Clock::time_point deadline) {
  uint32_t sent = 0;
  while (sent < count) {
    const ssize_t n = write(fd, data + sent, count - sent);
    if (n > 0) {
      sent += static_cast<uint32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      // The driver's queue is full: wait until it takes more, or the limit has
      // passed (the device side has stopped taking bytes: a short write).
      if (WaitForLine(fd, POLLOUT, PollMillis(deadline)) == LineEvent::HungUp) return LoseLine();
      if (Clock::now() >= deadline) return false;
    } else {
      return LoseLine();
    }
  }
  return true;
}

bool PosixSerialChannel::TakeAvailable(uint8_t* data, uint32_t count, uint32_t* got) {
  for (;;) {
    const ssize_t n = read(fd, data + *got, count - *got);
    if (n > 0) {
      *got += static_cast<uint32_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    // The line said it had something: nothing, or an error such as EIO, means it
    // has gone away.
    return false;
  }
}

bool PosixSerialChannel::SetDriverTime(cc_t tenths) {
  if (tenths == driverTime) return true;
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = tenths;
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
  driverTime = tenths;
  return true;
}

bool PosixSerialChannel::ReadOneByte(uint8_t* data) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(2 * readTimeoutMs);
  ssize_t n = 0;
  do {
    n = read(fd, data, 1);
  } while (n < 0 && errno == EINTR);
  if (n == 1) return true;
  // Nothing within the time, or nothing at once from a line that has hung up:
  // that one costs the time as well, so that a caller probing in a loop does not
  // spin.
  pollfd entry{fd, POLLIN, 0};
  const bool hungUp = n < 0 || (poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR)));
  if (!hungUp) return false;
  std::this_thread::sleep_until(deadline);
  return LoseLine();
}

bool PosixSerialChannel::Read(uint8_t* data, uint32_t count) {
  if (count == 0) return true;
  if (count == 1 && driverTime != 0) return ReadOneByte(data);
  const bool unlimited = readTimeoutMs == 0;
  const std::chrono::milliseconds interval(readTimeoutMs);
  const Clock::time_point totalDeadline =
      Clock::now() + std::chrono::milliseconds(TotalLimitMs(readTimeoutMs, count));
  // The interval limit applies from the first byte on.
  Clock::time_point deadline = totalDeadline;

  uint32_t got = 0;
  while (got < count) {
    LineEvent event = WaitForLine(fd, POLLIN, unlimited ? -1 : PollMillis(deadline));
    if (event == LineEvent::Readable) {
      const uint32_t before = got;
      if (!TakeAvailable(data, count, &got)) {
        event = LineEvent::HungUp;
      } else if (got > before) {
        deadline = std::min(totalDeadline, Clock::now() + interval);
      }
    }
    if (event == LineEvent::HungUp) {
      // A dead line costs a read as much time as a silent one, so that a caller
      // probing in a loop does not spin.
      if (!unlimited) std::this_thread::sleep_until(deadline);
      return LoseLine();
    }
    if (!unlimited && got < count && Clock::now() >= deadline) return false;
  }
  return true;
}

bool ParseComNumber(const std::string& name, unsigned* number) {
  if (name.size() < 4 || name.size() > 8) return false;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
  }
  unsigned value = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    value = value * 10 + static_cast<unsigned>(name[i] - '0');
  }
  if (value == 0) return false;
  *number = value;
  return true;
}

// Records why the open failed; returns false for the caller to pass on.
bool Fail(PortOpenFailure* failure, PortOpenError reason, std::string text) {
  failure->reason = reason;
  failure->systemText = std::move(text);
  return false;
}

bool FailWithErrno(PortOpenFailure* failure, PortOpenError reason) {
  return Fail(failure, reason, std::strerror(errno));
}

// What a failed open() means to the user.
PortOpenError OpenErrorOf(int error) {
  switch (error) {
    case ENOENT: case ENODEV: case ENXIO: case ENOTDIR:
      return PortOpenError::Missing;
    case EACCES: case EPERM: case EROFS:
      return PortOpenError::NoPermission;
    case EBUSY:
      return PortOpenError::Busy;
    case EISDIR:
      return PortOpenError::NotSerial;
    default:
      return PortOpenError::NotOpened;
  }
}

// A serial device is a terminal device, and not the program's own terminal (such
// as /dev/tty), which a user at it would lose.
bool CheckSerialDevice(int fd, PortOpenFailure* failure) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return FailWithErrno(failure, PortOpenError::Refused);
  if (S_ISDIR(status.st_mode)) return Fail(failure, PortOpenError::NotSerial, std::strerror(EISDIR));
  if (!S_ISCHR(status.st_mode)) {
    return Fail(failure, PortOpenError::NotSerial, "not a character device");
  }
  if (!isatty(fd)) return FailWithErrno(failure, PortOpenError::NotSerial);
  // tcgetpgrp answers only for the caller's controlling terminal.
  if (tcgetpgrp(fd) >= 0) {
    return Fail(failure, PortOpenError::NotSerial, "it is this program's own terminal");
  }
  return true;
}

bool ClaimExclusively(int fd, PortOpenFailure* failure) {
  // TIOCEXCL turns away later openers, except those with administrator rights; the
  // advisory lock turns away those too, as long as they lock as well.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return FailWithErrno(failure, errno == EWOULDBLOCK ? PortOpenError::Busy
                                                       : PortOpenError::Refused);
  }
  if (ioctl(fd, TIOCEXCL) != 0) return FailWithErrno(failure, PortOpenError::Refused);
  return true;
}

bool ApplyLineSettings(int fd, uint32_t baudRate, PortOpenFailure* failure) {
  speed_t speed;
  if (!SpeedFor(baudRate, &speed)) {
    return Fail(failure, PortOpenError::Refused,
                "no such baud rate: " + std::to_string(baudRate));
  }
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return FailWithErrno(failure, PortOpenError::NotSerial);
  cfmakeraw(&settings);
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  // Reads wait in poll(), so read() itself returns at once with what is there.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
      tcsetattr(fd, TCSANOW, &settings) != 0) {
    return FailWithErrno(failure, PortOpenError::Refused);
  }
  // tcsetattr succeeds when any part of the change was applied: check the rate.
  termios applied{};
  if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != speed) {
    return Fail(failure, PortOpenError::Refused,
                "the device does not take " + std::to_string(baudRate) + " baud");
  }
  return true;
}

// Holds DTR and RTS inactive. Pseudo-terminals have no modem lines, so a refusal
// is not a failure.
void DropModemLines(int fd) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
}

// Asks the driver to hand received bytes on at once rather than in batches, which
// matters for a protocol of single-byte replies. Drivers without the flag refuse.
void RequestLowLatency(int fd) {
#if defined(__linux__)
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);
#else
  (void)fd;
#endif
}

}  // namespace

std::string DevicePathOfPort(int portNumber) {
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

std::string SystemDevicePath(const std::string& path) {
  unsigned number = 0;
  if (!ParseComNumber(path, &number)) return path;
  return DevicePathOfPort(static_cast<int>(number));
}

// The kernel's input and output queues are larger than the 1024 bytes the updater
// needs, so there is nothing to size here.
std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string& path, uint32_t baudRate,
                                                    uint32_t timeoutMs,
                                                    PortOpenFailure* failure) {
  PortOpenFailure unused;
  if (failure == nullptr) failure = &unused;
  const std::string device = SystemDevicePath(path);
  // Opened without waiting for a carrier, then used blocking: reads wait in poll()
  // or in the driver (VTIME); writes switch to non-blocking and wait in poll().
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    FailWithErrno(failure, OpenErrorOf(errno));
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!CheckSerialDevice(fd, failure) || !ClaimExclusively(fd, failure)) {
    close(fd);
    return nullptr;
  }
  auto channel = std::make_unique<PosixSerialChannel>(fd, baudRate);
  if (!ApplyLineSettings(fd, baudRate, failure)) return nullptr;  // the channel closes fd
  DropModemLines(fd);
  RequestLowLatency(fd);
  channel->SetTimeouts(timeoutMs);
  return channel;
}
