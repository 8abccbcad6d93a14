#pragma once
// The bytes of the device's protocol, and nothing else: what the host sends to the
// boot loader, the one table of replies the device answers with, and the letters
// and flags of the JTAG cable commands. The boot loader exchanges, the framed
// command link, the cable commands and the device simulator all speak them; this
// header is the only thing the simulator shares with the host.

#include <cstdint>

enum Request : uint8_t {
  CmdWake = 0xA4,    // repeated until the boot loader answers
  CmdStart = 0xA3,   // once, after the wake-up
  CmdQuery = 0xA5,   // 0xA5, target id, 0x00: how many units a firmware target serves
  CmdSelect = 0xA0,  // followed by the selection pair: id and its complement
  CmdEnd = 0xA2,     // after the last target record
};

enum Reply : uint8_t {
  ReplyAck = 0x11,
  ReplyRepeat = 0x22,       // the device received the last message damaged
  ReplyBusy = 0x33,
  ReplyEnd = 0x44,          // no such target / target ended / JTAG run ended
  ReplyReady = 0x88,        // ready for the targets
  ReplyTdoMismatch = 0x99,  // a JTAG shift's TDO comparison failed
  ReplyGiveUp = 0x9A,       // never sent: the reply reader's result for "give the update up"
};

// The kind bytes a JTAG target's selection is followed by.
constexpr uint16_t kJtagKind = 0xFF00;

// The cable commands' letters, the first byte of every command frame's payload.
enum CableCommand : uint8_t {
  CableLevels = 'B',  // 'B', 1 to 99 level bytes (port + level * 16)
  CableShift = 'S',   // 'S', flags, bit count (2 bytes), coded vectors
  CableRead = 'R',    // 'R', bit count (2 bytes); after 0x11 an answer frame
  CableWait = 'T',    // 'T', microseconds (4 bytes)
  CableEnd = 'F',     // 'F'; answered 0x44
};

// The pins a level byte sets.
enum JtagPort : uint8_t { PortTms = 0, PortTck = 1 };

// Shift flags: what the shift is (compare, masked, exit), and which vectors the
// frame carries.
enum ShiftFlag : uint8_t {
  ShiftCompare = 0x01,
  ShiftMasked = 0x02,
  ShiftExit = 0x04,
  ShiftCarriesTdi = 0x08,
  ShiftCarriesExpected = 0x10,
  ShiftCarriesMask = 0x20,
};

// Run-length code of a shift's vectors: a byte with this bit set is followed by
// one byte repeated (byte - kRunCodeBit) times; a byte below it is a count of
// literal bytes that follow.
constexpr uint8_t kRunCodeBit = 0x80;
