#include "engine/testing/wire_invariants.h"

#include <algorithm>
#include <optional>

#include "link/protocol.h"
#include "sim/wire.h"

namespace kline::testing {

namespace {

using Dir = TraceEntry::Dir;

constexpr int64_t kRequestPauseUs = kRequestPauseMs * 1000;
constexpr int64_t kWakeUpGapUs = kWakeUpGapMs * 1000;
constexpr int64_t kAfterWakeUpUs = kAfterWakeUpMs * 1000;
constexpr uint8_t kWakeFirst = kWakeUpSequence[0];
constexpr uint8_t kEnterOrWakeSecond = kEnterDiagnosticRequest;
constexpr uint8_t kWakeThird = kWakeUpSequence[2];
constexpr uint8_t kLeave = kLeaveDiagnosticRequest;

bool IsTestRequest(uint8_t byte) { return byte >= 0x80 && byte <= 0x8F; }

std::string Hex(uint8_t byte) { return HexByte(byte); }

// One walk over the trace and its notes in time order; at equal times the note comes first,
// so that a byte written right after a rate switch is not taken for one cut by it.
class Checker {
 public:
  explicit Checker(const WireRun& run) : run_(run) {}

  void Note(const TraceNote& note) {
    const std::string& text = note.text;
    if (text == kTracePortOpenedNote) {
      woken_ = false;
      in_diagnostic_mode_ = false;
    } else if (text == "wake-up accepted") {
      woken_ = true;
    } else if (text == "diagnostic mode entered") {
      in_diagnostic_mode_ = true;
    } else if (text == "ignition off" || text.starts_with(kTraceCablePulledNote)) {
      in_diagnostic_mode_ = false;
    } else if (text.starts_with("PC side set to") || text == kTracePortClosedNote) {
      if (last_ && End(*last_) > note.time_us) {
        Fail(note.time_us,
             "\"" + text + "\" while the PC's byte " + Hex(last_->byte) + " was still on the wire");
      }
      if (text == kTracePortClosedNote && in_diagnostic_mode_) {
        Fail(note.time_us, "port closed with the ECU in diagnostic mode (no FF since AA)");
      }
    }
  }

  void Sent(const TraceEntry& entry) {
    CheckPause(entry);
    CheckOwner(entry);
    CheckAfterStop(entry);
    wake_step_ = NextWakeStep(entry);
    if (entry.byte == kLeave) {
      in_diagnostic_mode_ = false;
      aa_outstanding_ = false;
    }
    if (entry.byte == kEnterOrWakeSecond && wake_step_ != 2) aa_outstanding_ = true;
    last_ = entry;
  }

  std::vector<std::string> failures;

 private:
  static int64_t End(const TraceEntry& e) { return e.time_us + ByteTimeUs(e.baud); }

  // 0: not in a wake-up; 1: 0F sent while not woken; 2: its AA; 3: its CC.
  int NextWakeStep(const TraceEntry& entry) const {
    if (woken_ || run_.type == EcuType::kP8) return 0;
    if (entry.byte == kWakeFirst) return 1;
    if (wake_step_ == 1 && entry.byte == kEnterOrWakeSecond) return 2;
    if (wake_step_ == 2 && entry.byte == kWakeThird) return 3;
    return 0;
  }

  void CheckPause(const TraceEntry& entry) {
    // A wake-up step is only ever set after a byte of the PC's.
    const bool wake_next = (wake_step_ == 1 && entry.byte == kEnterOrWakeSecond) ||
                           (wake_step_ == 2 && entry.byte == kWakeThird);
    if (!woken_ && run_.type != EcuType::kP8 && wake_next) {
      if (entry.time_us - last_->time_us < kWakeUpGapUs) {
        Fail(entry.time_us, "wake-up byte " + Hex(entry.byte) + " only " +
                                Ms(entry.time_us - last_->time_us) + " after " + Hex(last_->byte));
      }
      return;
    }
    if (wake_step_ == 3 && entry.time_us - last_->time_us < kAfterWakeUpUs) {
      Fail(entry.time_us, "request " + Hex(entry.byte) + " only " +
                              Ms(entry.time_us - last_->time_us) + " after the wake-up's CC");
    }
    // Whoever sent the last byte on the line, the request waits its pause after that byte.
    if (entry.time_us - line_free_us_ < kRequestPauseUs) {
      Fail(entry.time_us, "request " + Hex(entry.byte) + " only " +
                              Ms(entry.time_us - line_free_us_) + " after the end of the last " +
                              (line_last_from_pc_ ? "byte " : "ECU byte ") + Hex(line_last_byte_));
    }
  }

 public:
  // Every byte on the line, after Sent for the PC's own: where the line falls free again.
  void OnLine(const TraceEntry& entry) {
    // The simulator stamps an echo when it is in, everything else when it starts.
    const int64_t end = entry.time_us + (entry.dir == Dir::kEcho ? 0 : ByteTimeUs(entry.baud));
    if (end < line_free_us_) return;
    line_free_us_ = end;
    line_last_byte_ = entry.byte;
    line_last_from_pc_ = entry.dir != Dir::kEcuSent;
  }

 private:
  void CheckOwner(const TraceEntry& entry) {
    if (in_diagnostic_mode_ && !IsTestRequest(entry.byte) && entry.byte != kLeave) {
      Fail(entry.time_us, "request " + Hex(entry.byte) + " while the ECU is in diagnostic mode");
    }
    if (!in_diagnostic_mode_ && IsTestRequest(entry.byte)) {
      Fail(entry.time_us, "test request " + Hex(entry.byte) + " outside diagnostic mode");
    }
  }

  void CheckAfterStop(const TraceEntry& entry) {
    if (run_.stop_us < 0 || entry.time_us <= run_.stop_us) return;
    if (entry.byte == kLeave && aa_outstanding_ && !ending_sent_) {
      ending_sent_ = true;
      return;
    }
    Fail(entry.time_us, "byte " + Hex(entry.byte) + " sent after the stop");
  }

  static std::string Ms(int64_t us) { return std::to_string(us / 1000.0) + " ms"; }
  void Fail(int64_t time_us, const std::string& what) {
    failures.push_back("at " + std::to_string(time_us) + " us: " + what);
  }

  const WireRun& run_;
  std::optional<TraceEntry> last_;
  int64_t line_free_us_ = 0;
  uint8_t line_last_byte_ = 0;
  bool line_last_from_pc_ = true;
  bool woken_ = false;
  bool in_diagnostic_mode_ = false;
  bool aa_outstanding_ = false;
  bool ending_sent_ = false;
  int wake_step_ = 0;
};

}  // namespace

std::vector<std::string> CheckWire(const std::vector<TraceEntry>& trace,
                                   const std::vector<TraceNote>& notes, const WireRun& run) {
  Checker checker(run);
  size_t n = 0;
  for (const TraceEntry& entry : trace) {
    while (n < notes.size() && notes[n].time_us <= entry.time_us) checker.Note(notes[n++]);
    if (entry.dir == Dir::kPcSent) checker.Sent(entry);
    checker.OnLine(entry);
  }
  while (n < notes.size()) checker.Note(notes[n++]);
  return checker.failures;
}

}  // namespace kline::testing
