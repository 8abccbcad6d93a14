#include "tools/cli/json_text.h"

#include <gtest/gtest.h>

#include <string>

#include "testsupport/json_lines.h"

namespace {

std::string JsonOfText(const std::string& text) {
  return JsonText(Json(text));
}

TEST(JsonText, StringsAreValidUtf8WithEveryControlEscaped) {
  EXPECT_EQ(JsonOfText("say \"hi\" C:\\x"), "\"say \\\"hi\\\" C:\\\\x\"");
  EXPECT_EQ(JsonOfText(std::string("\b\f\n\r\t\0\x1b[2J\x7f", 11)),
            "\"\\b\\f\\n\\r\\t\\u0000\\u001b[2J\\u007f\"");
  // Printable UTF-8 stays; C1 controls and the marks that reorder text are escaped.
  EXPECT_EQ(JsonOfText("Z\xc3\xa4hler \xe2\x80\xae \xc2\x9b \xe2\x81\xa6\xe2\x80\xa9 "
                       "\xf0\x9f\x94\xa7"),
            "\"Z\xc3\xa4hler \\u202e \\u009b \\u2066\\u2029 \xf0\x9f\x94\xa7\"");
  // Bytes that are not UTF-8 are taken as Latin-1; its C1 range stays escaped.
  EXPECT_EQ(JsonOfText("Z\xe4hler \xff\x9b\xc0"), "\"Z\xc3\xa4hler \xc3\xbf\\u009b\xc3\x80\"");
  EXPECT_EQ(JsonOfText("\xed\xa0\x80"), "\"\xc3\xad\xc2\xa0\\u0080\"");  // a surrogate's bytes
  EXPECT_EQ(JsonOfText(""), "\"\"");
}

// Outside text anywhere in a document, however deep, is made valid UTF-8; the
// fields keep the order they were set in, which scripts and the README rely on.
TEST(JsonText, DocumentsKeepTheirFieldOrderAndAreValidUtf8Throughout) {
  Json document{{"zeta", "M\xfcller"}, {"alpha", Json::array({"\x1b", 7, nullptr})}};
  document["middle"] = Json{{"name", "\xe4\xe2\x80\xae"}, {"on", true}};
  const std::string text = JsonText(document);
  EXPECT_EQ(text,
            "{\"zeta\":\"M\xc3\xbcller\",\"alpha\":[\"\\u001b\",7,null],"
            "\"middle\":{\"name\":\"\xc3\xa4\\u202e\",\"on\":true}}");
  EXPECT_EQ(ParsedJson(text).at("middle").at("name"), "\xc3\xa4\xe2\x80\xae");
}

TEST(JsonTargetName, DropsTheBlanksBeforeTheNameAndKeepsTheRest) {
  EXPECT_EQ(JsonTargetName(" Main board"), "Main board");
  EXPECT_EQ(JsonTargetName(" \t Display"), "Display");
  EXPECT_EQ(JsonTargetName("Logic"), "Logic");
  EXPECT_EQ(JsonTargetName(" \x1b[2J"), "\x1b[2J");
  EXPECT_EQ(JsonTargetName("  "), "");
  EXPECT_EQ(JsonTargetName(""), "");
}

}  // namespace
