#pragma once
// The boot loader's byte protocol: request bytes, the reply bytes that the whole
// system uses, the reply reader with its two counters, and the exchanges of an
// update, which the worker strings together.
//
// Everything here runs on the worker thread and uses the port, the file and the
// flags of the given UpdateState.

#include <cstdint>

#include "engine/protocol_bytes.h"
#include "engine/update_state.h"

// Bad replies in a row. Counts across the reply reader's calls; the worker sets it
// to 0 when an update starts.
extern int32_t badReplyCount;

// Bad replies in a row that end the update, and read time-outs in a row.
constexpr int32_t kBadReplyLimit = 4;
constexpr int32_t kTimeoutLimit = 20;

// Reads one reply byte. Returns 0x11, 0x22 (any unexpected byte), 0x33 (also for a
// time-out), 0x44, 0x88, or 0x9A once a limit is reached; the reason is then in
// the status line (and for silence, "unsuccessful" in the current row).
uint8_t ReadReply(UpdateState& state, int32_t& timeoutCount);

// How an exchange ended, as far as the worker must act on it.
enum class Exchange {
  Done,          // the exchange succeeded
  Unsuccessful,  // the target failed; the update goes on
  Cancelled,     // the user's cancel request was seen: end with Aborted
  GaveUp,        // ReadReply gave up: end with Finished (reason in statusLine)
  FormatError,   // a block could not be read from the file: ReportFormatError
};

// Probes until five 0x11 in a row. Done, or Cancelled.
Exchange WakeDevice(UpdateState& state);

// Sets deviceAnswered and message 115, sends CmdStart, sets the port's time-out to
// 150 and reads replies until 0x88. Done, GaveUp or Cancelled.
Exchange StartBootLoader(UpdateState& state, int32_t& timeoutCount);

// Multiplicity query for a firmware target. Done with *multiplicity set (1 when the
// device does not answer), or Unsuccessful when the two answers differ or the
// second is missing; *multiplicity then holds the first answer, which the target
// still counts with.
Exchange QueryMultiplicity(UpdateState& state, uint8_t targetId, uint32_t* multiplicity);

// Selection, with the kind bytes for a JTAG target. Returns the outcome reply:
// 0x11 selected, 0x44 no such target, 0x9A give up, anything else unsuccessful;
// sets *cancelled (and returns 0) when the cancel request was seen.
uint8_t SelectTarget(UpdateState& state, uint8_t targetId, bool jtag, int32_t& timeoutCount,
                     bool* cancelled);

// Sends the current record's firmware blocks, read through ReadDataByte (so
// g_pUpdateState must be `state`), with ReportProgress after each block read. Done,
// Unsuccessful (the device ended the target early), Cancelled, GaveUp or
// FormatError (the data end within a block, or a block exceeds 998 payload bytes).
Exchange SendFirmware(UpdateState& state, int32_t& timeoutCount);

// Sends CmdEnd; no reply is read.
void SendEnd(UpdateState& state);
