#include "engine/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "xsvf/xsvf_interpreter.h"

namespace {

// Message of each error code of the XSVF player, indexed by the code.
const Message kXsvfErrorMessages[] = {
    MsgOk,                  // 0
    MsgUnknownError,        // 1
    MsgTdoMismatch,         // 2
    MsgTdoMismatchRetries,  // 3
    MsgUnsupportedCommand,  // 4
    MsgIllegalState,        // 5
    MsgDataOverflow,        // 6
    MsgCancelledByUser,     // 7
    MsgDebugFileError,      // 8
    MsgFileReadError,       // 9  XsvfProgramEnded
    MsgNotResponding,       // 10 XsvfFrameNotWritten
    MsgNotResponding,       // 11 XsvfNoReply
    MsgMultipleCrcError,    // 12 XsvfRepeatedCrc
    MsgReadTdoParameter,    // 13 XsvfBadReadAnswer
    MsgTargetRefused,       // 14 XsvfRefused
};
constexpr int kMappedXsvfErrors = sizeof kXsvfErrorMessages / sizeof kXsvfErrorMessages[0];
static_assert(kMappedXsvfErrors == XsvfRefused + 1, "every player error has a message");

}  // namespace

const char* MessageText(int id) {
  switch (id) {
#define MESSAGE(name, id, text) \
  case id:                      \
    return text;
#include "engine/messages.def"
#undef MESSAGE
  }
  return "";
}

std::string FormatMessageText(int id, ...) {
  va_list args;
  va_start(args, id);
  va_list probe;
  va_copy(probe, args);
  const int length = std::vsnprintf(nullptr, 0, MessageText(id), probe);
  va_end(probe);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), MessageText(id), args);
    text.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return text;
}

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

const char* XsvfErrorText(int code) {
  return MessageText(code >= 0 && code < kMappedXsvfErrors ? kXsvfErrorMessages[code]
                                                           : MsgUnknownError);
}
