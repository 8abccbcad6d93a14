#pragma once
// update-cli: one update from the command line, for scripted and production-line
// use, on the same engine as the window.

#include <cstdio>
#include <string>
#include <vector>

// Runs update-cli with the arguments after the program name; returns its exit status.
int RunUpdateCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
