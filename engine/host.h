#pragma once
// What the engine needs from the front end that runs it. The worker never shows a
// window, with one exception: the XSVF player's message when its debug log cannot
// be created, which waits until the user has read it. Comments in XSVF programs
// are echoed to a text stream.

#include <cstdio>

// Shows a message to the user and returns once it has been acknowledged. The
// default writes it to standard error.
using ShowMessageFunction = void (*)(const char* text);
void SetShowMessage(ShowMessageFunction function);
void ShowHostMessage(const char* text);

// Where XSVF comments are echoed; standard output unless a front end changes it
// (a front end that writes JSON to standard output sends them elsewhere).
void SetCommentStream(std::FILE* stream);
std::FILE* CommentStream();
