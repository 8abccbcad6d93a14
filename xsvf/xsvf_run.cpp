#include "xsvf/xsvf_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "link/jtag_cable.h"
#include "xsvf/tap_navigation.h"

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

void EchoToStandardOutput(const std::string& text) {
  std::printf(" %s\n", text.c_str());
}

void ShowOnStandardError(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

// Raises TMS, resets the TAP controller and plays commands until the program
// completes, fails or is cancelled, then sends the TAP steps still queued: the
// device takes every step the program made, however the steps were framed. Link
// failures, refusals and the end of the program's data propagate; when the data
// end, the steps made before go out first, as they did one step per frame.
void PlayCommands(SXsvfInfo& info, XsvfIo& io, const XsvfRunHost& host) {
  io.cable.SetPortLevel(PortTms, 1, true);
  InitPlayer(info, io);
  try {
    while (info.errorCode == XsvfOk && info.complete == 0) {
      StepCommand(info, io);
      if (host.progress) host.progress();
      // Also replaces a failure or the completion of the command just played.
      if (io.cable.Link().CancelRequested()) info.errorCode = XsvfCancelled;
    }
  } catch (const XsvfDataEnded&) {
    io.cable.SendQueuedLevels();
    throw;
  }
  io.cable.SendQueuedLevels();
}

void LogResult(XsvfDebugLog& log, const SXsvfInfo& info) {
  if (info.errorCode == XsvfOk) {
    log.Log(0, "SUCCESS - Completed XSVF execution.\n");
    return;
  }
  log.Log(0, "%s\n", XsvfErrorName(info.errorCode));
  log.Log(0, "ERROR at or near XSVF command #%ld.  See line #%ld in the XSVF ASCII file.\n",
          static_cast<long>(info.commandCount), static_cast<long>(info.commandCount));
}

// The closing 'F' command. Its result does not change the run's: a link failure
// here is swallowed so that the run's own result stands. When a run that passed
// does not get its end confirmed, the host is told: the device may not have
// finished, and the next target shows whether it went on.
void EndJtagWork(JtagCable& cable, bool passed, const XsvfRunHost& host) {
  bool confirmed = false;
  try {
    confirmed = cable.SendJtagEnd();
  } catch (const CComErrException&) {
  }
  if (passed && !confirmed && host.endNotConfirmed) host.endNotConfirmed();
}

// A refusal comes from a device that still answers; any other failure of a frame
// leaves the line in doubt.
bool DeviceStillAnswers(LinkError error) {
  return error == LinkError::LevelsRefused || error == LinkError::WaitRefused;
}

// The state record of a run. Zero-filled, so that a command that uses the
// expected TDO before any command set it sees an empty vector; the mask, though,
// starts with every bit set: a compare made before the program sets a mask
// checks every bit instead of none, so that it cannot pass a verify that checked
// nothing.
std::unique_ptr<SXsvfInfo> NewXsvfInfo() {
  auto info = std::make_unique<SXsvfInfo>();
  std::fill(std::begin(info->tdoMask.value), std::end(info->tdoMask.value), 0xFF);
  return info;
}

}  // namespace

int PlayXsvf(XsvfByteSource& program, CommandLink& link, const XsvfRunHost& host) {
  XsvfDebugLog log(host.debugLogPath);
  if (!log.Open()) {
    (host.showMessage ? host.showMessage : ShowOnStandardError)(log.OpenFailureText());
    return XsvfDebugFile;
  }
  log.WriteText("Start der Aufzeichnung\r\n\r\n");
  // A cable of the run's own: the device may have been switched off since the
  // last run, so it holds none of the vectors or levels an earlier cable sent.
  JtagCable cable(link, host.stepFrames);
  XsvfIo io{program, cable, log, host.comment ? host.comment : EchoToStandardOutput};
  std::unique_ptr<SXsvfInfo> info = NewXsvfInfo();
  bool stoppedSending = false;
  try {
    PlayCommands(*info, io, host);
  } catch (const CComErrException& failure) {
    // Once the user has cancelled, the link may have ended the device's work with
    // 0xA2 while it was busy, and the rest of the command goes unanswered: such a
    // failure is the cancel's doing, not the device's.
    info->errorCode = link.CancelRequested() ? XsvfCancelled : XsvfErrorOfLink(failure.code);
    // A device that refused a step or a wait gets its JTAG work closed, as after
    // any other player error.
    stoppedSending = !DeviceStillAnswers(failure.code);
  } catch (const XsvfDataEnded&) {
    info->errorCode = link.CancelRequested() ? XsvfCancelled : XsvfProgramEnded;
    stoppedSending = true;
  }
  LogResult(log, *info);
  if (!stoppedSending) EndJtagWork(cable, info->errorCode == XsvfOk, host);
  return info->errorCode;
}

const char* XsvfErrorName(int code) {
  if (code == XsvfRefused) return "ERROR:  Target refused a TAP step or a wait";
  return kErrorNames[code >= 0 && code < kNamedErrors ? code : XsvfUnknown];
}

XsvfError XsvfErrorOfLink(LinkError error) {
  switch (error) {
    case LinkError::FrameNotWritten:
      return XsvfFrameNotWritten;
    case LinkError::NoReply:
      return XsvfNoReply;
    case LinkError::RepeatedCrc:
      return XsvfRepeatedCrc;
    case LinkError::LevelsRefused:
    case LinkError::WaitRefused:
      return XsvfRefused;
    case LinkError::BadReadAnswer:
      break;
  }
  return XsvfBadReadAnswer;
}
