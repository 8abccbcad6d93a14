#include "bench/result_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string Printed(const ResultTable& table) {
  std::ostringstream out;
  table.Print(out);
  return out.str();
}

TEST(FormatCount, SeparatesThousands) {
  EXPECT_EQ(FormatCount(0), "0");
  EXPECT_EQ(FormatCount(999), "999");
  EXPECT_EQ(FormatCount(1000), "1,000");
  EXPECT_EQ(FormatCount(1234567), "1,234,567");
}

TEST(ResultTable, JudgesRatiosSharesAndLimitsAgainstTheirTargets) {
  ResultTable table;
  table.AddRatio("at the target", 10.2, 10.0, "bound", 1.02);
  table.AddRatio("above it", 10.3, 10.0, "bound", 1.02);
  table.AddShare("cpu", 0.5, 100.0, "line time", 0.01);
  table.AddLimit("memory", 17.0, 16.0, "MiB", "floor");
  const std::string text = Printed(table);
  EXPECT_NE(text.find("| at the target | 10.20 s | 10.00 s (bound) | 1.020 | ≤ 1.02 | yes |"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("| above it | 10.30 s | 10.00 s (bound) | 1.030 | ≤ 1.02 | no |"),
            std::string::npos);
  EXPECT_NE(text.find("| cpu | 0.500 s | 100.00 s line time | 0.50 % | < 1.00 % | yes |"),
            std::string::npos);
  EXPECT_NE(text.find("| memory | 17.0 MiB | floor | 1.062 | < 16 MiB | no |"), std::string::npos);
}

TEST(ResultTable, TakesTimePerItemFromGoogleBenchmarkCsv) {
  {
    std::ofstream csv("micro.csv");
    csv << "2024-06-11T10:00:00+00:00\nRunning ./micro_bench\n"
        << "name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,"
           "label,error_occurred,error_message\n"
        << "\"EncodeVector/varied\",1000,80,79,ns,,12500000,\"per 64-byte vector\",,\n"
        << "\"PlayXsvf/benchmark_program\",10,40,40,ms,,200000,\"per command\",,\n"
        << "\"Failed\",0,0,0,ns,,,,true,\"the program did not play\"\n";
  }
  ResultTable table;
  ASSERT_TRUE(table.AddMicroBenchmarks("micro.csv"));
  const std::string text = Printed(table);
  EXPECT_NE(text.find("| EncodeVector/varied | 80.00 ns per 64-byte vector |"), std::string::npos)
      << text;
  EXPECT_NE(text.find("| PlayXsvf/benchmark_program | 5000 ns per command |"), std::string::npos);
  EXPECT_EQ(text.find("Failed"), std::string::npos);
  EXPECT_FALSE(table.AddMicroBenchmarks("no such file.csv"));
}

}  // namespace
