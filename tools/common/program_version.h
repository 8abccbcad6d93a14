#pragma once
// The version every program of the project prints with --version, taken by the
// build from one place.

// The project's version and the commit it was built from, e.g. "1.7+g1a2b3c4"
// (cmake/Version.cmake).
const char* ProgramVersion();
