#include "link/trace_gaps.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "link/protocol.h"

namespace kline {

namespace {

using Dir = TraceEntry::Dir;

constexpr int64_t kUsPerMs = 1000;

// When a byte had left the wire: the PC's bytes, and the ECU's where the file stamps them at
// their start, take a byte time after their stamp; echoes, and the ECU's bytes in the line
// monitor's file, are stamped once they are in.
int64_t EndUs(const TraceEntry& entry, bool ecu_at_start) {
  const bool at_start = entry.dir == Dir::kPcSent || (entry.dir == Dir::kEcuSent && ecu_at_start);
  return entry.time_us + (at_start ? ByteTimeUs(entry.baud) : 0);
}

// One walk in time order, with the notes of a simulator's trace between the bytes: a port
// opened again starts a conversation again.
class GapReader {
 public:
  explicit GapReader(const TraceFile& trace)
      : ecu_at_start_(trace.ecu_times_at_start), never_woken_(trace.type == EcuType::kP8) {
    Restart();
  }

  void Restart() {
    spoke_ = false;
    woken_ = never_woken_;
    wake_step_ = 0;
    asked_ = false;
    in_diagnostic_mode_ = false;
  }

  GapMark Byte(const TraceEntry& entry) {
    GapMark mark = GapMark::kNone;
    if (entry.dir == Dir::kPcSent) mark = Request(entry);
    if (entry.dir == Dir::kEcuSent) mark = Answer(entry);
    line_free_us_ = std::max(line_free_us_, EndUs(entry, ecu_at_start_));
    return mark;
  }

 private:
  GapMark Request(const TraceEntry& entry) {
    GapMark mark = GapMark::kNone;
    const bool wake_next = !woken_ && ((wake_step_ == 1 && entry.byte == kWakeUpSequence[1]) ||
                                       (wake_step_ == 2 && entry.byte == kWakeUpSequence[2]));
    if (spoke_) {
      // Inside the wake-up the pauses run from the start of the PC's byte before; elsewhere
      // from the end of the last byte on the line, since the PC waits for the answer first.
      int64_t needed_us = kRequestPauseMs * kUsPerMs;
      int64_t from_us = line_free_us_;
      if (wake_next || wake_step_ == 3) {
        needed_us = (wake_next ? kWakeUpGapMs : kAfterWakeUpMs) * kUsPerMs;
        from_us = last_pc_.time_us;
      }
      if (entry.time_us - from_us + kStampPrecisionUs < needed_us) mark = GapMark::kEarlyRequest;
    }
    if (wake_next) {
      ++wake_step_;
      if (wake_step_ == 3) woken_ = true;
    } else {
      wake_step_ = !woken_ && entry.byte == kWakeUpSequence[0] ? 1 : 0;
      if (woken_ && entry.byte == kEnterDiagnosticRequest) in_diagnostic_mode_ = true;
      if (entry.byte == kLeaveDiagnosticRequest) in_diagnostic_mode_ = false;
    }
    last_pc_ = entry;
    spoke_ = true;
    asked_ = true;
    return mark;
  }

  GapMark Answer(const TraceEntry& entry) {
    // What the ECU says by itself at key-on comes before the PC's first byte, and a test
    // reports on its own while it runs.
    if (!spoke_ || in_diagnostic_mode_) return GapMark::kNone;
    if (!asked_) return GapMark::kUnasked;
    asked_ = false;
    // A byte stamped at its start has been on the wire for a byte's time when the PC has it.
    const int64_t at_pc_us = entry.time_us + (ecu_at_start_ ? ByteTimeUs(entry.baud) : 0);
    if (at_pc_us - last_pc_.time_us > AnswerBoundMs(last_pc_.byte) * kUsPerMs + kStampPrecisionUs) {
      return GapMark::kLateAnswer;
    }
    return GapMark::kNone;
  }

  const bool ecu_at_start_;
  const bool never_woken_;
  TraceEntry last_pc_;        // when spoke_
  int64_t line_free_us_ = 0;  // the end of the last byte on the line
  bool spoke_ = false;
  bool woken_ = false;
  int wake_step_ = 0;  // 1: 0F sent while not woken; 2: its AA; 3: its CC
  bool asked_ = false;
  bool in_diagnostic_mode_ = false;
};

}  // namespace

std::string_view GapMarkText(GapMark mark) {
  switch (mark) {
    case GapMark::kEarlyRequest:
      return "request sooner than its pause";
    case GapMark::kLateAnswer:
      return "answer later than its bound";
    case GapMark::kUnasked:
      return "byte while nothing was asked";
    case GapMark::kNone:
      break;
  }
  return {};
}

TraceGaps ReadGaps(const TraceFile& trace) {
  TraceGaps gaps;
  gaps.gap_us.reserve(trace.rows.size());
  gaps.marks.reserve(trace.rows.size());
  GapReader reader(trace);
  size_t note = 0;
  int64_t previous_end_us = 0;
  bool asked = false;
  for (const TraceRow& row : trace.rows) {
    for (; note < trace.notes.size() && trace.notes[note].note.time_us <= row.entry.time_us;
         ++note) {
      const std::string& text = trace.notes[note].note.text;
      // Across bytes left out, the pause before the next one is nobody's.
      if (StartsConversation(text) || text.starts_with(kTraceLeftOutNote)) reader.Restart();
      if (text.starts_with(kTraceLeftOutNote)) {
        gaps.left_out += std::strtoull(text.c_str() + std::strlen(kTraceLeftOutNote), nullptr, 10);
      }
    }
    if (row.entry.dir == Dir::kPcSent && !asked) {
      asked = true;
      gaps.no_wake_up =
          trace.type && *trace.type != EcuType::kP8 && row.entry.byte != kWakeUpSequence[0];
    }
    const GapMark mark = reader.Byte(row.entry);
    // From the end of the byte before, as the marks judge the pauses.
    gaps.gap_us.push_back(row.entry.time_us - previous_end_us);
    gaps.marks.push_back(mark);
    ++gaps.counts[static_cast<size_t>(mark)];
    previous_end_us = EndUs(row.entry, trace.ecu_times_at_start);
  }
  return gaps;
}

std::string GapCountsLine(const TraceGaps& gaps) {
  const auto count = [&](GapMark mark, const char* one, const char* many) {
    const size_t n = gaps.counts[static_cast<size_t>(mark)];
    return std::to_string(n) + (n == 1 ? one : many);
  };
  return count(GapMark::kEarlyRequest, " request sooner than its pause",
               " requests sooner than their pause") +
         ", " +
         count(GapMark::kLateAnswer, " answer later than its bound",
               " answers later than their bound") +
         ", " +
         count(GapMark::kUnasked, " byte while nothing was asked",
               " bytes while nothing was asked") +
         (gaps.left_out > 0 ? "; " + std::to_string(gaps.left_out) + " bytes left out" : "") +
         (gaps.no_wake_up ? "; no wake-up before the first request" : "");
}

}  // namespace kline
