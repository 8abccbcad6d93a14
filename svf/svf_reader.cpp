#include "svf/svf_reader.h"

#include <algorithm>
#include <cctype>

#include "svf/tap_route.h"

namespace {

// The longest scan taken, in bits (2^40: 128 GiB of data), far beyond any device.
constexpr uint64_t kMaxScanLength = uint64_t{1} << 40;

struct Keyword {
  const char* name;
  SvfCommand command;
};

const Keyword kKeywords[] = {
    {"ENDDR", SvfCommand::EndDr},     {"ENDIR", SvfCommand::EndIr},
    {"FREQUENCY", SvfCommand::Frequency}, {"HDR", SvfCommand::Hdr},
    {"HIR", SvfCommand::Hir},         {"RUNTEST", SvfCommand::RunTest},
    {"SDR", SvfCommand::Sdr},         {"SIR", SvfCommand::Sir},
    {"STATE", SvfCommand::State},     {"TDR", SvfCommand::Tdr},
    {"TIR", SvfCommand::Tir},         {"TRST", SvfCommand::Trst},
};

const char kStableStates[] = "a stable state (IRPAUSE, DRPAUSE, RESET or IDLE)";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool IsWord(const SvfToken& token, const char* keyword) {
  return token.kind == SvfToken::Kind::Word && Upper(token.text) == keyword;
}

bool IsScan(SvfCommand command) {
  return command == SvfCommand::Sir || command == SvfCommand::Sdr || command == SvfCommand::Hir ||
         command == SvfCommand::Hdr || command == SvfCommand::Tir || command == SvfCommand::Tdr;
}

}  // namespace

const char* SvfCommandName(SvfCommand command) {
  for (const Keyword& keyword : kKeywords) {
    if (keyword.command == command) return keyword.name;
  }
  return "";
}

SvfReader::SvfReader(SvfInput& input) : lexer(input) {}

SvfReader::Result SvfReader::Next(SvfStatement* statement) {
  if (!fault.message.empty()) return Result::Fault;
  const SvfToken& first = Peek();
  if (!fault.message.empty()) return Result::Fault;
  if (first.kind == SvfToken::Kind::EndOfText) return Result::End;
  *statement = SvfStatement();
  return ReadStatement(statement) ? Result::Statement : Result::Fault;
}

// ---- Tokens ----

bool SvfReader::Take(SvfToken* token) {
  if (peeked) {
    *token = std::move(*peeked);
    peeked.reset();
    return fault.message.empty();
  }
  if (lexer.Next(token)) return true;
  fault = lexer.Fault();
  return false;
}

const SvfToken& SvfReader::Peek() {
  if (!peeked) {
    SvfToken token;
    if (!lexer.Next(&token)) fault = lexer.Fault();
    peeked = std::move(token);
  }
  return *peeked;
}

bool SvfReader::PeekIsWord(const char* keyword) { return IsWord(Peek(), keyword); }

bool SvfReader::Fail(SvfPosition at, std::string message) {
  fault.at = at;
  fault.message = std::move(message);
  return false;
}

bool SvfReader::Unexpected(const SvfToken& token, const std::string& expected) {
  return Fail(token.at, "expected " + expected + ", found " + DescribeToken(token));
}

bool SvfReader::ExpectEnd() {
  SvfToken token;
  if (!Take(&token)) return false;
  return token.kind == SvfToken::Kind::End || Unexpected(token, "';'");
}

bool SvfReader::ExpectWord(const char* keyword, const char* after) {
  SvfToken token;
  if (!Take(&token)) return false;
  return IsWord(token, keyword) || Unexpected(token, std::string(keyword) + " after " + after);
}

bool SvfReader::ReadNumber(const char* what, SvfNumber* number, SvfPosition* at) {
  SvfToken token;
  if (!Take(&token)) return false;
  if (token.kind != SvfToken::Kind::Word) return Unexpected(token, what);
  if (at) *at = token.at;
  return ParseSvfNumber(token.text, number) ||
         Fail(token.at, DescribeToken(token) + " is not a number");
}

