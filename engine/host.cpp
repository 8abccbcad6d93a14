#include "engine/host.h"

namespace {

void WriteToStandardError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
}

ShowMessageFunction showMessage = WriteToStandardError;
std::FILE* commentStream = nullptr;  // standard output

}  // namespace

void SetShowMessage(ShowMessageFunction function) {
  showMessage = function ? function : WriteToStandardError;
}

void ShowHostMessage(const char* text) {
  showMessage(text);
}

void SetCommentStream(std::FILE* stream) {
  commentStream = stream;
}

std::FILE* CommentStream() {
  return commentStream ? commentStream : stdout;
}
