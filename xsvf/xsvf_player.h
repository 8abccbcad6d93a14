#pragma once
// The XSVF player: plays a JTAG target's XSVF program through the device's JTAG
// port, command by command, with the cable commands of link/jtag_cable.h.
//
// The program comes from the current update-file record through ReadDataByte; the
// cancel request and the progress display are those of g_pUpdateState.
//
//   xsvf_interpreter.h  the state record, bit vectors, byte readers, command table
//   tap_navigation.h    TAP controller moves by single TMS steps
//   shift_engine.h      chunked shifts compared by the device, retries, XSDRINC
//   xsvf_run.h          PlayXsvf, the error codes' messages
//   debug_log.h         xsvf_debug.txt

#include "xsvf/debug_log.h"
#include "xsvf/shift_engine.h"
#include "xsvf/tap_navigation.h"
#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_run.h"
