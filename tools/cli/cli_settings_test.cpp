// update-cli's defaults for a bench: the settings file's lines and their exact
// messages, the order of precedence (command line, environment, file), and where
// the file is looked for.

#include "tools/cli/cli_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "xsvf/file_bytes.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/update_cli.h"
#include "testsupport/captured_text.h"

namespace {

// An environment of the test's own: only what it holds is set.
Environment EnvironmentOf(const std::map<std::string, std::string>& variables) {
  return [variables](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
}

std::string SaveSettings(const std::string& name, const std::string& text) {
  std::filesystem::create_directories("cli_settings");
  const std::string path = "cli_settings/" + name;
  EXPECT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
  return path;
}

TEST(SettingsFile, TakesPortsAndWaitAroundBlanksAndComments) {
  CliDefaults defaults;
  std::string error;
  ASSERT_TRUE(ReadSettingsText("# bench 3\r\n\n  port = /dev/ttyUSB0\r\nport=COM3\n\twait = 2.5 \n",
                               "s", &defaults, &error))
      << error;
  ASSERT_EQ(defaults.ports.size(), 2u);
  EXPECT_EQ(defaults.ports[0].value, "/dev/ttyUSB0");
  EXPECT_EQ(defaults.ports[0].source, "s:3");
  EXPECT_EQ(defaults.ports[1].value, "COM3");
  EXPECT_EQ(defaults.wait.value, "2.5");
  EXPECT_EQ(defaults.wait.source, "s:5");
}

TEST(SettingsFile, RefusesALineThatIsNoSettingWithItsPlace) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"port /dev/ttyUSB0\n", "s:1: not a setting: write NAME = VALUE (port, wait)"},
      {"\nbaud = 9600\n", "s:2: unknown setting 'baud' (port, wait)"},
      {"Port = COM1\n", "s:1: unknown setting 'Port' (port, wait)"},
      {"esc\x1b = 1\n", "s:1: unknown setting 'esc\\x1b' (port, wait)"},
      {"port =  \n", "s:1: port needs a value"},
      {"wait = 3\nwait = 4\n", "s:2: wait is set a second time"},
  };
  for (const auto& [text, message] : refused) {
    CliDefaults defaults;
    std::string error;
    EXPECT_FALSE(ReadSettingsText(text, "s", &defaults, &error)) << text;
    EXPECT_EQ(error, message);
  }
}

// The environment goes over the file, one setting at a time; a file that is not
// there is no error, one that cannot be read is.
TEST(SettingsFile, EnvironmentGoesOverTheFile) {
  const std::string path =
      SaveSettings("bench", "port = /dev/ttyS1\nport = /dev/ttyS2\nwait = 9\n");
  CliDefaults defaults;
  std::string error;
  ASSERT_TRUE(LoadCliDefaults(EnvironmentOf({{kSettingsVariable, path}}), &defaults, &error));
  EXPECT_EQ(defaults.ports.size(), 2u);
  EXPECT_EQ(defaults.wait.value, "9");

  ASSERT_TRUE(LoadCliDefaults(EnvironmentOf({{kSettingsVariable, path},
                                             {kPortVariable, "COM4, COM5"},
                                             {kWaitVariable, "30"}}),
                              &defaults, &error));
  ASSERT_EQ(defaults.ports.size(), 2u);
  EXPECT_EQ(defaults.ports[0].value, "COM4");
  EXPECT_EQ(defaults.ports[1].value, "COM5");
  EXPECT_EQ(defaults.ports[1].source, kPortVariable);
  EXPECT_EQ(defaults.wait.value, "30");

  ASSERT_TRUE(LoadCliDefaults(EnvironmentOf({{kSettingsVariable, "cli_settings/none"}}),
                              &defaults, &error));
  EXPECT_TRUE(defaults.ports.empty());
  // A folder: POSIX systems open it but cannot read it, Windows does not open it.
  EXPECT_FALSE(LoadCliDefaults(EnvironmentOf({{kSettingsVariable, "cli_settings"}}), &defaults,
                               &error));
  EXPECT_TRUE(error == "Cannot read the settings file cli_settings: Is a directory." ||
              error == "Cannot read the settings file cli_settings: Permission denied.")
      << error;
  const std::string large = SaveSettings("large", std::string(kMaxSettingsBytes + 1, '#'));
  EXPECT_FALSE(LoadCliDefaults(EnvironmentOf({{kSettingsVariable, large}}), &defaults, &error));
  EXPECT_EQ(error, large + ": more than 65536 bytes: not a settings file");
}

TEST(SettingsFile, LivesInTheUsersConfigurationFolder) {
  EXPECT_EQ(SettingsPath(EnvironmentOf({{kSettingsVariable, "my.cfg"}, {"HOME", "/h"}})), "my.cfg");
  EXPECT_EQ(SettingsPath(EnvironmentOf({})), "");
#ifdef _WIN32
  EXPECT_EQ(SettingsPath(EnvironmentOf({{"APPDATA", "C:\\Users\\tech\\AppData\\Roaming"}})),
            "C:\\Users\\tech\\AppData\\Roaming\\update-cli\\settings.txt");
#else
  EXPECT_EQ(SettingsPath(EnvironmentOf({{"HOME", "/home/tech"}})),
            "/home/tech/.config/update-cli/settings");
  EXPECT_EQ(SettingsPath(EnvironmentOf({{"HOME", "/home/tech"}, {"XDG_CONFIG_HOME", "/cfg"}})),
            "/cfg/update-cli/settings");
  // A relative XDG_CONFIG_HOME is to be ignored.
  EXPECT_EQ(SettingsPath(EnvironmentOf({{"HOME", "/home/tech"}, {"XDG_CONFIG_HOME", "cfg"}})),
            "/home/tech/.config/update-cli/settings");
#endif
}

