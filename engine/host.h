#pragma once
// What the engine needs from the front end that runs it. The worker never shows a
// window, with one exception: the XSVF player's message when its debug log cannot
// be created, which waits until the user has read it. Comments in XSVF programs
// go to a comment sink.

#include <string>

// Shows a message to the user and returns once it has been acknowledged. The
// default writes it to standard error.
using ShowMessageFunction = void (*)(const char* text);
void SetShowMessage(ShowMessageFunction function);
void ShowHostMessage(const char* text);

// Receives the text of each XSVF comment (without its closing 0 byte), on the
// worker thread. The default echoes it to standard output as a blank, the text
// and a line end; a front end with a display of its own shows it there instead.
using CommentFunction = void (*)(const std::string& text);
void SetCommentSink(CommentFunction function);
void EchoComment(const std::string& text);
