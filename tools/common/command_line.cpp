#include "tools/common/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/common/program_version.h"
#include "xsvf/shown_text.h"

namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs) {
    if (name == spec.longName) return &spec;
  }
  return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char name) {
  for (const OptionSpec& spec : specs) {
    if (spec.shortName != 0 && spec.shortName == name) return &spec;
  }
  return nullptr;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& specs,
         CommandLine* line)
      : arguments(arguments), specs(specs), line(line) {}

  bool Parse(std::string* error) {
    bool optionsEnded = false;
    for (index = 0; index < arguments.size(); ++index) {
      const std::string& argument = arguments[index];
      if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
        line->operands.push_back(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (!(argument[1] == '-' ? TakeLong(argument) : TakeShort(argument))) {
        *error = problem;
        return false;
      }
    }
    return true;
  }

 private:
  // --name, --name=value, --name value
  bool TakeLong(const std::string& argument) {
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
    const OptionSpec* spec = FindLong(specs, name);
    if (spec == nullptr) return Fail("unknown option '--" + name + "'");
    if (equals != std::string::npos) {
      if (spec->valueName == nullptr) return Fail("option '--" + name + "' takes no value");
      return Add(spec, "--" + name, argument.substr(equals + 1));
    }
    return TakeValue(spec, "--" + name);
  }

  // -x, -xVALUE, -x VALUE, and flags grouped as getopt reads them: -yq is -y -q;
  // in -yxVALUE and -yx VALUE the x that takes a value ends the group.
  bool TakeShort(const std::string& argument) {
    for (size_t at = 1; at < argument.size(); ++at) {
      const std::string given = std::string("-") + argument[at];
      const OptionSpec* spec = FindShort(specs, argument[at]);
      if (spec == nullptr) {
        return Fail("unknown option '" + given + "'" +
                    (argument.size() > 2 ? " in '" + argument + "'" : ""));
      }
      if (spec->valueName != nullptr) {
        return at + 1 < argument.size() ? Add(spec, given, argument.substr(at + 1))
                                        : TakeValue(spec, given);
      }
      if (!Add(spec, given, "")) return false;
    }
    return true;
  }

  // The value of an option given without "=": the next argument, for an option
  // that takes one.
  bool TakeValue(const OptionSpec* spec, const std::string& given) {
    if (spec->valueName == nullptr) return Add(spec, given, "");
    if (index + 1 >= arguments.size()) {
      return Fail("option '" + given + "' needs a value (" + spec->valueName + ")");
    }
    return Add(spec, given, arguments[++index]);
  }

  bool Add(const OptionSpec* spec, const std::string& given, std::string value) {
    const std::string longName = "--" + std::string(spec->longName);
    if (spec->valueName != nullptr && value.empty()) {
      return Fail("option '" + given + "' needs a value (" + spec->valueName +
                  "), not an empty one");
    }
    if (spec->valueName != nullptr && !spec->repeatable && line->Has(spec->longName)) {
      return Fail("option '" + longName + "' may be given only once");
    }
    CommandLine::Given option{spec, std::move(value), {}};
    for (int i = 0; i < spec->moreValues; ++i) {
      if (index + 1 >= arguments.size()) {
        return Fail("option '" + longName + "' needs " + spec->valueName);
      }
      option.more.push_back(arguments[++index]);
      if (option.more.back().empty()) {
        return Fail("option '" + longName + "' needs " + spec->valueName + ", none of them empty");
      }
    }
    line->options.push_back(std::move(option));
    return true;
  }

  bool Fail(std::string message) {
    problem = std::move(message);
    return false;
  }

  const std::vector<std::string>& arguments;
  const std::vector<OptionSpec>& specs;
  CommandLine* line;
  size_t index = 0;
  std::string problem;
};

}  // namespace

const OptionSpec kHelpOption = {'h', "help", nullptr, "show this help and exit"};
const OptionSpec kVersionOption = {0, "version", nullptr, "show the program's name and version and exit"};

bool CommandLine::Has(const char* longName) const {
  for (const Given& given : options) {
    if (std::string(given.spec->longName) == longName) return true;
  }
  return false;
}

