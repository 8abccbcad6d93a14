#include "engine/messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Entry {
  const char* name;
  int id;
  const char* text;
};

const std::vector<Entry> kTable = {
#define MESSAGE(name, id, text) {#name, id, text},
#include "engine/messages.def"
#undef MESSAGE
};

// The id ranges that the table's opening comment documents ("N to M").
std::vector<std::pair<int, int>> DocumentedRanges() {
  std::ifstream file(UPD_SOURCE_DIR "/engine/messages.def");
  std::stringstream content;
  content << file.rdbuf();
  const std::string text = content.str();
  const std::string comment = text.substr(0, text.find("*/"));
  const std::regex range("([0-9]+) to ([0-9]+)");
  std::vector<std::pair<int, int>> ranges;
  for (std::sregex_iterator it(comment.begin(), comment.end(), range), end; it != end; ++it) {
    ranges.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
  }
  return ranges;
}

}  // namespace

TEST(Messages, TheTableKeepsItsRules) {
  const std::vector<std::pair<int, int>> ranges = DocumentedRanges();
  ASSERT_FALSE(ranges.empty());
  for (size_t i = 1; i < ranges.size(); ++i) {
    EXPECT_LT(ranges[i - 1].second, ranges[i].first) << "ranges overlap or are out of order";
  }
  std::set<int> ids;
  std::set<std::string> names;
  for (const Entry& entry : kTable) {
    EXPECT_STRNE(entry.text, "") << entry.name;
    EXPECT_TRUE(ids.insert(entry.id).second) << entry.name << ": id " << entry.id << " twice";
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " twice";
    EXPECT_STREQ(MessageText(entry.id), entry.text) << entry.name;
    bool documented = false;
    for (const auto& [first, last] : ranges) documented |= first <= entry.id && entry.id <= last;
    EXPECT_TRUE(documented) << entry.name << ": id " << entry.id
                            << " lies in no range that the table's comment names";
  }
  EXPECT_STREQ(MessageText(100), "");
}

TEST(Messages, FormatsWithArguments) {
  EXPECT_EQ(FormatMessageText(MsgResult, 3, 4), "3 of 4 targets updated successfully.");
  EXPECT_EQ(FormatMessageText(MsgPortInUse, "COM3"), "Error: COM3 in use or does not exist.\n");
}

TEST(Messages, EveryPlayerErrorHasItsMessage) {
  EXPECT_STREQ(XsvfErrorText(6), "data overflow");
  EXPECT_STREQ(XsvfErrorText(8), "debug file error");
  EXPECT_STREQ(XsvfErrorText(9), "file read error");
  EXPECT_STREQ(XsvfErrorText(10), "Failed: Target is not responding");
  EXPECT_STREQ(XsvfErrorText(11), "Failed: Target is not responding");
  EXPECT_STREQ(XsvfErrorText(13), "parameter error in function ReadTdoBitsequenz");
  EXPECT_STREQ(XsvfErrorText(14), "Failed: Target refused a TAP step or a wait");
  EXPECT_STREQ(XsvfErrorText(15), "unknown error");
  EXPECT_STREQ(XsvfErrorText(-1), "unknown error");
}
