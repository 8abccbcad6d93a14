#pragma once
// The benchmark's one table: each figure, what it is compared with, the ratio of
// the two, the target for that ratio and whether it was met. Printed as Markdown,
// so that docs/performance.md can show it as it stands.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct ResultRow {
  ResultRow(std::string figure, std::string measured = "", std::string reference = "",
            std::string ratio = "", std::string target = "", std::string met = "")
      : figure(std::move(figure)),
        measured(std::move(measured)),
        reference(std::move(reference)),
        ratio(std::move(ratio)),
        target(std::move(target)),
        met(std::move(met)) {}

  std::string figure;
  std::string measured;
  std::string reference;  // what the figure is compared with
  std::string ratio;
  std::string target;
  std::string met;  // "yes", "no", or empty without a target
};

// Numbers for the table: fixed decimals; thousands separated by commas.
std::string FormatNumber(double value, int decimals);
std::string FormatCount(uint64_t count);
// "12.34 s".
std::string Seconds(double seconds);
// Seconds, or minutes or hours with one decimal when that reads better.
std::string Duration(double seconds);

class ResultTable {
 public:
  void Section(const std::string& title);
  void Add(ResultRow row);

  // A time against a reference time; the ratio must stay at or below `target`.
  void AddRatio(const std::string& figure, double seconds, double referenceSeconds,
                const std::string& referenceNote, double target);
  // A part of a time as a share of the whole; the share must stay below `target`.
  void AddShare(const std::string& figure, double partSeconds, double wholeSeconds,
                const std::string& wholeName, double target);
  // A value that must stay below `limit`.
  void AddLimit(const std::string& figure, double value, double limit, const std::string& unit,
                const std::string& reference);

  // Rows from Google Benchmark's CSV output: each benchmark's CPU time per item,
  // the item named by the benchmark's label ("per byte"). False if the file cannot
  // be read.
  bool AddMicroBenchmarks(const std::string& csvPath);

  void Print(std::ostream& out) const;

 private:
  std::vector<ResultRow> rows;
};
