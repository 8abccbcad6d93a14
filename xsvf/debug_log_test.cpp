#include "xsvf/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

std::string LogText() {
  std::ifstream file(kDebugLogName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Lines and dumps longer than the buffers they are put together in come out whole,
// with every line end as CR LF.
TEST(DebugLog, LongLinesAndLongVectorsComeOutWhole) {
  XsvfDebugLog log;
  ASSERT_TRUE(log.Open());
  const std::string text(600, 'x');
  log.Log(0, "%s\n%s\n", text.c_str(), "end");
  auto vector = std::make_unique<SBitVector>();
  vector->length = MAX_LEN;
  std::string digits;
  for (int i = 0; i < MAX_LEN; ++i) {
    vector->value[i] = static_cast<uint8_t>(i * 7);
    const char hex[] = "0123456789abcdef";
    digits += hex[vector->value[i] >> 4];
    digits += hex[vector->value[i] & 0x0F];
  }
  log.LogVector(4, "    TDI          = ", vector.get());
  log.Close();
  EXPECT_EQ(LogText(), text + "\r\nend\r\n    TDI          = 0x" + digits + "\r\n");
}

// A debug log name that is a symbolic link (planted to make the player overwrite
// another file) is refused: neither the link nor its target is touched.
TEST(DebugLog, RefusesASymbolicLinkAtItsName) {
  namespace fs = std::filesystem;
  const std::string folder = "debug_log_link/";
  fs::remove_all(folder);
  fs::create_directories(folder + "work");
  std::ofstream(folder + "precious.txt", std::ios::binary) << "precious";
  std::error_code error;
  fs::create_symlink("../precious.txt", folder + "work/" + kDebugLogName, error);
  if (error) GTEST_SKIP() << "no symbolic links here";

  XsvfDebugLog log(folder + "work/" + kDebugLogName);
  EXPECT_FALSE(log.Open());
  log.Log(0, "overwritten\n");
  std::ifstream file(folder + "precious.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "precious");
  EXPECT_TRUE(fs::is_symlink(folder + "work/" + kDebugLogName));
  fs::remove_all(folder);
}

}  // namespace