bool SvfReader::ReadState(const char* what, TapState* state, SvfPosition* at) {
  SvfToken token;
  if (!Take(&token)) return false;
  if (token.kind != SvfToken::Kind::Word) return Unexpected(token, what);
  if (at) *at = token.at;
  const std::optional<TapState> named = TapStateFromSvfName(token.text);
  if (!named) return Fail(token.at, DescribeToken(token) + " is not a TAP state");
  *state = *named;
  return true;
}

bool SvfReader::ReadStableState(const char* owner, TapState* state) {
  SvfPosition at;
  if (!ReadState(kStableStates, state, &at)) return false;
  return IsStableState(*state) || Fail(at, std::string(owner) + " needs " + kStableStates +
                                               ", not " + SvfStateName(*state));
}

// ---- Statements ----

bool SvfReader::ReadStatement(SvfStatement* statement) {
  SvfToken keyword;
  if (!Take(&keyword)) return false;
  statement->at = keyword.at;
  if (keyword.kind != SvfToken::Kind::Word) return Unexpected(keyword, "a statement");
  const std::string name = Upper(keyword.text);
  if (name == "PIO" || name == "PIOMAP") {
    return Fail(keyword.at, name + " is refused: an XSVF program drives the JTAG port only, "
                                   "it has no parallel I/O");
  }
  const Keyword* found = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                      [&name](const Keyword& k) { return name == k.name; });
  if (found == std::end(kKeywords)) {
    return Fail(keyword.at, "unknown statement " + DescribeToken(keyword));
  }
  statement->command = found->command;
  switch (statement->command) {
    case SvfCommand::EndDr:
    case SvfCommand::EndIr:
      return ReadEndState(statement);
    case SvfCommand::State:
      return ReadStatePath(statement);
    case SvfCommand::RunTest:
      return ReadRunTest(statement);
    case SvfCommand::Frequency:
      return ReadFrequency(statement);
    case SvfCommand::Trst:
      return ReadTrst(statement);
    default:
      return IsScan(statement->command) && ReadScan(statement);
  }
}

bool SvfReader::ReadScan(SvfStatement* statement) {
  const std::string name = SvfCommandName(statement->command);
  SvfToken length;
  if (!Take(&length)) return false;
  if (length.kind != SvfToken::Kind::Word) return Unexpected(length, "the length of " + name);
  SvfNumber number;
  if (!ParseSvfNumber(length.text, &number) || !WholeValue(number, &statement->length) ||
      statement->length > kMaxScanLength) {
    return Fail(length.at, DescribeToken(length) + " is not a length: a whole number of bits "
                           "from 0 to " + std::to_string(kMaxScanLength));
  }
  for (;;) {
    SvfToken token;
    if (!Take(&token)) return false;
    if (token.kind == SvfToken::Kind::End) return true;
    SvfVectorParameter* parameter = IsWord(token, "TDI")     ? &statement->tdi
                                    : IsWord(token, "TDO")   ? &statement->tdo
                                    : IsWord(token, "MASK")  ? &statement->mask
                                    : IsWord(token, "SMASK") ? &statement->smask
                                                             : nullptr;
    if (!parameter) return Unexpected(token, "TDI, TDO, MASK, SMASK or ';'");
    if (parameter->given) return Fail(token.at, Upper(token.text) + " is given twice");
    if (!ReadScanVector(statement, parameter, token)) return false;
  }
}

bool SvfReader::ReadScanVector(SvfStatement* statement, SvfVectorParameter* parameter,
                               const SvfToken& name) {
  const std::string upper = Upper(name.text);
  SvfToken open;
  if (!Take(&open)) return false;
  if (open.kind != SvfToken::Kind::Open) return Unexpected(open, "'(' after " + upper);
  parameter->given = true;
  parameter->at = name.at;
  if (lexer.ReadVector(upper, open.at, statement->length, &parameter->vector)) return true;
  fault = lexer.Fault();
  return false;
}

bool SvfReader::ReadEndState(SvfStatement* statement) {
  TapState state = TapIdle;
  if (!ReadStableState(SvfCommandName(statement->command), &state)) return false;
  statement->states.push_back(state);
  return ExpectEnd();
}

