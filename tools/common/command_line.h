#pragma once
// The command lines of the project's programs, read the way users of command-line
// tools expect: short options (-p PORT, -pPORT), short flags grouped (-yq, and
// -yp PORT: the group's last may take a value), long options (--port PORT,
// --port=PORT), flags that take no value, operands mixed in among them, and "--"
// before operands that start with a dash. A value is never empty, and an option
// that takes a value is given once unless it is repeatable: a second --check FILE
// would otherwise silently overrule the first.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Exit status of a command line that makes no sense, apart from every program's
// own outcomes (the value sysexits.h calls EX_USAGE).
constexpr int kExitUsage = 64;

// Exit status of a program that did not write its output: an input cannot be
// read or holds an error, or the output cannot be written.
constexpr int kExitNotWritten = 1;

struct OptionSpec {
  char shortName;         // 0: no short form
  const char* longName;   // without the leading "--"
  const char* valueName;  // nullptr: a flag, which takes no value
  // What the option does, for --help; lines after the first are indented to
  // stand under it. nullptr: not listed.
  const char* help = nullptr;
  // Arguments the option takes after its value, as they stand (even when they
  // begin with a dash): mkupd's --firmware ID NAME IMAGE has 2.
  int moreValues = 0;
  // May be given more than once, each value kept in order (-p PORT -p PORT).
  bool repeatable = false;
};

// The options every program has: -h/--help and --version.
extern const OptionSpec kHelpOption;
extern const OptionSpec kVersionOption;

struct CommandLine {
  struct Given {
    const OptionSpec* spec;
    std::string value;               // empty for a flag
    std::vector<std::string> more;   // the OptionSpec's moreValues arguments after it
  };
  std::vector<Given> options;         // in the order given
  std::vector<std::string> operands;  // arguments that are not options, in order

  bool Has(const char* longName) const;
  // The value each time the option was given, in order.
  std::vector<std::string> Values(const char* longName) const;
  // The option's value (the last, for a repeatable one), or `fallback`.
  std::string Value(const char* longName, const std::string& fallback = "") const;
};

// Parses the arguments after the program name. False with *error for an unknown
// option, a missing or empty value, a value given to a flag or an option that
// takes a value given twice without being repeatable. *line points into `specs`,
// which must outlive it.
bool ParseCommandLine(const std::vector<std::string>& arguments,
                      const std::vector<OptionSpec>& specs, CommandLine* line,
                      std::string* error);

// "PROGRAM: message" on err, the message on one line with its controls escaped
// (TerminalText): what a program says when it cannot do what was asked, quoting
// paths and what files hold.
void ReportFailure(std::FILE* err, const char* program, const std::string& message);

// "PROGRAM: message", then how to get help, on err; returns kExitUsage. The
// message is one line, its controls escaped (TerminalText), since it quotes what
// was given.
int ReportUsageError(std::FILE* err, const char* program, const std::string& message);

// The exit status of a program that has written its output to `out`: `status`;
// but when what it wrote did not all arrive (a full disk, a closed pipe) and
// `status` is 0, `failed`, after "PROGRAM: cannot write the output: REASON." on
// err. A program's status never says it did what was asked when its output was
// lost.
int StatusAfterOutput(std::FILE* out, std::FILE* err, const char* program, int status, int failed);

// "PROGRAM VERSION" on out, as --version prints it.
void PrintVersion(std::FILE* out, const char* program, const char* version);

// The start every program shares: parses `arguments` into *line. When the
// program ends there, returns its exit status: 0 after printing `usage` for
// -h/--help or the version line for --version on out, kExitUsage after saying
// on err why the command line makes no sense. Nothing: go on with *line.
std::optional<int> StartProgram(const std::vector<std::string>& arguments,
                                const std::vector<OptionSpec>& specs, const char* program,
                                const std::string& usage, std::FILE* out, std::FILE* err,
                                CommandLine* line);

// StartProgram on a program's own arguments (those after its name), with standard
// output and standard error.
std::optional<int> StartProgram(int argc, char** argv, const std::vector<OptionSpec>& specs,
                                const char* program, const std::string& usage,
                                CommandLine* line);

// The end of the --help of a program that writes one output: "Options:" with the
// options' lines, then "Exit status:" with 0 (`done`), 1 (`notDone`,
// kExitNotWritten) and 64 (kExitUsage).
std::string OptionsAndExitStatus(const std::vector<OptionSpec>& specs, const std::string& done,
                                 const std::string& notDone);

// The options' lines of --help, one entry per option with a help text, e.g.
// "  -o, --output FILE      the update file to write", the texts aligned.
std::string OptionHelp(const std::vector<OptionSpec>& specs);

// An option's value as a decimal number: digits alone (no sign, no blank), at
// most `maximum`. False for anything else, a number too large for 64 bits
// included.
bool ParseDecimal(const std::string& text, uint64_t maximum, uint64_t* value);
