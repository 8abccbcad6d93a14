#pragma once
// The version every program of the project prints with --version, taken by the
// build from one place.

// The project's version, e.g. "1.7".
const char* ProgramVersion();
