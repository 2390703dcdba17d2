// What a careful human's conversation with the ECU looks like on the wire, checked on the
// simulator's trace whatever the program was asked to do and whenever:
// - every request keeps its pause: 8 ms after the end of the last byte on the line, whoever
//   sent it (live, identification, tests, fault reads, leaving diagnostic mode, the wake-up's
//   0F), and inside the wake-up 110 ms from 0F to AA and from AA to CC, and 300 ms from CC to
//   whatever follows;
// - the rate changes and the port closes only once the PC's last byte has left the wire;
// - once the ECU has entered diagnostic mode, FF goes out before the port closes (unless the
//   cable was pulled or the ignition switched off meanwhile);
// - while the ECU is in diagnostic mode only test requests and FF go out, and test requests
//   never go out outside it (no routine talks while another holds the port);
// - after a stop, nothing goes out but FF, and FF only if AA went out without its FF;
// - nothing goes out while the answer to the PC's last request is still due: until a byte of
//   the ECU's has come behind its echo, or the PC's wait for it is over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/ecu_type.h"
#include "link/trace.h"

namespace kline::testing {

struct WireRun {
  EcuType type;
  int64_t stop_us = -1;  // when the stop was asked for; -1: never
};

std::vector<std::string> CheckWire(const std::vector<TraceEntry>& trace,
                                   const std::vector<TraceNote>& notes, const WireRun& run);

}  // namespace kline::testing