bool SvfReader::ReadStatePath(SvfStatement* statement) {
  while (Peek().kind != SvfToken::Kind::End) {
    if (statement->states.size() == kMaxPathStates) {
      return Fail(statement->at, "a STATE path of more than " + std::to_string(kMaxPathStates) +
                                     " states");
    }
    TapState state = TapIdle;
    SvfPosition at;
    if (!ReadState("a TAP state or ';'", &state, &at)) return false;
    statement->states.push_back(state);
    statement->stateAt.push_back(at);
  }
  if (!fault.message.empty()) return false;
  if (statement->states.empty()) return Fail(statement->at, "STATE needs at least one state");
  const TapState last = statement->states.back();
  if (!IsStableState(last)) {
    return Fail(statement->stateAt.back(), std::string("STATE must end in ") + kStableStates +
                                               ", not " + SvfStateName(last));
  }
  return ExpectEnd();
}

bool SvfReader::ReadRunTest(SvfStatement* statement) {
  SvfRunTest& runTest = statement->runTest;
  const SvfToken& first = Peek();
  if (first.kind == SvfToken::Kind::Word && TapStateFromSvfName(first.text)) {
    TapState state = TapIdle;
    if (!ReadStableState("RUNTEST", &state)) return false;
    runTest.runState = state;
  }
  SvfNumber number;
  SvfPosition numberAt;
  if (!ReadNumber("a clock count or a time", &number, &numberAt)) return false;
  SvfToken unit;
  if (!Take(&unit)) return false;
  if (IsWord(unit, "SEC")) {
    runTest.minTime = number;
  } else if (IsWord(unit, "TCK") || IsWord(unit, "SCK")) {
    uint64_t whole = 0;
    if (!WholeValue(number, &whole)) {
      return Fail(numberAt, "a clock count must be a whole number");
    }
    runTest.count = number;
    runTest.countAt = numberAt;
    runTest.systemClock = IsWord(unit, "SCK");
    const SvfToken& next = Peek();
    SvfNumber unused;
    if (next.kind == SvfToken::Kind::Word && ParseSvfNumber(next.text, &unused)) {
      if (!ReadNumber("a time", &number) || !ExpectWord("SEC", "the minimum time")) return false;
      runTest.minTime = number;
    }
  } else {
    return Unexpected(unit, "TCK, SCK or SEC");
  }
  return ReadRunTestTimes(&runTest) && ExpectEnd();
}

// The optional MAXIMUM time and ENDSTATE at the end of a RUNTEST.
bool SvfReader::ReadRunTestTimes(SvfRunTest* runTest) {
  if (PeekIsWord("MAXIMUM")) {
    SvfToken maximum;
    SvfNumber number;
    if (!Take(&maximum) || !ReadNumber("a maximum time", &number) ||
        !ExpectWord("SEC", "the maximum time")) {
      return false;
    }
    runTest->maxTime = number;
    runTest->maxTimeAt = maximum.at;
  }
  if (PeekIsWord("ENDSTATE")) {
    SvfToken endState;
    TapState state = TapIdle;
    if (!Take(&endState) || !ReadStableState("ENDSTATE", &state)) return false;
    runTest->endState = state;
  }
  return fault.message.empty();
}

bool SvfReader::ReadFrequency(SvfStatement* statement) {
  if (Peek().kind == SvfToken::Kind::End) return ExpectEnd();
  SvfNumber frequency;
  SvfPosition at;
  if (!ReadNumber("a frequency or ';'", &frequency, &at) || !ExpectWord("HZ", "the frequency")) {
    return false;
  }
  if (frequency.digits == 0) return Fail(at, "FREQUENCY must be above 0 HZ");
  statement->frequency = frequency;
  return ExpectEnd();
}

bool SvfReader::ReadTrst(SvfStatement* statement) {
  SvfToken mode;
  if (!Take(&mode)) return false;
  if (IsWord(mode, "ON")) {
    statement->trst = TrstMode::On;
  } else if (IsWord(mode, "OFF")) {
    statement->trst = TrstMode::Off;
  } else if (IsWord(mode, "Z")) {
    statement->trst = TrstMode::Z;
  } else if (IsWord(mode, "ABSENT")) {
    statement->trst = TrstMode::Absent;
  } else {
    return Unexpected(mode, "ON, OFF, Z or ABSENT");
  }
  return ExpectEnd();
}
