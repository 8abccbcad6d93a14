#include "engine/host.h"

#include <cstdio>

namespace {

void WriteToStandardError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
}

void EchoToStandardOutput(const std::string& text) {
  std::printf(" %s\n", text.c_str());
}

ShowMessageFunction showMessage = WriteToStandardError;
CommentFunction commentSink = EchoToStandardOutput;

}  // namespace

void SetShowMessage(ShowMessageFunction function) {
  showMessage = function ? function : WriteToStandardError;
}

void ShowHostMessage(const char* text) {
  showMessage(text);
}

void SetCommentSink(CommentFunction function) {
  commentSink = function ? function : EchoToStandardOutput;
}

void EchoComment(const std::string& text) {
  commentSink(text);
}
