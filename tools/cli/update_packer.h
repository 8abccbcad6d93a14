#pragma once
// mkupd: builds update files from firmware images and XSVF programs, and reads
// every file it writes back with the updater's own reader before it reports
// success.

#include <cstdio>
#include <string>
#include <vector>

// Runs mkupd with the arguments after the program name; returns 0 on success.
int RunMkupd(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
