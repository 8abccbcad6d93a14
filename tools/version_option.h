#pragma once
// --version, the same for every program: "PROGRAM --version" prints the
// program's name and the updater's version ("update-cli 1.7+g1a2b3c4", see
// cmake/Version.cmake) on standard output.

// True when the command line is exactly PROGRAM --version; the version line has
// then been printed, and main() returns 0.
bool PrintVersionIfAsked(const char* program, int argc, char** argv);
