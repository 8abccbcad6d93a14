#include "xsvf/debug_log.h"

#include <gtest/gtest.h>

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

}  // namespace
