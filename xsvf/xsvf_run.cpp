#include "xsvf/xsvf_run.h"

#include <algorithm>
#include <memory>

#include "engine/host.h"
#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_state.h"
#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "xsvf/debug_log.h"
#include "xsvf/tap_navigation.h"
#include "xsvf/xsvf_interpreter.h"

namespace {

const char* const kErrorNames[] = {
    "No error",
    "ERROR:  Unknown",
    "ERROR:  TDO mismatch",
    "ERROR:  TDO mismatch and exceeded max retries",
    "ERROR:  Unsupported XSVF command",
    "ERROR:  Illegal state specification",
    "ERROR:  Data overflows allocated MAX_LEN buffer size",
};
constexpr int kNamedErrors = sizeof kErrorNames / sizeof kErrorNames[0];

// Message of each error code, indexed by the code.
const Message kErrorMessages[] = {
    MsgOk,                  // 0
    MsgUnknownError,        // 1
    MsgTdoMismatch,         // 2
    MsgTdoMismatchRetries,  // 3
    MsgUnsupportedCommand,  // 4
    MsgIllegalState,        // 5
    MsgDataOverflow,        // 6
    MsgCancelledByUser,     // 7
    MsgDebugFileError,      // 8
    MsgFileReadError,       // 9
    MsgNotResponding,       // 10
    MsgNotResponding,       // 11
    MsgMultipleCrcError,    // 12
    MsgReadTdoParameter,    // 13
};
constexpr int kMappedErrors = sizeof kErrorMessages / sizeof kErrorMessages[0];

// Raises TMS, resets the TAP controller and plays commands until the program
// completes, fails or is cancelled. Link failures propagate.
void PlayCommands(SXsvfInfo& info) {
  SetPortLevel(PortTms, 1, true);
  InitPlayer(info);
  while (info.errorCode == XsvfOk && info.complete == 0) {
    StepCommand(info);
    ReportProgress();
    // Also replaces a failure or the completion of the command just played.
    if (g_pUpdateState->cancelRequested.load() != 0) info.errorCode = XsvfCancelled;
  }
}

void LogResult(const SXsvfInfo& info) {
  if (info.errorCode == XsvfOk) {
    DebugLog(0, "SUCCESS - Completed XSVF execution.\n");
    return;
  }
  DebugLog(0, "%s\n", XsvfErrorName(info.errorCode));
  DebugLog(0, "ERROR at or near XSVF command #%ld.  See line #%ld in the XSVF ASCII file.\n",
           static_cast<long>(info.commandCount), static_cast<long>(info.commandCount));
}

// The closing 'F' command. Its result does not change the run's: a link failure
// here is swallowed so that the run's own result stands.
void EndJtagWork() {
  try {
    SendJtagEnd();
  } catch (const CComErrException&) {
  }
}

}  // namespace

int PlayXsvf() {
  if (!OpenDebugLog()) {
    ShowHostMessage(DebugLogOpenFailureText().c_str());
    return XsvfDebugFile;
  }
  WriteDebugText("Start der Aufzeichnung\r\n\r\n");
  // The device may have been switched off since the last run: it holds none of
  // the vectors or levels that the cable remembers.
  ResetCableState();
  // Zero-filled, so that a command that uses the expected TDO before any command
  // set it sees an empty vector; the mask, though, starts with every bit set: a
  // compare made before the program sets a mask checks every bit instead of none,
  // so that it cannot pass a verify that checked nothing.
  auto info = std::make_unique<SXsvfInfo>();
  std::fill(std::begin(info->tdoMask.value), std::end(info->tdoMask.value), 0xFF);
  bool linkFailed = false;
  try {
    PlayCommands(*info);
  } catch (const CComErrException& failure) {
    // Once the user has cancelled, the link may have ended the device's work with
    // 0xA2 while it was busy, and the rest of the command goes unanswered: such a
    // failure is the cancel's doing, not the device's.
    const bool cancelled = g_pUpdateState->cancelRequested.load() != 0;
    info->errorCode = cancelled ? XsvfCancelled : failure.code;
    linkFailed = true;
  }
  LogResult(*info);
  if (!linkFailed) EndJtagWork();
  CloseDebugLog();
  return info->errorCode;
}

const char* XsvfErrorText(int code) {
  const Message message =
      code >= 0 && code < kMappedErrors ? kErrorMessages[code] : MsgUnknownError;
  return MessageText(message);
}

const char* XsvfErrorName(int code) {
  return kErrorNames[code >= 0 && code < kNamedErrors ? code : XsvfUnknown];
}
