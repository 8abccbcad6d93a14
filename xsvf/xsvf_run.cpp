#include "xsvf/xsvf_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "link/jtag_cable.h"
#include "xsvf/shown_text.h"
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

// A comment is the program's text, not ours: its controls are shown, not obeyed.
void EchoToStandardOutput(const std::string& text) {
  std::printf(" %s\n", TerminalText(text).c_str());
}

void ShowOnStandardError(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

// Raises TMS, resets the TAP controller and plays commands until the program
// completes, fails or is cancelled. Link failures and the end of the program's
// data propagate.
void PlayCommands(SXsvfInfo& info, XsvfIo& io, const XsvfRunHost& host) {
  io.cable.SetPortLevel(PortTms, 1, true);
  InitPlayer(info, io);
  while (info.errorCode == XsvfOk && info.complete == 0) {
    StepCommand(info, io);
    if (host.progress) host.progress();
    // Also replaces a failure or the completion of the command just played.
    if (io.cable.Link().CancelRequested()) info.errorCode = XsvfCancelled;
  }
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
// here is swallowed so that the run's own result stands.
void EndJtagWork(JtagCable& cable) {
  try {
    cable.SendJtagEnd();
  } catch (const CComErrException&) {
  }
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
  JtagCable cable(link);
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
    stoppedSending = true;
  } catch (const XsvfDataEnded&) {
    info->errorCode = link.CancelRequested() ? XsvfCancelled : XsvfProgramEnded;
    stoppedSending = true;
  }
  LogResult(log, *info);
  if (!stoppedSending) EndJtagWork(cable);
  return info->errorCode;
}

const char* XsvfErrorName(int code) {
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
    case LinkError::BadReadAnswer:
      break;
  }
  return XsvfBadReadAnswer;
}
