#pragma once
// The XSVF run entry: plays one XSVF program through the device, with its debug
// log.

#include <functional>
#include <string>

#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "xsvf/byte_source.h"
#include "xsvf/debug_log.h"
#include "xsvf/xsvf_interpreter.h"

// What a run reports to besides the device: the update it belongs to.
struct XsvfRunHost {
  std::string debugLogPath = kDebugLogName;
  // Called after every command: the update shows how far the program has got.
  std::function<void()> progress;
  // Where the program's comments go. Empty: a blank, the text and a line end on
  // standard output.
  CommentSink comment;
  // Tells the user that the debug log cannot be created and returns once they
  // have read it. Empty: the text on standard error.
  std::function<void(const std::string& text)> showMessage;
  // Called when a run that passed did not get its end confirmed by the device
  // (its 'F' was answered with other than 0x44, or not at all). Empty: not told.
  std::function<void()> endNotConfirmed;
  // How TAP steps travel to the device.
  StepFrames stepFrames = StepFrames::Batched;
};

// Plays the program that `program` delivers over the link. Returns 0 when it ran
// to XCOMPLETE, otherwise the error code: 2 to 6 from the player, 7 when the user
// cancelled (the link's cancel request was seen after a command), 8 when the
// debug log could not be created, 9 when the program's data ended early, 10 to 13
// for the link's failures, 14 when the device refused TAP steps or a wait. Never
// throws.
//
// The run raises TMS and resets the TAP controller on a cable of its own, plays
// command by command, logs the result, and closes the JTAG work with the 'F'
// command unless the link failed or the program's data ran out.
int PlayXsvf(XsvfByteSource& program, CommandLink& link, const XsvfRunHost& host);

// The error's name in the debug log; codes without one take the name of code 1.
const char* XsvfErrorName(int code);

// The player's error code for a failure of the link.
XsvfError XsvfErrorOfLink(LinkError error);
