#include "tools/soak/soak_faults.h"

#include <cstdio>
#include <numeric>

#include "engine/messages.h"
#include "xsvf/xsvf_interpreter.h"
#include "tools/cli/update_command.h"

uint32_t UpdateShape::TotalBlocks() const {
  return std::accumulate(firmwareBlocks.begin(), firmwareBlocks.end(), 0u);
}

bool UpdateShape::IsLastBlockOfTarget(uint32_t n) const {
  uint32_t last = 0;
  for (uint32_t blocks : firmwareBlocks) {
    last += blocks;
    if (n == last) return true;
  }
  return false;
}

namespace {

// Reply limits of the updater: bad replies in a row before it gives up, and
// resends of one JTAG frame.
constexpr uint32_t kBadReplyLimit = 4;
constexpr uint32_t kFrameResends = 5;

uint32_t Between(SoakRandom& random, uint32_t low, uint32_t high) {
  return low + static_cast<uint32_t>(random() % (uint64_t{high} - low + 1));
}

// A byte that the updater takes as a bad reply: anything but ack, busy, end and
// ready.
uint8_t BadReplyByte(SoakRandom& random) {
  for (;;) {
    const uint8_t byte = static_cast<uint8_t>(random());
    if (byte != 0x11 && byte != 0x33 && byte != 0x44 && byte != 0x88) return byte;
  }
}

std::string DeviceFault(const char* kind, const char* point, uint32_t n, uint32_t count) {
  char text[64];
  std::snprintf(text, sizeof text, "%s:%s:%u:x%u", kind, point, n, count);
  return text;
}

// A fault whose device sends the byte.
std::string DeviceFault(const char* kind, const char* point, uint32_t n, uint32_t count,
                        uint8_t byte) {
  char text[16];
  std::snprintf(text, sizeof text, ":0x%02X", byte);
  return DeviceFault(kind, point, n, count) + text;
}

std::string ResultLine(const UpdateShape& shape, uint32_t failed) {
  return FormatMessageText(MsgResult, static_cast<int>(shape.targets - failed),
                           static_cast<int>(shape.targets));
}

Expectation AllUpdated(const UpdateShape& shape) {
  return {ExitAllUpdated, {ResultLine(shape, 0)}};
}

Expectation TargetsFailed(const UpdateShape& shape, uint32_t failed) {
  return {ExitSomeFailed, {ResultLine(shape, failed)}};
}

Expectation EndedWith(const char* statusLine) {
  return {ExitOtherError, {statusLine}};
}

// The fourth bad reply in a row ends the update; its byte says how.
Expectation BadRepliesEnd(uint8_t byte) {
  return EndedWith(MessageText(byte == 0x22 ? MsgCrcError : MsgWrongAnswer));
}

// Where a fault can strike in this update.
enum class Point { Start, Selection, Block, Frame, Wait };

const char* PointName(Point point) {
  switch (point) {
    case Point::Start: return "start";
    case Point::Selection: return "select";
    case Point::Block: return "block";
    case Point::Frame: return "frame";
    case Point::Wait: return "wait";
  }
  return "";
}

// The n-th occurrence of the point, drawn from those the update has. The last
// JTAG frame is left out: it closes the JTAG work, and the updater ignores how
// the device answers it.
uint32_t DrawOccurrence(SoakRandom& random, const UpdateShape& shape, Point point) {
  switch (point) {
    case Point::Start: return 1;
    case Point::Selection: return Between(random, 1, shape.targets);
    case Point::Block: return Between(random, 1, shape.TotalBlocks());
    case Point::Frame: return Between(random, 1, shape.frames - 1);
    case Point::Wait: return Between(random, 1, shape.waits);
  }
  return 1;
}

// One of the points, skipping those the update does not have.
Point DrawPoint(SoakRandom& random, const UpdateShape& shape, std::vector<Point> points) {
  std::vector<Point> present;
  for (Point point : points) {
    if (point == Point::Block && shape.TotalBlocks() == 0) continue;
    if (point == Point::Frame && shape.frames < 2) continue;
    present.push_back(point);
  }
  return present[random() % present.size()];
}

// Bytes before the wake-up's answer only restart its count of acknowledgements;
// four or more before a block's answer are four bad replies in a row.
SoakFault Noise(SoakRandom& random, const UpdateShape& shape) {
  const uint8_t byte = BadReplyByte(random);
  if (shape.TotalBlocks() == 0 || random() % 2 == 0) {
    const uint32_t count = Between(random, 1, 8);
    return {"noise", DeviceFault("noise", "wake", Between(random, 1, 3), count, byte),
            AllUpdated(shape)};
  }
  const uint32_t count = Between(random, kBadReplyLimit, kBadReplyLimit + 2);
  const uint32_t n = DrawOccurrence(random, shape, Point::Block);
  return {"noise", DeviceFault("noise", "block", n, count, byte), BadRepliesEnd(byte)};
}

// Damaged messages are sent again: blocks and selections until the fourth bad
// reply in a row, JTAG frames five times.
SoakFault Damaged(SoakRandom& random, const UpdateShape& shape) {
  const Point point = DrawPoint(random, shape, {Point::Block, Point::Selection, Point::Frame});
  const uint32_t limit = point == Point::Frame ? kFrameResends + 1 : kBadReplyLimit;
  const uint32_t count = Between(random, 1, limit + 2);
  const uint32_t n = DrawOccurrence(random, shape, point);
  Expectation expected = AllUpdated(shape);
  if (count >= limit) {
    expected = EndedWith(point == Point::Frame ? XsvfErrorText(XsvfRepeatedCrc)
                                               : MessageText(MsgCrcError));
  }
  return {"damaged", DeviceFault("repeat", PointName(point), n, count), expected};
}

SoakFault BadReply(SoakRandom& random, const UpdateShape& shape) {
  const Point point = DrawPoint(random, shape, {Point::Block, Point::Selection});
  const uint8_t byte = BadReplyByte(random);
  const uint32_t count = Between(random, 1, kBadReplyLimit + 2);
  const uint32_t n = DrawOccurrence(random, shape, point);
  return {"bad-reply", DeviceFault("reply", PointName(point), n, count, byte),
          count >= kBadReplyLimit ? BadRepliesEnd(byte) : AllUpdated(shape)};
}

// A busy device is waited for as long as it says so.
SoakFault Busy(SoakRandom& random, const UpdateShape& shape) {
  const Point point = DrawPoint(random, shape, {Point::Start, Point::Block, Point::Frame});
  const uint32_t count = Between(random, 1, point == Point::Start ? 50 : 200);
  const uint32_t n = DrawOccurrence(random, shape, point);
  return {"busy", DeviceFault("busy", PointName(point), n, count), AllUpdated(shape)};
}

// Silence ends the update, except at a selection: a selection that gets no answer
// fails its target, and so does every later one.
SoakFault Silence(SoakRandom& random, const UpdateShape& shape) {
  const Point point =
      DrawPoint(random, shape, {Point::Start, Point::Selection, Point::Block, Point::Frame});
  const uint32_t n = DrawOccurrence(random, shape, point);
  const Expectation expected = point == Point::Selection
                                   ? TargetsFailed(shape, shape.targets - (n - 1))
                                   : EndedWith(MessageText(MsgNotResponding));
  return {"silence", DeviceFault("silence", PointName(point), n, 1), expected};
}

SoakFault Disconnect(SoakRandom& random, const UpdateShape& shape) {
  const Point point = DrawPoint(random, shape, {Point::Block, Point::Frame});
  const uint32_t n = DrawOccurrence(random, shape, point);
  return {"disconnect", DeviceFault("disconnect", PointName(point), n, 1),
          EndedWith(MessageText(MsgNotResponding))};
}

// The device ends a firmware target at a block: done if that was its last block.
SoakFault EarlyEnd(SoakRandom& random, const UpdateShape& shape) {
  const uint32_t n = DrawOccurrence(random, shape, Point::Block);
  return {"early-end", DeviceFault("end", "block", n, 1),
          shape.IsLastBlockOfTarget(n) ? AllUpdated(shape) : TargetsFailed(shape, 1)};
}

// The first compared shift has no retries; anywhere, more mismatches in a row
// than any retry count ends the update with one of the two mismatch messages.
SoakFault Mismatch(SoakRandom& random, const UpdateShape& shape) {
  if (random() % 2 == 0) {
    return {"mismatch", DeviceFault("mismatch", "shift", 1, Between(random, 1, 3)),
            EndedWith(MessageText(MsgTdoMismatch))};
  }
  const uint32_t n = Between(random, 1, shape.comparedShifts);
  const uint32_t count = Between(random, kMostShiftRetries + 1, kMostShiftRetries + 4);
  return {"mismatch", DeviceFault("mismatch", "shift", n, count),
          {ExitOtherError, {MessageText(MsgTdoMismatch), MessageText(MsgTdoMismatchRetries)}}};
}

// The devices that would hold the host for ever. A device that answers busy
// without end (every 100 ms, or as fast as the line goes) is given up after the
// host's busy limit; so is one that floods the line with a byte that the start and
// a block pass over. A flood of bad replies is four bad replies in a row.
SoakFault Stuck(SoakRandom& random, const UpdateShape& shape) {
  const Point point = DrawPoint(random, shape, {Point::Start, Point::Block, Point::Frame});
  return {"stuck", DeviceFault("stuck", PointName(point), DrawOccurrence(random, shape, point), 1),
          EndedWith(MessageText(MsgNotResponding))};
}

SoakFault Flood(SoakRandom& random, const UpdateShape& shape, bool realTime) {
  const Point point = realTime ? DrawPoint(random, shape, {Point::Start, Point::Block})
                               : DrawPoint(random, shape, {Point::Start, Point::Block, Point::Frame});
  const uint32_t n = DrawOccurrence(random, shape, point);
  if (!realTime && (point == Point::Frame || random() % 2 == 0)) {
    return {"flood", DeviceFault("flood", PointName(point), n, 1, 0x33),
            EndedWith(MessageText(MsgNotResponding))};
  }
  const uint8_t byte = BadReplyByte(random);
  return {"flood", DeviceFault("flood", PointName(point), n, 1, byte), BadRepliesEnd(byte)};
}

// A device that stops reading after it has answered a block that is not its
// target's last, or a JTAG frame that comes before the last one ahead of the
// closing 'F': the next request's answer never comes. (After the last frame
// ahead of it, only the closing frame goes unanswered, which the updater reports
// as a warning: the program has played through.)
SoakFault Deaf(SoakRandom& random, const UpdateShape& shape) {
  std::vector<uint32_t> blocks;
  for (uint32_t n = 1; n <= shape.TotalBlocks(); ++n) {
    if (!shape.IsLastBlockOfTarget(n)) blocks.push_back(n);
  }
  const bool frame = shape.frames >= 3 && (blocks.empty() || random() % 2 == 0);
  const uint32_t n = frame ? Between(random, 1, shape.frames - 2) : blocks[random() % blocks.size()];
  return {"deaf", DeviceFault("deaf", frame ? "frame" : "block", n, 1),
          EndedWith(MessageText(MsgNotResponding))};
}

bool CanGoDeaf(const UpdateShape& shape) {
  return shape.frames >= 3 || shape.TotalBlocks() > shape.firmwareBlocks.size();
}

// A wait refused with 0x44, and not carried out: the run ends there, since what
// the wait was for (an erase, a programming time) did not happen.
SoakFault RefusedWait(SoakRandom& random, const UpdateShape& shape) {
  const uint32_t n = DrawOccurrence(random, shape, Point::Wait);
  return {"refused-wait", DeviceFault("refuse", "wait", n, 1),
          EndedWith(MessageText(MsgTargetRefused))};
}

}  // namespace

