#pragma once
// The bytes of the boot loader's protocol: what the host sends and the one table
// of replies the device answers with, used by the boot loader exchanges, the
// framed command link and the device simulator alike.

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
  ReplyGiveUp = 0x9A,       // never sent: ReadReply's result for "give the update up"
};
