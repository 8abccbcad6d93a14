#include "bench/result_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace {

const char* const kHeadings[] = {"figure", "measured", "compared with", "ratio", "target", "met"};

std::string Percent(double share) { return FormatNumber(share * 100, 2) + " %"; }

std::string Verdict(bool met) { return met ? "yes" : "no"; }

// The fields of one CSV line; quoted fields may hold commas.
std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

size_t FieldIndex(const std::vector<std::string>& heading, const std::string& name) {
  for (size_t i = 0; i < heading.size(); ++i) {
    if (heading[i] == name) return i;
  }
  return heading.size();
}

void PrintRow(std::ostream& out, const std::vector<std::string>& cells) {
  out << "|";
  for (const std::string& cell : cells) out << " " << cell << " |";
  out << "\n";
}

}  // namespace

std::string FormatNumber(double value, int decimals) {
  if (std::isnan(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string FormatCount(uint64_t count) {
  std::string digits = std::to_string(count);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

std::string Seconds(double seconds) { return FormatNumber(seconds, seconds < 10 ? 3 : 2) + " s"; }

std::string Duration(double seconds) {
  if (seconds >= 2 * 3600) return FormatNumber(seconds / 3600, 1) + " h";
  if (seconds >= 120) return FormatNumber(seconds / 60, 1) + " min";
  return Seconds(seconds);
}

void ResultTable::Section(const std::string& title) { rows.push_back({"**" + title + "**"}); }

void ResultTable::Add(ResultRow row) { rows.push_back(std::move(row)); }

void ResultTable::AddRatio(const std::string& figure, double seconds, double referenceSeconds,
                           const std::string& referenceNote, double target) {
  const double ratio = seconds / referenceSeconds;
  Add({figure, Seconds(seconds), Seconds(referenceSeconds) + " (" + referenceNote + ")",
       FormatNumber(ratio, 3), "≤ " + FormatNumber(target, 2), Verdict(ratio <= target)});
}

void ResultTable::AddShare(const std::string& figure, double partSeconds, double wholeSeconds,
                           const std::string& wholeName, double target) {
  const double share = partSeconds / wholeSeconds;
  Add({figure, Seconds(partSeconds), Seconds(wholeSeconds) + " " + wholeName, Percent(share),
       "< " + Percent(target), Verdict(share < target)});
}

void ResultTable::AddLimit(const std::string& figure, double value, double limit,
                           const std::string& unit, const std::string& reference) {
  Add({figure, FormatNumber(value, 1) + " " + unit, reference, FormatNumber(value / limit, 3),
       "< " + FormatNumber(limit, 0) + " " + unit, Verdict(value < limit)});
}

bool ResultTable::AddMicroBenchmarks(const std::string& csvPath) {
  std::ifstream file(csvPath);
  std::string line;
  // Google Benchmark writes its context before the heading line.
  std::vector<std::string> heading;
  while (std::getline(file, line)) {
    if (line.rfind("name,", 0) == 0) {
      heading = CsvFields(line);
      break;
    }
  }
  if (heading.empty()) return false;
  const size_t name = FieldIndex(heading, "name");
  const size_t rate = FieldIndex(heading, "items_per_second");
  const size_t label = FieldIndex(heading, "label");
  while (std::getline(file, line)) {
    const std::vector<std::string> fields = CsvFields(line);
    if (fields.size() != heading.size()) continue;
    const double itemsPerSecond = std::atof(fields[rate].c_str());
    if (itemsPerSecond <= 0) continue;
    const double nanoseconds = 1e9 / itemsPerSecond;
    Add({fields[name],
         FormatNumber(nanoseconds, nanoseconds < 100 ? 2 : 0) + " ns " + fields[label]});
  }
  return true;
}

void ResultTable::Print(std::ostream& out) const {
  PrintRow(out, {std::begin(kHeadings), std::end(kHeadings)});
  PrintRow(out, {"---", "---:", "---", "---:", "---", "---"});
  for (const ResultRow& row : rows) {
    PrintRow(out, {row.figure, row.measured, row.reference, row.ratio, row.target, row.met});
  }
}
