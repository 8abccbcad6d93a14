#include "xsvf/shown_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalText, ShowsEveryControlVisiblyAndKeepsPrintableUtf8) {
  // A target name that would clear the screen and print a verdict of its own.
  EXPECT_EQ(TerminalText("\x1b[2J\x1b[HAll 3 targets verified OK"),
            "\\x1b[2J\\x1b[HAll 3 targets verified OK");
  EXPECT_EQ(TerminalText(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(TerminalText("line\r\nnext\tcolumn\x7f"), "line\\x0d\\x0anext\\x09column\\x7f");
  // U+009B is CSI, U+0085 a line end, on terminals that take C1 controls.
  EXPECT_EQ(TerminalText("\xc2\x9b" "2J \xc2\x85"), "\\u009b2J \\u0085");
  // Right-to-left override and isolate, and the paragraph separator.
  EXPECT_EQ(TerminalText("abc\xe2\x80\xae" "def\xe2\x81\xa6\xe2\x80\xa9"),
            "abc\\u202edef\\u2066\\u2029");
  EXPECT_EQ(TerminalText("Z\xc3\xa4hler \xce\xa9 \xe6\x97\xa5 \xf0\x9f\x94\xa7 C:\\upd\\x.upd"),
            "Z\xc3\xa4hler \xce\xa9 \xe6\x97\xa5 \xf0\x9f\x94\xa7 C:\\upd\\x.upd");
}

TEST(TerminalText, ShowsEveryByteOfBrokenUtf8Alone) {
  EXPECT_EQ(TerminalText("Z\xe4hler"), "Z\\xe4hler");                   // Latin-1
  EXPECT_EQ(TerminalText("\xc0\xaf"), "\\xc0\\xaf");                     // overlong '/'
  EXPECT_EQ(TerminalText("\xe0\x80\xaf"), "\\xe0\\x80\\xaf");             // overlong '/'
  EXPECT_EQ(TerminalText("\xed\xa0\x80"), "\\xed\\xa0\\x80");             // a surrogate
  EXPECT_EQ(TerminalText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");     // above U+10FFFF
  EXPECT_EQ(TerminalText("\xf8\x88\x80\x80\x80"), "\\xf8\\x88\\x80\\x80\\x80");
  EXPECT_EQ(TerminalText("end\xe2\x82"), "end\\xe2\\x82");               // cut off
  EXPECT_EQ(TerminalText("\xe2\x82" "A"), "\\xe2\\x82A");                // interrupted
  EXPECT_EQ(TerminalText("\x9b" "2J"), "\\x9b2J");                      // 8-bit CSI
}

TEST(TerminalText, LinesKeepTheirEndsButNothingElse) {
  EXPECT_EQ(TerminalLines("Error: \x1bV9 is wrong version of update file\na.upd.\nExpected\r"),
            "Error: \\x1bV9 is wrong version of update file\na.upd.\nExpected\\x0d");
  EXPECT_EQ(TerminalLines("\n\n"), "\n\n");
}

TEST(TextColumns, CountCharactersAndNeverCutOneInTwo) {
  const std::string name = TerminalText("Z\xc3\xa4hler\x1b");
  EXPECT_EQ(TextColumns(name), 10u);
  EXPECT_EQ(FitColumns(name, 2), "Z\xc3\xa4");
  EXPECT_EQ(FitColumns(name, 0), "");
  EXPECT_EQ(FitColumns(name, 99), name);
  EXPECT_EQ(PadColumns("\xce\xa9", 3), "\xce\xa9  ");
  EXPECT_EQ(PadColumns("long", 2), "long");
}

}  // namespace