const std::vector<std::string>& FaultKinds() {
  static const std::vector<std::string> kinds = {
      "none",      "noise", "damaged", "bad-reply", "busy", "silence",      "disconnect",
      "early-end", "mismatch", "stuck", "flood",     "deaf", "refused-wait"};
  return kinds;
}

SoakFault NoFault(const UpdateShape& shape) {
  return {"none", "", AllUpdated(shape)};
}

SoakFault DrawFault(SoakRandom& random, const UpdateShape& shape, bool realTime) {
  for (;;) {
    const std::string& kind = FaultKinds()[random() % FaultKinds().size()];
    const bool blocks = shape.TotalBlocks() > 0;
    const bool jtag = shape.hasJtag && shape.frames >= 2 && shape.comparedShifts > 0;
    if (kind == "none") return NoFault(shape);
    if (kind == "noise") return Noise(random, shape);
    if (kind == "damaged") return Damaged(random, shape);
    if (kind == "bad-reply") return BadReply(random, shape);
    if (kind == "busy") return Busy(random, shape);
    if (kind == "silence") return Silence(random, shape);
    if (kind == "disconnect" && (blocks || jtag)) return Disconnect(random, shape);
    if (kind == "early-end" && blocks) return EarlyEnd(random, shape);
    if (kind == "mismatch" && jtag) return Mismatch(random, shape);
    if (kind == "stuck" && !realTime) return Stuck(random, shape);
    if (kind == "flood") return Flood(random, shape, realTime);
    if (kind == "deaf" && CanGoDeaf(shape)) return Deaf(random, shape);
    if (kind == "refused-wait" && shape.waits > 0) return RefusedWait(random, shape);
  }
}
