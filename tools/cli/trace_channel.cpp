#include "tools/cli/trace_channel.h"

#include "link/command_link.h"
#include "link/protocol_bytes.h"

namespace {

std::string Hex(const uint8_t* data, uint32_t count) {
  std::string text;
  char digits[4];
  for (uint32_t i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", data[i]);
    text += digits;
  }
  return text;
}

uint32_t BigEndian(const uint8_t* data, uint32_t count) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < count; ++i) value = (value << 8) | data[i];
  return value;
}

// The command of a frame's payload, as the trace names it.
std::string NameCommand(const uint8_t* payload, uint32_t length) {
  const std::string letter = std::string("frame '") + static_cast<char>(payload[0]) + "'";
  switch (payload[0]) {
    case CableLevels:
      return letter + ": TAP levels";
    case CableShift:
      return length >= 4 ? letter + ": shift of " + std::to_string(BigEndian(payload + 2, 2)) +
                               " bits"
                         : letter;
    case CableRead:
      return length >= 3 ? letter + ": read back " + std::to_string(BigEndian(payload + 1, 2)) +
                               " bits"
                         : letter;
    case CableWait:
      return length >= 5 ? letter + ": wait " + std::to_string(BigEndian(payload + 1, 4)) + " us"
                         : letter;
    case CableEnd:
      return letter + ": end of the JTAG work";
    default:
      return letter;
  }
}

// A command frame: its length field counts what follows it, and its CRC matches.
bool IsFrame(const uint8_t* data, uint32_t count) {
  if (count < 5 || BigEndian(data, 2) != count - 2) return false;
  return Crc16(data + 2, count - 4) == BigEndian(data + count - 2, 2);
}

}  // namespace

std::string HostBytesNamer::Name(const uint8_t* data, uint32_t count) {
  char id[4];
  if (count == 1) {
    phase = data[0] == CmdSelect ? Phase::Selecting : Phase::Requests;
    switch (data[0]) {
      case CmdWake: return "wake-up probe";
      case CmdStart: return "start";
      case CmdSelect: return "select";
      case CmdEnd: return "end";
      default: return "";
    }
  }
  if (count == 3 && data[0] == CmdQuery) {
    phase = Phase::Requests;
    std::snprintf(id, sizeof id, "%02X", data[1]);
    return std::string("multiplicity query, target ") + id;
  }
  if (count == 2 && phase == Phase::Selecting && static_cast<uint8_t>(~data[0]) == data[1]) {
    phase = Phase::Selected;
    std::snprintf(id, sizeof id, "%02X", data[0]);
    return std::string("selection pair, target ") + id;
  }
  return NameWithinTarget(data, count);
}

void HostBytesNamer::Answered(uint8_t reply) {
  // A damaged selection pair is asked for again.
  if (phase == Phase::Selected && reply == ReplyRepeat) phase = Phase::Selecting;
}

std::string HostBytesNamer::NameWithinTarget(const uint8_t* data, uint32_t count) {
  if (phase == Phase::Selected) {
    const bool jtag = count == 2 && BigEndian(data, 2) == kJtagKind;
    phase = jtag ? Phase::Jtag : Phase::Firmware;
    if (jtag) return "kind: JTAG";
  }
  if (phase == Phase::Jtag && IsFrame(data, count)) return NameCommand(data + 2, count - 4);
  if (phase == Phase::Firmware && count >= 2 && BigEndian(data, 2) == count - 2) {
    return "firmware block of " + std::to_string(count - 2) + " bytes";
  }
  return "";
}

TraceChannel::TraceChannel(std::unique_ptr<SerialChannel> tracedLine, std::FILE* traceFile,
                           const std::string& heading)
    : line(std::move(tracedLine)), trace(traceFile) {
  std::fprintf(trace, "# %s\n", heading.c_str());
}

TraceChannel::~TraceChannel() {
  EndLine();
  std::fflush(trace);
}

double TraceChannel::SecondsSince(Clock::time_point start) const {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void TraceChannel::EndLine() {
  if (lineOpen) std::fputc('\n', trace);
  lineOpen = false;
  answerOpen = false;
}

bool TraceChannel::SetTimeouts(uint32_t newTimeoutMs) {
  timeoutMs = newTimeoutMs;
  return line->SetTimeouts(newTimeoutMs);
}

bool TraceChannel::Write(const uint8_t* data, uint32_t count) {
  const bool written = line->Write(data, count);
  EndLine();
  lastWrite = Clock::now();
  const std::string name = namer.Name(data, count);
  std::fprintf(trace, "%14.6f > %s%s%s%s", SecondsSince(started), Hex(data, count).c_str(),
               name.empty() ? "" : "  ", name.c_str(), written ? "" : "  (not written)");
  lineOpen = true;
  return written;
}

bool TraceChannel::Read(uint8_t* data, uint32_t count) {
  const bool complete = line->Read(data, count);
  if (!lineOpen) std::fprintf(trace, "%14.6f", SecondsSince(started));
  lineOpen = true;
  // A read that ends short has the bytes that did come at the start of the buffer;
  // the channel does not say how many, so only a whole read shows its bytes.
  if (complete && count == 1) namer.Answered(data[0]);
  if (complete) {
    std::fprintf(trace, "%s%s (+%.1f ms)", answerOpen ? " " : "  < ", Hex(data, count).c_str(),
                 SecondsSince(lastWrite) * 1000);
  } else if (count == 1) {
    std::fprintf(trace, "%s(nothing within %u ms)", answerOpen ? " " : "  < ", 2 * timeoutMs);
  } else {
    std::fprintf(trace, "%s(no whole answer of %u bytes)", answerOpen ? " " : "  < ", count);
  }
  answerOpen = true;
  // A read that waits for a whole answer frame ends the exchange.
  if (count > 1) EndLine();
  return complete;
}
