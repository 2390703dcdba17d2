// Reads a line trace back (the simulator's --trace file or the line monitor's saved CSV) so
// that it can be replayed. The file may come from anyone: whatever is wrong with it is
// refused with the line it is on, and what is kept stays within fixed bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/ecu_type.h"
#include "link/trace.h"

namespace kline {

// Past these a file is refused rather than read: an hour of polling at 7812 baud is well
// under both.
inline constexpr size_t kMaxTraceBytes = size_t{64} << 20;
inline constexpr size_t kMaxTraceRows = 2'000'000;
inline constexpr size_t kMaxTraceLineChars = 1000;
inline constexpr int32_t kMinTraceBaud = 100;
inline constexpr int32_t kMaxTraceBaud = 500'000;
// About four months: later times are a mistake, and staying far from the limits of int64
// keeps every sum of times exact.
inline constexpr int64_t kMaxTraceTimeUs = int64_t{10'000'000} * 1'000'000;

struct TraceRow {
  TraceEntry entry;
  size_t line = 0;  // counted from 1, the header being line 1
  // The row's note (the line monitor's label of the byte) in TraceFile::labels.
  uint32_t label = 0;
};

struct TraceNoteRow {
  TraceNote note;
  size_t line = 0;
};

struct TraceFile {
  std::vector<TraceRow> rows;
  std::vector<TraceNoteRow> notes;
  // Each different note of a byte row once; the first is the empty one.
  std::vector<std::string> labels = {std::string()};
  // From an "ECU type" note, when the file has one.
  std::optional<EcuType> type;
  // The simulator stamps an ECU byte at its start bit and writes notes; the line monitor
  // stamps it when the PC had received it, and writes none.
  bool ecu_times_at_start = false;
};

// Nullopt with "line N: what is wrong" in `error`.
std::optional<TraceFile> ParseTrace(std::string_view text, std::string* error);
// The name of the trace inside a support report.
inline constexpr char kArchivedTraceName[] = "trace.csv";

// The same for a file, refused before it is read when it is larger than kMaxTraceBytes;
// `error` then starts with the path. A support report (a tar archive) is read for the trace
// it holds.
std::optional<TraceFile> LoadTrace(const std::string& path, std::string* error);

}  // namespace kline
