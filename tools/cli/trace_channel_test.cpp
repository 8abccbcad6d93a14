#include "tools/cli/trace_channel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/command_link.h"
#include "link/protocol_bytes.h"
#include "testsupport/captured_text.h"
#include "testsupport/memory_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string NameOf(HostBytesNamer& namer, const Bytes& bytes) {
  return namer.Name(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A block of 998 zeros reads 03 E6 00 00 ...: its length field counts what
// follows and its last two bytes are the CRC-16 of the zeros before them, so it
// used to be named as a frame. Where the exchange stands decides.
TEST(HostBytesNamer, NamesEachWriteByWhereTheExchangeStands) {
  Bytes zeros(1000, 0);
  zeros[0] = 0x03;
  zeros[1] = 0xE6;
  Bytes endFrame = {0x00, 0x03, CableEnd, 0, 0};
  const uint16_t crc = Crc16(endFrame.data() + 2, 1);
  endFrame[3] = static_cast<uint8_t>(crc >> 8);
  endFrame[4] = static_cast<uint8_t>(crc & 0xFF);

  HostBytesNamer namer;
  EXPECT_EQ(NameOf(namer, zeros), "") << "no target selected yet";
  EXPECT_EQ(NameOf(namer, {CmdWake}), "wake-up probe");
  EXPECT_EQ(NameOf(namer, {CmdQuery, 0x01, 0x00}), "multiplicity query, target 01");
  EXPECT_EQ(NameOf(namer, {CmdSelect}), "select");
  EXPECT_EQ(NameOf(namer, {0x01, 0xFE}), "selection pair, target 01");
  namer.Answered(ReplyRepeat);
  EXPECT_EQ(NameOf(namer, {0x01, 0xFE}), "selection pair, target 01") << "asked for again";
  namer.Answered(ReplyAck);
  EXPECT_EQ(NameOf(namer, zeros), "firmware block of 998 bytes");
  namer.Answered(ReplyAck);
  EXPECT_EQ(NameOf(namer, zeros), "firmware block of 998 bytes");
  EXPECT_EQ(NameOf(namer, endFrame), "firmware block of 3 bytes") << "a frame's bytes, as a block";
  EXPECT_EQ(NameOf(namer, {0x00, 0x05, 0xAB, 0xCD}), "") << "a length that does not fit";

  // Target FF's selection pair and the JTAG kind are the same bytes.
  EXPECT_EQ(NameOf(namer, {CmdSelect}), "select");
  EXPECT_EQ(NameOf(namer, {0xFF, 0x00}), "selection pair, target FF");
  namer.Answered(ReplyAck);
  EXPECT_EQ(NameOf(namer, {0xFF, 0x00}), "kind: JTAG");
  EXPECT_EQ(NameOf(namer, endFrame), "frame 'F': end of the JTAG work");
  EXPECT_EQ(NameOf(namer, {0x00, 0x02, 0xAB, 0xCD}), "") << "no block within a JTAG target";
  EXPECT_EQ(NameOf(namer, {CmdEnd}), "end");
  EXPECT_EQ(NameOf(namer, {0x00, 0x02, 0xAB, 0xCD}), "");
}

// A second run appends to the trace: each opening of the port has a heading of
// its own, and its times count from there, never from the earlier run's start.
TEST(TraceChannel, EachOpeningStartsWithItsHeading) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  for (const char* heading : {"COM3 opened at 2026-01-01T00:00:00Z; seconds from here",
                              "COM3 opened at 2026-01-01T00:05:00Z; seconds from here"}) {
    auto port = std::make_unique<MemoryPort>();
    port->QueueReply({ReplyAck});
    TraceChannel channel(std::move(port), file, heading);
    const uint8_t wake = CmdWake;
    uint8_t reply = 0;
    ASSERT_TRUE(channel.Write(&wake, 1));
    ASSERT_TRUE(channel.Read(&reply, 1));
  }
  const std::vector<std::string> lines = Lines(ContentsAndClose(file));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "# COM3 opened at 2026-01-01T00:00:00Z; seconds from here");
  EXPECT_EQ(lines[2], "# COM3 opened at 2026-01-01T00:05:00Z; seconds from here");
  for (const size_t exchange : {1u, 3u}) {
    EXPECT_EQ(lines[exchange].substr(14, 22), " > A4  wake-up probe  ") << lines[exchange];
    EXPECT_LT(std::stod(lines[exchange]), 1.0) << lines[exchange];
  }
}

}  // namespace
