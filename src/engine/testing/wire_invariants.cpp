#include "engine/testing/wire_invariants.h"

#include <algorithm>
#include <optional>

#include "link/kline_port.h"
#include "link/protocol.h"
#include "sim/wire.h"

namespace kline::testing {

namespace {

using Dir = TraceEntry::Dir;

constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kRequestPauseUs = kRequestPauseMs * 1000;
constexpr int64_t kWakeUpGapUs = kWakeUpGapMs * 1000;
constexpr int64_t kAfterWakeUpUs = kAfterWakeUpMs * 1000;
constexpr uint8_t kWakeFirst = kWakeUpSequence[0];
constexpr uint8_t kEnterOrWakeSecond = kEnterDiagnosticRequest;
constexpr uint8_t kWakeThird = kWakeUpSequence[2];
constexpr uint8_t kLeave = kLeaveDiagnosticRequest;

bool IsTestRequest(uint8_t byte) { return byte >= 0x80 && byte <= 0x8F; }

// How long the PC waits at least for the answer to a request: a test's first answer and
// diagnostic mode's 5 s, FF's 3 s, and for everything else the shortest wait, the live one.
int64_t AnswerBoundUs(uint8_t byte) {
  if (byte == kLeave) return 3000 * kUsPerMs;
  if (IsTestRequest(byte) || byte == kEnterOrWakeSecond) return kTestAnswerBoundMs * kUsPerMs;
  return kAnswerBoundMs * kUsPerMs;
}

std::string Hex(uint8_t byte) { return HexByte(byte); }

// One walk over the trace and its notes in time order; at equal times the note comes first,
// so that a byte written right after a rate switch is not taken for one cut by it.
class Checker {
 public:
  explicit Checker(const WireRun& run) : run_(run) {}

  void Note(const TraceNote& note) {
    const std::string& text = note.text;
    if (text == kTracePortOpenedNote || text == kTracePortClosedNote) due_.reset();
    if (text == kTracePortOpenedNote) {
      woken_ = false;
      in_diagnostic_mode_ = false;
    } else if (text == "wake-up accepted") {
      woken_ = true;
    } else if (text == "diagnostic mode entered") {
      in_diagnostic_mode_ = true;
    } else if (text == "ignition off" || text.starts_with(kTraceCablePulledNote)) {
      in_diagnostic_mode_ = false;
      // Switched on again, the ECU waits for a wake-up as at the first key-on.
      if (text == "ignition off") woken_ = false;
    } else if (text.starts_with("stray byte")) {
      stray_at_us_ = note.time_us;
    } else if (text.starts_with("collision: the ECU could not read") ||
               text.starts_with("ECU listening at")) {
      // The request never reached the ECU: no answer is on its way.
      due_.reset();
    } else if (text.starts_with("PC side set to") || text == kTracePortClosedNote) {
      // Back at the start rate, the PC means to wake the ECU again.
      if (text == "PC side set to " + std::to_string(kStartBaud) + " baud") woken_ = false;
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
    if (due_ && entry.time_us < due_->until_us) {
      Fail(entry.time_us, "byte " + Hex(entry.byte) + " while the answer to " + Hex(due_->request) +
                              " was still due");
    }
    wake_step_ = NextWakeStep(entry);
    due_.reset();
    if (wake_step_ == 0) due_ = Due{entry.byte, entry.time_us + AnswerBoundUs(entry.byte), false};
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
    // Whoever sent the last byte on the line, the request waits its pause after that byte. A
    // byte of the ECU's that has not ended when the request starts could not be seen by any PC:
    // the two collide, and the next request is judged from it.
    const Ended* last = nullptr;
    for (const Ended& ended : ended_) {
      if (ended.end_us <= entry.time_us && (!last || ended.end_us >= last->end_us)) last = &ended;
    }
    if (last && entry.time_us - last->end_us < kRequestPauseUs) {
      Fail(entry.time_us, "request " + Hex(entry.byte) + " only " +
                              Ms(entry.time_us - last->end_us) + " after the end of the last " +
                              (last->from_pc ? "byte " : "ECU byte ") + Hex(last->byte));
    }
  }

 public:
  // Every byte on the line, after Sent for the PC's own: where the line falls free again.
  void OnLine(const TraceEntry& entry) {
    // The simulator stamps an echo and a stray byte from the interface when they are in,
    // everything else when it starts.
    const bool in_at_stamp =
        entry.dir == Dir::kEcho || (entry.dir == Dir::kEcuSent && entry.time_us == stray_at_us_);
    const int64_t end = entry.time_us + (in_at_stamp ? 0 : ByteTimeUs(entry.baud));
    if (due_ && entry.dir == Dir::kEcho) due_->echoed = true;
    // What comes before the echo is no answer (a stray byte from the interface).
    if (due_ && due_->echoed && entry.dir == Dir::kEcuSent) due_.reset();
    // The bytes that ended long before this one can no longer be the last to end.
    std::erase_if(ended_, [&](const Ended& e) { return e.end_us < entry.time_us - kForgetUs; });
    ended_.push_back(Ended{end, entry.byte, entry.dir != Dir::kEcuSent});
  }

 private:
  void CheckOwner(const TraceEntry& entry) {
    if (in_diagnostic_mode_ && !IsTestRequest(entry.byte) && entry.byte != kLeave) {
      Fail(entry.time_us, "request " + Hex(entry.byte) + " while the ECU is in diagnostic mode");
    }
    // The PC cannot know that the ignition went off meanwhile: it keeps to what it asked for.
    if (!aa_outstanding_ && IsTestRequest(entry.byte)) {
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
  // The answer the PC's last request waits for, until it comes behind the echo or its bound
  // passes: nothing may go out meanwhile.
  struct Due {
    uint8_t request;
    int64_t until_us;
    bool echoed;
  };
  std::optional<Due> due_;
  std::optional<TraceEntry> last_;
  // The bytes on the line lately, with when each ended.
  struct Ended {
    int64_t end_us;
    uint8_t byte;
    bool from_pc;
  };
  static constexpr int64_t kForgetUs = 100'000;
  std::vector<Ended> ended_;
  int64_t stray_at_us_ = -1;
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
