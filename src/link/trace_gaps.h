// What a trace shows about the timing on the wire: the gap before each byte, and the gaps
// that break what this program keeps itself, so that a trace from a user's bike tells at a
// glance whether the PC or the ECU strayed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/trace_reader.h"

namespace kline {

enum class GapMark : uint8_t {
  kNone,
  kEarlyRequest,  // a PC byte sooner after the last byte on the line than its pause
  kLateAnswer,    // an ECU byte later after its request than the PC waits
  kUnasked,       // an ECU byte while nothing was asked
};
inline constexpr size_t kGapMarkCount = 4;

// A stamp is the moment a program saw its byte, not the moment the byte crossed the wire: a
// serial driver hands bytes over in chunks up to 1 ms apart (an FTDI's latency timer at its
// lowest), and a program reading a pseudo-terminal wakes a fraction of that late. A pause or
// bound counts as broken only when it is broken by more than this.
inline constexpr int64_t kStampPrecisionUs = 1000;

// "request sooner than its pause", "answer later than its bound", "byte while nothing was
// asked"; empty for kNone.
std::string_view GapMarkText(GapMark mark);

struct TraceGaps {
  // One of each per row of the trace, in its order. The gap is the time since the end of the
  // byte before, as the marks judge it (since the port opened for the first); bytes that
  // overlap on the wire give a negative gap.
  std::vector<int64_t> gap_us;
  std::vector<GapMark> marks;
  std::array<size_t, kGapMarkCount> counts{};
  // Bytes a long session's trace left out (its notes say where), and whether the first
  // request of a woken type is no wake-up: an older trace kept only a session's last bytes.
  uint64_t left_out = 0;
  bool no_wake_up = false;
};

TraceGaps ReadGaps(const TraceFile& trace);

// The counts in one line: "2 requests sooner than their pause, 0 answers later than their
// bound, 1 byte while nothing was asked", then what the trace lacks, if anything: "; 4000
// bytes left out; no wake-up before the first request".
std::string GapCountsLine(const TraceGaps& gaps);

}  // namespace kline
