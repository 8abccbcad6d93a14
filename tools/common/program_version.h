#pragma once
// The version every program's --version prints: the project's version.

const char* ProgramVersion();
