#pragma once
// SVF (Serial Vector Format) read one statement at a time. Each statement is a
// keyword, its parameters and a ';'; case does not matter, and a statement may
// span lines.
//
//   SIR/SDR/HIR/HDR/TIR/TDR length [TDI (v)] [TDO (v)] [MASK (v)] [SMASK (v)]
//                           scan parameters in any order, each at most once
//   ENDIR/ENDDR state       IRPAUSE, DRPAUSE, RESET or IDLE
//   STATE [path...] state   a path of states, one clock apart, ending stable
//   RUNTEST [state] count TCK|SCK [time SEC] [MAXIMUM time SEC] [ENDSTATE state]
//   RUNTEST [state] time SEC [MAXIMUM time SEC] [ENDSTATE state]
//   FREQUENCY [cycles HZ]   none: back to full speed
//   TRST ON|OFF|Z|ABSENT
//
// Numbers are decimal, with an optional fraction and exponent (1.00E-02).
//
// The reader checks what a statement says on its own: the grammar, the states
// each place allows, and each vector against its statement's length. What a
// statement means after the ones before it (the parameters a scan keeps from the
// last one, a path's steps from the state the controller is in) is the
// converter's part. PIO and PIOMAP, parallel I/O that no XSVF program can drive,
// are refused here.

#include <cstdint>
#include <optional>
#include <vector>

#include "svf/svf_input.h"
#include "svf/svf_lexer.h"
#include "svf/svf_number.h"
#include "svf/svf_vector.h"
#include "xsvf/xsvf_interpreter.h"

enum class SvfCommand { EndDr, EndIr, Frequency, Hdr, Hir, RunTest, Sdr, Sir, State, Tdr, Tir, Trst };

// The keyword of a command, as SVF writes it.
const char* SvfCommandName(SvfCommand command);

// A STATE statement takes at most this many states: a route between any two
// stable states is under ten, and the limit keeps a statement small.
constexpr size_t kMaxPathStates = 256;

struct SvfVectorParameter {
  bool given = false;
  SvfPosition at;  // where its name stands
  SvfVector vector;
};

struct SvfRunTest {
  std::optional<TapState> runState;
  std::optional<SvfNumber> count;  // clocks
  bool systemClock = false;        // the count is of SCK rather than TCK
  SvfPosition countAt;
  std::optional<SvfNumber> minTime;  // seconds
  std::optional<SvfNumber> maxTime;  // seconds
  SvfPosition maxTimeAt;
  std::optional<TapState> endState;
};

enum class TrstMode { On, Off, Z, Absent };

struct SvfStatement {
  SvfCommand command = SvfCommand::State;
  SvfPosition at;  // where its keyword stands

  // SIR, SDR, HIR, HDR, TIR, TDR
  uint64_t length = 0;
  SvfVectorParameter tdi, tdo, mask, smask;

  // ENDIR, ENDDR: one stable state; STATE: the path, its last state stable
  std::vector<TapState> states;
  std::vector<SvfPosition> stateAt;

  std::optional<SvfNumber> frequency;  // FREQUENCY: Hz; none for full speed
  SvfRunTest runTest;
  TrstMode trst = TrstMode::Off;
};

class SvfReader {
 public:
  explicit SvfReader(SvfInput& input);

  enum class Result { Statement, End, Fault };
  // Reads the next statement; End after the last one. After a Fault, Fault()
  // says what is wrong and where, and nothing more is read.
  Result Next(SvfStatement* statement);
  const SvfMessage& Fault() const { return fault; }
  // The offset in the text right after the last statement read.
  uint64_t Offset() const { return lexer.Offset(); }

 private:
  bool Take(SvfToken* token);
  const SvfToken& Peek();
  bool PeekIsWord(const char* keyword);
  bool ExpectEnd();
  bool ExpectWord(const char* keyword, const char* after);
  bool ReadNumber(const char* what, SvfNumber* number, SvfPosition* at = nullptr);
  bool ReadState(const char* what, TapState* state, SvfPosition* at = nullptr);
  bool ReadStableState(const char* owner, TapState* state);

  bool ReadStatement(SvfStatement* statement);
  bool ReadScan(SvfStatement* statement);
  bool ReadScanVector(SvfStatement* statement, SvfVectorParameter* parameter,
                      const SvfToken& name);
  bool ReadEndState(SvfStatement* statement);
  bool ReadStatePath(SvfStatement* statement);
  bool ReadRunTest(SvfStatement* statement);
  bool ReadRunTestTimes(SvfRunTest* runTest);
  bool ReadFrequency(SvfStatement* statement);
  bool ReadTrst(SvfStatement* statement);

  bool Fail(SvfPosition at, std::string message);
  bool Unexpected(const SvfToken& token, const std::string& expected);

  SvfLexer lexer;
  std::optional<SvfToken> peeked;
  SvfPosition statementAt;
  SvfMessage fault;
};
