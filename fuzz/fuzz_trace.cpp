// Any bytes as a trace handed to --replay: the reader takes it or refuses it with a line
// number, what it keeps stays within its bounds, and a replay of what it took answers any
// requests without leaving the recording's rates.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/replay_ecu.h"
#include "sim/trace_reader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kline::sim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<TraceFile> trace = ParseTrace(text, &error);
  if (!trace) {
    Check(error.starts_with("line ") || error.starts_with("empty"));
    return 0;
  }
  Check(trace->rows.size() + trace->notes.size() <= kMaxTraceRows);
  int64_t last_us = 0;
  for (const TraceRow& row : trace->rows) {
    Check(row.entry.time_us >= last_us && row.entry.time_us <= kMaxTraceTimeUs);
    Check(row.entry.baud >= kMinTraceBaud && row.entry.baud <= kMaxTraceBaud);
    last_us = row.entry.time_us;
  }
  std::unique_ptr<ReplayEcu> ecu = ReplayEcu::FromTrace(
      *trace, kline::EcuType::k15m, {.loop = size % 2 == 0, .report = {}}, &error);
  if (!ecu) {
    Check(!error.empty());
    return 0;
  }
  ecu->SetIgnition(0, true);
  // The input's own bytes as requests, at both rates the ECUs use.
  int64_t now_us = 1000;
  for (size_t i = 0; i < size && i < 64; ++i) {
    ecu->Receive(now_us, data[i], i % 2 == 0 ? 1200 : 7812);
    for (const EcuSide::Transmission& tx : ecu->TakeOutput()) {
      Check(tx.earliest_us >= 0 && tx.baud >= kMinTraceBaud && tx.baud <= kMaxTraceBaud);
    }
    now_us += 10000;
  }
  ecu->TakeNotes();
  return 0;
}
