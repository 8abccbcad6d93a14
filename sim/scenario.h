#pragma once
// Scenario text: the device's targets, switch-on delay and faults, one setting per
// line. Blank lines and lines starting with '#' are skipped. Ids and bytes are
// hex (01, 0x55), counts and times decimal.
//
//   switch-on MS                     silent for MS ms after the first host byte
//   target ID firmware [ANSWER...]   a firmware target; the multiplicity queries
//                                    get the answers in turn (default one answer,
//                                    1); "silent": queries get no answer
//   target ID jtag [CHIP]            a JTAG target with the chip behind its port:
//                                    "demo" (default) or "script:FILE.xsvf", a chip
//                                    that answers as that XSVF program expects
//   fault KIND POINT N [xK] [0xHH]   a fault at the N-th POINT since switch-on
//
// Fault points: wake, start, query, select (a selection pair), block, frame,
// levels (a JTAG frame of port levels, 'B'), wait (a JTAG wait frame, 'T'), byte
// (any host byte), shift (a shift that compares TDO).
// Fault kinds (K defaults to 1, HH to 55):
//   noise       K bytes HH before the answer (at byte: when the byte arrives)
//   repeat      K occurrences from the N-th on answered 0x22 and dropped
//   reply       K occurrences from the N-th on answered HH and dropped
//   busy        K times 0x33 before the answer
//   silence     from the N-th on the device receives and answers nothing
//   disconnect  from the N-th on the line is cut
//   end         the block is answered 0x44: the device ends the target (block only)
//   mismatch    K compared shifts from the N-th on report a TDO mismatch (shift only)
//   stuck       from the N-th on the device answers busy every 100 ms, without end
//   flood       from the N-th on the device sends HH without end, as fast as the
//               line carries it
//   deaf        the device answers the N-th, then reads nothing more
//   refuse      K frames from the N-th on answered 0x44, not carried out (frame,
//               levels and wait only)
//
// Examples: "fault busy block 3 x5", "fault reply select 1 x3 0x55",
// "fault refuse wait 1", "fault flood start 1 0x33",
// "target 02 firmware 3 2" (two different answers), "target 05 jtag demo".
//
// The command-line forms of devsim join the words with colons:
// --target 02:firmware:3:2, --target 05:jtag:script:prog.xsvf, --fault busy:block:3:x5.

#include <istream>
#include <string>

#include "sim/device_config.h"

// Applies one scenario line. False with *error for a line it cannot use.
bool ApplyScenarioLine(const std::string& line, DeviceConfig& config, std::string* error);

// Applies every line; the error names the line number.
bool ReadScenario(std::istream& in, DeviceConfig& config, std::string* error);

// The command-line forms: "ID:KIND[:...]" and "KIND:POINT:N[:xK][:0xHH]".
bool ApplyTargetOption(const std::string& text, DeviceConfig& config, std::string* error);
bool ApplyFaultOption(const std::string& text, DeviceConfig& config, std::string* error);
