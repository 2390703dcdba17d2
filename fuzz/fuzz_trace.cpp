// Any bytes as a trace handed to --replay: the reader takes it or refuses it naming the line,
// what it keeps stays within its bounds, and a replay of it answers any requests.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/tar_archive.h"
#include "link/trace_reader.h"
#include "sim/replay_ecu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kline;
  using sim::ReplayEcu;
  std::string error;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // A support report: its trace is read from inside, or the archive refused.
  if (LooksLikeTar(text)) {
    const std::optional<std::string_view> member = FindTarMember(text, kArchivedTraceName, &error);
    if (!member) return 0;
    if (member->data() < text.data() || member->data() + member->size() > text.data() + size) {
      std::abort();
    }
    text = *member;
  }
  const std::optional<TraceFile> trace = ParseTrace(text, &error);
  if (!trace) {
    if (!error.starts_with("line ") && !error.starts_with("empty")) std::abort();
    return 0;
  }
  if (trace->rows.size() + trace->notes.size() > kMaxTraceRows) std::abort();
  int64_t last_us = 0;
  for (const TraceRow& row : trace->rows) {
    const TraceEntry& e = row.entry;
    if (e.time_us < last_us || e.baud < kMinTraceBaud || e.baud > kMaxTraceBaud) std::abort();
    last_us = e.time_us;
  }
  std::unique_ptr<ReplayEcu> ecu =
      ReplayEcu::FromTrace(*trace, kline::EcuType::k15m, {size % 2 == 0, {}}, &error);
  if (!ecu) return 0;
  ecu->SetIgnition(0, true);
  // The input's own bytes as requests, at both rates the ECUs use.
  for (size_t i = 0; i < size && i < 64; ++i) {
    ecu->Receive(int64_t{10000} * (i + 1), data[i], i % 2 == 0 ? 1200 : 7812);
    for (const sim::EcuSide::Transmission& tx : ecu->TakeOutput()) {
      if (tx.earliest_us < 0 || tx.baud < kMinTraceBaud) std::abort();
    }
  }
  ecu->TakeNotes();
  return 0;
}