CliDefaults BenchDefaults() {
  CliDefaults defaults;
  defaults.ports = {{"/dev/ttyS1", "bench:1"}};
  defaults.wait = {"12", "bench:2"};
  return defaults;
}

// The defaults serve an update that names no port or wait; what the command line
// names goes over them.
TEST(CliDefaults, ServeOnlyWhereTheCommandLineIsSilent) {
  CliOptions options;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"-f", "x.upd"}, BenchDefaults(), &options, &error)) << error;
  EXPECT_EQ(options.ports, std::vector<std::string>{"/dev/ttyS1"});
  EXPECT_EQ(options.waitSeconds, 12.0);

  ASSERT_TRUE(ParseCliOptions({"-f", "x.upd", "-p", "COM2", "-w", "3"}, BenchDefaults(), &options,
                              &error));
  EXPECT_EQ(options.ports, std::vector<std::string>{"COM2"});
  EXPECT_EQ(options.waitSeconds, 3.0);

  // --check needs no port: a default port does not make it an update.
  ASSERT_TRUE(ParseCliOptions({"--check", "x.upd"}, BenchDefaults(), &options, &error)) << error;
  EXPECT_EQ(options.mode, CliMode::Check);

  CliDefaults badWait = BenchDefaults();
  badWait.wait = {"soon", kWaitVariable};
  EXPECT_FALSE(ParseCliOptions({"-f", "x.upd"}, badWait, &options, &error));
  EXPECT_EQ(error, "UPDATE_CLI_WAIT needs a number of seconds greater than 0 and at most 1000000, "
                   "not 'soon'");
  badWait.wait = {"-1", "bench:2"};
  EXPECT_FALSE(ParseCliOptions({"-f", "x.upd"}, badWait, &options, &error));
  EXPECT_EQ(error, "bench:2 needs a number of seconds greater than 0 and at most 1000000, not '-1'");
  // A bad default wait does not matter when the command line gives one.
  EXPECT_TRUE(ParseCliOptions({"-f", "x.upd", "--wait", "1"}, badWait, &options, &error));
}

TEST(CliOptions, TargetChoiceAndOutputLevels) {
  CliOptions options;
  std::string error;
  ASSERT_TRUE(
      ParseCliOptions({"-p", "a", "-f", "x.upd", "--only", "1,0a,FF"}, {}, &options, &error));
  EXPECT_EQ(options.choice.option, "only");
  EXPECT_EQ(options.choice.ids, (std::vector<uint32_t>{0x01, 0x0A, 0xFF}));
  ASSERT_TRUE(ParseCliOptions({"-p", "a", "-f", "x.upd", "-q", "--no-progress"}, {}, &options,
                              &error));
  EXPECT_EQ(options.verbosity, Verbosity::Quiet);
  EXPECT_FALSE(options.progress);

  const std::string ids = " needs target ids in hex separated by commas, such as 01,0A, not ";
  const std::string json = "--json shows every change: it takes none of --quiet, --verbose and "
                           "--no-progress";
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--only", "01", "--skip", "02"}, "choose one of --only and --skip"},
      {{"--only", "1,,2"}, "--only" + ids + "'1,,2'"},
      {{"--skip", "100"}, "--skip" + ids + "'100'"},
      {{"--only", "00"}, "--only" + ids + "'00'"},
      {{"--only", "x1"}, "--only" + ids + "'x1'"},
      {{"--only", "+1"}, "--only" + ids + "'+1'"},
      {{"--only", ""}, "option '--only' needs a value (ID[,ID...]), not an empty one"},
      {{"-q", "-v"}, "choose one of --quiet and --verbose"},
      {{"--json", "-q"}, json},
      {{"--json", "--no-progress"}, json},
  };
  for (const auto& [extra, message] : refused) {
    std::vector<std::string> arguments = {"-p", "a", "-f", "x.upd"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    EXPECT_FALSE(ParseCliOptions(arguments, {}, &options, &error)) << message;
    EXPECT_EQ(error, message);
  }
  EXPECT_FALSE(ParseCliOptions({"--check", "x.upd", "--only", "01"}, {}, &options, &error));
  EXPECT_EQ(error, "--only goes with an update only");
  EXPECT_FALSE(ParseCliOptions({"--list", "x.upd", "-q"}, {}, &options, &error));
  EXPECT_EQ(error, "--quiet goes with an update only");
}

// A settings file that makes no sense stops an update as a usage error, but not
// --help: the user must be able to read how to mend it.
TEST(CliDefaults, ABrokenSettingsFileStopsAnUpdateOnly) {
  const std::string path = SaveSettings("broken", "speed = 3\n");
  const Environment environment = EnvironmentOf({{kSettingsVariable, path}});
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunUpdateCli({"-f", "x.upd"}, out, err, nullptr, environment), 64);
  EXPECT_EQ(ContentsAndClose(err), "update-cli: " + path +
                                       ":1: unknown setting 'speed' (port, wait)\n"
                                       "Try 'update-cli --help' for more information.\n");
  EXPECT_EQ(ContentsAndClose(out), "");
  out = std::tmpfile();
  err = std::tmpfile();
  EXPECT_EQ(RunUpdateCli({"--help"}, out, err, nullptr, environment), 0);
  EXPECT_NE(ContentsAndClose(out).find("UPDATE_CLI_PORT"), std::string::npos);
  EXPECT_EQ(ContentsAndClose(err), "");
}

}  // namespace