std::vector<std::string> CommandLine::Values(const char* longName) const {
  std::vector<std::string> values;
  for (const Given& given : options) {
    if (std::string(given.spec->longName) == longName) values.push_back(given.value);
  }
  return values;
}

std::string CommandLine::Value(const char* longName, const std::string& fallback) const {
  const std::vector<std::string> values = Values(longName);
  return values.empty() ? fallback : values.back();
}

bool ParseCommandLine(const std::vector<std::string>& arguments,
                      const std::vector<OptionSpec>& specs, CommandLine* line,
                      std::string* error) {
  *line = CommandLine();
  return Parser(arguments, specs, line).Parse(error);
}

void ReportFailure(std::FILE* err, const char* program, const std::string& message) {
  std::fprintf(err, "%s: %s\n", program, TerminalText(message).c_str());
}

int ReportUsageError(std::FILE* err, const char* program, const std::string& message) {
  // The message quotes what was given, which may hold any bytes.
  std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", program,
               TerminalText(message).c_str(), program);
  return kExitUsage;
}

void PrintVersion(std::FILE* out, const char* program, const char* version) {
  std::fprintf(out, "%s %s\n", program, version);
}

int StatusAfterOutput(std::FILE* out, std::FILE* err, const char* program, int status, int failed) {
  const bool flushed = std::fflush(out) == 0;
  const int reason = errno;
  if ((flushed && std::ferror(out) == 0) || status != 0) return status;
  std::fprintf(err, "%s: cannot write the output: %s.\n", program,
               reason != 0 ? std::strerror(reason) : "write error");
  return failed;
}

std::optional<int> StartProgram(const std::vector<std::string>& arguments,
                                const std::vector<OptionSpec>& specs, const char* program,
                                const std::string& usage, std::FILE* out, std::FILE* err,
                                CommandLine* line) {
  std::string error;
  if (!ParseCommandLine(arguments, specs, line, &error)) {
    return ReportUsageError(err, program, error);
  }
  if (line->Has("help")) {
    std::fputs(usage.c_str(), out);
    return StatusAfterOutput(out, err, program, 0, 1);
  }
  if (line->Has("version")) {
    PrintVersion(out, program, ProgramVersion());
    return StatusAfterOutput(out, err, program, 0, 1);
  }
  return std::nullopt;
}

namespace {

// "-o, --output FILE" or "    --rle".
std::string OptionNames(const OptionSpec& spec) {
  std::string names = spec.shortName != 0 ? std::string("-") + spec.shortName + ", " : "    ";
  names += std::string("--") + spec.longName;
  if (spec.valueName != nullptr) names += std::string(" ") + spec.valueName;
  return names;
}

}  // namespace

std::string OptionHelp(const std::vector<OptionSpec>& specs) {
  constexpr size_t kMaxNamesWidth = 32;
  size_t width = 0;
  for (const OptionSpec& spec : specs) {
    if (spec.help != nullptr) width = std::max(width, OptionNames(spec).size());
  }
  width = std::min(width, kMaxNamesWidth);
  const std::string indent(2 + width + 2, ' ');
  std::string text;
  for (const OptionSpec& spec : specs) {
    if (spec.help == nullptr) continue;
    const std::string names = OptionNames(spec);
    text += "  " + names;
    text += names.size() > width ? "\n" + indent : std::string(width - names.size() + 2, ' ');
    for (const char* c = spec.help; *c != '\0'; ++c) {
      text += *c;
      if (*c == '\n') text += indent;
    }
    text += "\n";
  }
  return text;
}

std::optional<int> StartProgram(int argc, char** argv, const std::vector<OptionSpec>& specs,
                                const char* program, const std::string& usage,
                                CommandLine* line) {
  return StartProgram(std::vector<std::string>(argv + 1, argv + argc), specs, program, usage,
                      stdout, stderr, line);
}

std::string OptionsAndExitStatus(const std::vector<OptionSpec>& specs, const std::string& done,
                                 const std::string& notDone) {
  return "Options:\n" + OptionHelp(specs) +
         "\n"
         "Exit status:\n"
         "  0   " + done + "\n"
         "  1   " + notDone + "\n"
         "  64  the command line is wrong\n";
}

bool ParseDecimal(const std::string& text, uint64_t maximum, uint64_t* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || number > maximum) return false;
  *value = number;
  return true;
}
