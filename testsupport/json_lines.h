#pragma once
// The tests read the programs' JSON with nlohmann/json, as strict as JSON is: a
// document that is not valid UTF-8 is refused. Objects keep their fields in the
// order the program wrote them, so that a test can check the order too. For test
// programs only (it reports through GoogleTest).

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using JsonDocument = nlohmann::ordered_json;

// One JSON document; a text that is not one fails the test and gives null.
inline JsonDocument ParsedJson(const std::string& text) {
  JsonDocument document = JsonDocument::parse(text, nullptr, false);
  EXPECT_FALSE(document.is_discarded()) << "not JSON: " << text;
  return document.is_discarded() ? JsonDocument() : document;
}

// The JSON objects of an output, one per line; a line that is not one fails the
// test.
inline std::vector<JsonDocument> JsonLines(const std::string& output) {
  std::vector<JsonDocument> objects;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    objects.push_back(ParsedJson(line));
    EXPECT_TRUE(objects.back().is_object()) << line;
  }
  return objects;
}
