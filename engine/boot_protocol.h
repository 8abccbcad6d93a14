#pragma once
// The boot loader's byte protocol: the reply reader with its two counters, and
// the exchanges of an update, which the worker strings together.
//
// Everything here runs on the worker thread and uses the port and the flags of
// the given UpdateState. No exchange writes why an update ends: it returns
// GaveUp, and the reply reader says why (the worker ends the update with that).
//
// Every wait on the device after the wake-up has a limit: a silent device the
// reply reader's time-outs, a busy or babbling one kDeviceBusyLimitMs per exchange
// (measured on the port's clock), a port that does not take a request its write
// limit. Each is reported as a device that does not respond. The wake-up alone
// probes until the device answers or the user cancels: it waits for the user to
// switch the device on.

#include <cstdint>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_state.h"
#include "link/command_link.h"
#include "link/protocol_bytes.h"

// Bad replies in a row that end the update, and read time-outs in a row.
constexpr int32_t kBadReplyLimit = 4;
constexpr int32_t kTimeoutLimit = 20;

// The reply reader of one update.
class ReplyReader {
 public:
  explicit ReplyReader(CSerialPort& port) : port(port) {}

  // Reads one reply byte. Returns 0x11, 0x22 (any unexpected byte), 0x33 (also for
  // a time-out), 0x44, 0x88, or 0x9A once a limit is reached; GiveUpReason() then
  // says why.
  uint8_t ReadReply();

  // Gives the update up as a device that does not respond (MsgNotResponding, the
  // target under way fails): the port did not take a request within its write
  // limit, or the device kept an exchange waiting past kDeviceBusyLimitMs.
  // Returns 0x9A.
  uint8_t NotResponding();

  // After 0x9A: the status line the update ends with (MsgCrcError,
  // MsgNotResponding or MsgWrongAnswer), and whether the target under way failed
  // with it (silence: "unsuccessful").
  Message GiveUpReason() const { return giveUpReason; }
  bool TargetFailed() const { return giveUpReason == MsgNotResponding; }

  // Bad replies in a row: counted across exchanges, cleared by 0x11, 0x44, 0x88.
  int32_t badReplyCount = 0;
  // Read time-outs in a row: cleared by any byte, and when the device has woken.
  int32_t timeoutCount = 0;

 private:
  uint8_t BadReply(uint8_t received);
  uint8_t TimedOut();

  CSerialPort& port;
  Message giveUpReason = MsgUnknownError;
};

// How an exchange ended, as far as the worker must act on it.
enum class Exchange {
  Done,          // the exchange succeeded
  Unsuccessful,  // the target failed; the update goes on
  Cancelled,     // the user's cancel request was seen: end with Aborted
  GaveUp,        // the reply reader gave up: end with Finished and its reason
  FormatError,   // a block could not be read from the file: end with MsgBadRecord
};

// Probes until five 0x11 in a row. Done, or Cancelled.
Exchange WakeDevice(UpdateState& state);

// Sets deviceAnswered and MsgRunning, sends CmdStart, sets the port's time-out to
// 150 and reads replies until 0x88, for at most kDeviceBusyLimitMs. Done, GaveUp or
// Cancelled.
Exchange StartBootLoader(UpdateState& state, ReplyReader& replies);

// Multiplicity query for a firmware target. Done with *multiplicity set (1 when the
// device does not answer), or Unsuccessful when the two answers differ or the
// second is missing; *multiplicity then holds the first answer, which the target
// still counts with. GaveUp when the port did not take the query.
Exchange QueryMultiplicity(UpdateState& state, ReplyReader& replies, uint8_t targetId,
                           uint32_t* multiplicity);

// Selection, with the kind bytes for a JTAG target. Returns the outcome reply:
// 0x11 selected, 0x44 no such target, 0x9A give up, anything else unsuccessful;
// sets *cancelled (and returns 0) when the cancel request was seen.
uint8_t SelectTarget(UpdateState& state, ReplyReader& replies, uint8_t targetId, bool jtag,
                     bool* cancelled);

// Sends the current record's firmware blocks, read from `file`, with
// ReportProgress after each block read. Done, Unsuccessful (the device ended the
// target early), Cancelled, GaveUp or FormatError (the data end within a block,
// or a block exceeds 998 payload bytes). A block that the device keeps busy or
// asks for again without taking it gives up after kDeviceBusyLimitMs.
Exchange SendFirmware(UpdateState& state, ReplyReader& replies, UpdateFileReader& file);

// Sends CmdEnd; no reply is read.
void SendEnd(UpdateState& state);
