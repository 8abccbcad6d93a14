// mkupd's output: written beside the output under a temporary name, read back
// from there, and only then put in place, on every platform.

#include "tools/cli/update_packer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "testsupport/captured_text.h"

namespace {

namespace fs = std::filesystem;

std::string Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(MkupdOutput, ReplacesAnOlderFileOnlyWithOneThatReadsBack) {
  const std::string folder = "mkupd_output/";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::ofstream(folder + "image.bin", std::ios::binary) << "firmware";
  std::ofstream(folder + "out.upd", std::ios::binary) << "an older file";

  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunMkupd({"-o", folder + "out.upd", "--firmware", "01", "Main", folder + "none.bin"},
                     out, err),
            1);
  ContentsAndClose(out);
  EXPECT_EQ(ContentsAndClose(err), "mkupd: cannot read " + folder + "none.bin\n");
  EXPECT_EQ(Load(folder + "out.upd"), "an older file");

  out = std::tmpfile();
  err = std::tmpfile();
  EXPECT_EQ(RunMkupd({"-o", folder + "out.upd", "--firmware", "01", "Main", folder + "image.bin"},
                     out, err),
            0);
  EXPECT_EQ(ContentsAndClose(err), "");
  EXPECT_NE(ContentsAndClose(out).find("out.upd: V1.01, 1 targets"), std::string::npos);
  EXPECT_NE(Load(folder + "out.upd"), "an older file");
  // The image and the update file: no temporary file left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2);
  fs::remove_all(folder);
}

}  // namespace
