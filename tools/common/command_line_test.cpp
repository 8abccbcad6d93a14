#include "tools/common/command_line.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

const std::vector<OptionSpec> kSpecs = {
    kHelpOption,
    kVersionOption,
    {'p', "port", "PORT", nullptr, 0, true},
    {'f', "file", "FILE"},
    {0, "json", nullptr},
    {'y', "yes", nullptr},
    {'q', "quiet", nullptr},
    {0, "firmware", "ID NAME IMAGE", "a firmware image", 2, true},
};

CommandLine Parse(const std::vector<std::string>& arguments) {
  CommandLine line;
  std::string error;
  EXPECT_TRUE(ParseCommandLine(arguments, kSpecs, &line, &error)) << error;
  return line;
}

std::string ErrorOf(const std::vector<std::string>& arguments) {
  CommandLine line;
  std::string error;
  EXPECT_FALSE(ParseCommandLine(arguments, kSpecs, &line, &error));
  return error;
}

TEST(CommandLine, TakesEveryFormOfAnOptionAndItsValue) {
  const CommandLine line = Parse({"-p", "/dev/ttyS0", "--port=COM3", "-pCOM4", "--port", "a=b",
                                  "-f", "-", "--json", "extra", "--", "--json"});
  EXPECT_EQ(line.Values("port"), (std::vector<std::string>{"/dev/ttyS0", "COM3", "COM4", "a=b"}));
  EXPECT_EQ(line.Value("file"), "-");
  EXPECT_TRUE(line.Has("json"));
  EXPECT_FALSE(line.Has("help"));
  EXPECT_EQ(line.operands, (std::vector<std::string>{"extra", "--json"}));
  EXPECT_EQ(line.Value("version", "none"), "none");
}

TEST(CommandLine, SaysWhatIsWrongWithAnOption) {
  EXPECT_EQ(ErrorOf({"--colour"}), "unknown option '--colour'");
  EXPECT_EQ(ErrorOf({"-x"}), "unknown option '-x'");
  EXPECT_EQ(ErrorOf({"-hv"}), "unknown option '-v' in '-hv'");
  EXPECT_EQ(ErrorOf({"-yfx.upd", "-yvp", "a"}), "unknown option '-v' in '-yvp'");
  EXPECT_EQ(ErrorOf({"--port"}), "option '--port' needs a value (PORT)");
  EXPECT_EQ(ErrorOf({"-f"}), "option '-f' needs a value (FILE)");
  EXPECT_EQ(ErrorOf({"--json=yes"}), "option '--json' takes no value");
  EXPECT_EQ(ErrorOf({"--firmware", "01", "Main"}), "option '--firmware' needs ID NAME IMAGE");
  EXPECT_EQ(ErrorOf({"-yp"}), "option '-p' needs a value (PORT)");
}

// A value that would reach a program as an empty name, and a second value that
// would silently overrule the first, are refused; repeatable options and flags
// may come again.
TEST(CommandLine, RefusesEmptyValuesAndSingleValuesGivenTwice) {
  EXPECT_EQ(ErrorOf({"--file="}), "option '--file' needs a value (FILE), not an empty one");
  EXPECT_EQ(ErrorOf({"-p", ""}), "option '-p' needs a value (PORT), not an empty one");
  EXPECT_EQ(ErrorOf({"-f", "a.upd", "--file", "b.upd"}), "option '--file' may be given only once");
  EXPECT_EQ(ErrorOf({"-fa.upd", "-yfb.upd"}), "option '--file' may be given only once");
  EXPECT_EQ(ErrorOf({"--firmware", "01", "", "image.bin"}),
            "option '--firmware' needs ID NAME IMAGE, none of them empty");
  const CommandLine line = Parse({"-p", "a", "-p", "b", "--json", "--json", "-yy"});
  EXPECT_EQ(line.Values("port"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(line.options.size(), 6u);
}

// -yq is -y -q, as getopt reads it; a letter that takes a value ends the group,
// its value the rest of the argument or the next one.
TEST(CommandLine, ReadsGroupedShortFlags) {
  const CommandLine line = Parse({"-yq", "-qyp", "COM3", "-yfx.upd"});
  ASSERT_EQ(line.options.size(), 7u);
  const char* const names[] = {"yes", "quiet", "quiet", "yes", "port", "yes", "file"};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(line.options[i].spec->longName, std::string(names[i]));
  EXPECT_EQ(line.Value("port"), "COM3");
  EXPECT_EQ(line.Value("file"), "x.upd");
  EXPECT_TRUE(line.operands.empty());
}

// An option of several values takes the arguments after its first as they stand.
TEST(CommandLine, TakesTheFurtherValuesOfAnOptionInOrder) {
  const CommandLine line = Parse({"--firmware", "01", "-x", "--json", "--json", "--firmware=02",
                                  "Io", "io.bin", "extra"});
  ASSERT_EQ(line.options.size(), 3u);
  EXPECT_EQ(line.options[0].value, "01");
  EXPECT_EQ(line.options[0].more, (std::vector<std::string>{"-x", "--json"}));
  EXPECT_EQ(line.options[1].spec->longName, std::string("json"));
  EXPECT_EQ(line.options[2].value, "02");
  EXPECT_EQ(line.options[2].more, (std::vector<std::string>{"Io", "io.bin"}));
  EXPECT_EQ(line.operands, (std::vector<std::string>{"extra"}));
}

// A number option takes plain digits; what strtoull would bend into a number
// (a sign, a leading blank, a value past 64 bits) is refused.
TEST(ParseDecimal, TakesPlainDigitsUpToTheMaximum) {
  uint64_t value = 7;
  EXPECT_TRUE(ParseDecimal("0", 10, &value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(ParseDecimal("4294967295", 4294967295u, &value));
  EXPECT_EQ(value, 4294967295u);
  EXPECT_TRUE(ParseDecimal("18446744073709551615", UINT64_MAX, &value));
  EXPECT_EQ(value, UINT64_MAX);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "0x10", "12a", "18446744073709551616"}) {
    value = 7;
    EXPECT_FALSE(ParseDecimal(bad, UINT64_MAX, &value)) << "'" << bad << "'";
    EXPECT_EQ(value, 7u) << "'" << bad << "'";
  }
  EXPECT_FALSE(ParseDecimal("4294967296", 4294967295u, &value));
}

// A usage error quotes what was given: an argument that holds a line end or a
// terminal's escape sequence shows as its escapes, on the error's one line.
TEST(CommandLine, ReportsAUsageErrorOnOneLineWhateverTheArgumentHolds) {
  const std::string error = ErrorOf({"--fil\x1b[2J\nOK"});
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(ReportUsageError(err, "prog", error), kExitUsage);
  std::rewind(err);
  char shown[256] = {};
  const size_t length = std::fread(shown, 1, sizeof shown - 1, err);
  std::fclose(err);
  EXPECT_EQ(std::string(shown, length),
            "prog: unknown option '--fil\\x1b[2J\\x0aOK'\n"
            "Try 'prog --help' for more information.\n");
}

}  // namespace
