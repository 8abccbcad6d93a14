#pragma once
// What the SVF tests share: SVF text converted in memory, its program as the
// xsvfdump listing, a failed conversion's first fault as "LINE:COLUMN: message",
// and the scans a program makes, as the simulated device reads them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/xsvf_scans.h"
#include "svf/svf_converter.h"
#include "xsvf/xsvf_text.h"

inline SvfConversion ConvertText(const std::string& svf, std::vector<uint8_t>* program = nullptr) {
  SvfTextInput input(svf);
  XsvfBytesOutput output;
  SvfConversion conversion = ConvertSvf(input, output);
  if (program) *program = output.Bytes();
  return conversion;
}

// The program's listing; a failed conversion fails the test.
inline std::string Listing(const std::string& svf) {
  std::vector<uint8_t> program;
  const SvfConversion conversion = ConvertText(svf, &program);
  EXPECT_TRUE(conversion.ok) << conversion.fault.Describe("svf");
  return ListXsvfProgram(program);
}

// "LINE:COLUMN: message" of the first fault; "converted" if there is none.
inline std::string FaultOf(const std::string& svf) {
  const SvfConversion conversion = ConvertText(svf);
  if (conversion.ok) return "converted";
  const std::string described = conversion.fault.Describe("");
  return described.substr(described.find(':') + 1);
}

inline std::vector<XsvfScan> ScansOf(const std::vector<uint8_t>& program) {
  std::vector<XsvfScan> scans;
  std::string error;
  EXPECT_TRUE(DescribeScans(program, &scans, &error)) << error;
  return scans;
}
