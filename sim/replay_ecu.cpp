#include "sim/replay_ecu.h"

#include <algorithm>
#include <utility>

#include "sim/profile.h"
#include "sim/wire.h"

namespace kline::sim {

namespace {

constexpr int32_t kStartBaud = 1200;
constexpr uint8_t kFirstWakeUpByte = 0x0F;

// Live-data requests; 0F is left out because it is also the first wake-up byte.
bool IsLiveRequest(uint8_t request) { return request >= 0x01 && request <= 0x0B; }

std::string Request(uint8_t byte, int32_t baud) {
  return HexByte(byte) + " at " + std::to_string(baud) + " baud";
}

}  // namespace

std::unique_ptr<ReplayEcu> ReplayEcu::FromTrace(const TraceFile& trace, EcuType type,
                                                Options options, std::string* error) {
  std::unique_ptr<ReplayEcu> ecu(new ReplayEcu(type, std::move(options)));
  int64_t origin_us = 0;
  // The line monitor stamps a byte when the program saw it, some time after it arrived; the
  // echo of the request, which the interface sends back at once, shows how long that was.
  int64_t seen_late_us = 0;
  // Rows and notes in the order of the file; one connection is replayed, the first.
  size_t note = 0;
  bool after_gap = false;
  // One pass further than the rows, for the notes after the last byte.
  for (size_t r = 0; r <= trace.rows.size(); ++r) {
    const size_t line = r < trace.rows.size() ? trace.rows[r].line : SIZE_MAX;
    bool ended = false;
    for (; note < trace.notes.size() && trace.notes[note].line < line; ++note) {
      const std::string& text = trace.notes[note].note.text;
      // The PC's bytes after the pull never reached the line: the next one finds it gone.
      if (text.starts_with(kTraceCablePulledNote)) {
        ecu->cable_step_ = std::min(ecu->cable_step_, ecu->steps_.size());
      }
      // What comes after bytes left out, up to the next request, answers a request that is
      // not in the file.
      if (text.starts_with(kTraceLeftOutNote)) {
        ecu->gaps_.push_back(ecu->steps_.size());
        after_gap = true;
      }
      if (!StartsConversation(text) && text != kTracePortClosedNote) continue;
      ended = !ecu->steps_.empty();
      if (ended) break;
      // Whatever came before the port opened belongs to no conversation.
      origin_us = trace.notes[note].note.time_us;
      ecu->unasked_.clear();
    }
    if (ended || r == trace.rows.size()) break;
    const TraceEntry& entry = trace.rows[r].entry;
    if (after_gap && entry.dir != TraceEntry::Dir::kPcSent) continue;
    after_gap = false;
    switch (entry.dir) {
      case TraceEntry::Dir::kPcSent:
        ecu->by_request_[entry.byte].push_back(ecu->steps_.size());
        ecu->steps_.push_back(Step{entry.byte, entry.baud, entry.time_us, line, {}});
        ecu->steps_.back().unheard = entry.garbled;
        break;
      case TraceEntry::Dir::kEcho:
        if (!ecu->steps_.empty() && ecu->steps_.back().interface.act == InterfaceAct::kNoEcho) {
          Step& step = ecu->steps_.back();
          step.interface.act = InterfaceAct::kEchoes;
          // No answer comes before the echo of its request: those were stray bytes.
          for (const Reply& stray : step.replies) step.interface.before_echo.push_back(stray.byte);
          step.replies.clear();
        }
        if (!trace.ecu_times_at_start && !ecu->steps_.empty()) {
          const Step& step = ecu->steps_.back();
          seen_late_us = std::max<int64_t>(entry.time_us - step.time_us - ByteTimeUs(step.baud), 0);
        }
        break;
      case TraceEntry::Dir::kEcuSent: {
        const int64_t start_us = trace.ecu_times_at_start
                                     ? entry.time_us
                                     : entry.time_us - ByteTimeUs(entry.baud) - seen_late_us;
        const int64_t since_us = ecu->steps_.empty() ? origin_us : ecu->steps_.back().time_us;
        Reply reply{std::max<int64_t>(start_us - since_us, 0), entry.byte, entry.baud,
                    entry.garbled};
        (ecu->steps_.empty() ? ecu->unasked_ : ecu->steps_.back().replies).push_back(reply);
        break;
      }
    }
  }
  if (ecu->steps_.empty() && ecu->unasked_.empty()) {
    *error = "holds no byte that the PC or the ECU sent: nothing to replay";
    return nullptr;
  }
  ecu->StartWithoutWakeUp();
  ecu->live_start_ = static_cast<size_t>(
      std::find_if(ecu->steps_.begin(), ecu->steps_.end(),
                   [](const Step& step) { return IsLiveRequest(step.request); }) -
      ecu->steps_.begin());
  return ecu;
}

void ReplayEcu::StartWithoutWakeUp() {
  if (type_ == EcuType::kP8 || steps_.empty() || steps_.front().request == kFirstWakeUpByte) {
    return;
  }
  const Step& first = steps_.front();
  std::string said = "the recording holds no wake-up (its first request is " +
                     Request(first.request, first.baud) + ", line " + std::to_string(first.line) +
                     "): requests it does not hold go unanswered";
  const Profile usual = BuiltinProfile(type_);
  // A 15Rc is woken without them, a 16m stays at the start rate.
  const bool listened = type_ == EcuType::k15m || type_ == EcuType::k16m;
  if (unasked_.empty() && listened && first.baud != kStartBaud) {
    for (size_t i = 0; i < usual.iso_code.size(); ++i) {
      unasked_.push_back(Reply{
          int64_t{usual.iso_delay_ms} * 1000 + static_cast<int64_t>(i) * ByteTimeUs(kStartBaud),
          usual.iso_code[i], kStartBaud, false});
    }
    said += "; a " + std::string(EcuTypeName(type_)) + "'s usual key-on bytes stand in for its own";
  }
  Note(0, said);
  if (options_.report) options_.report(said);
}

bool ReplayEcu::PastGap(size_t found) const {
  const auto gap = std::lower_bound(gaps_.begin(), gaps_.end(), next_);
  return gap != gaps_.end() && *gap <= found;
}

void ReplayEcu::Note(int64_t now_us, std::string text) {
  notes_.push_back(TraceNote{now_us, "replay: " + std::move(text)});
}

void ReplayEcu::Depart(int64_t now_us, const std::string& text) {
  Note(now_us, text);
  if (!options_.report || reported_ > kMaxReported) return;
  ++reported_;
  options_.report(reported_ <= kMaxReported
                      ? text
                      : "further departures from the recording are in the trace notes only");
}

void ReplayEcu::SetIgnition(int64_t now_us, bool on) {
  last_us_ = now_us;
  if (on == on_) return;
  on_ = on;
  if (!on) {
    Note(now_us, "ignition off");
    return;
  }
  // Every key-on plays the recording from its beginning.
  next_ = 0;
  Note(now_us, "ignition on: " + std::to_string(steps_.size()) + " recorded requests");
  for (const Reply& reply : unasked_) {
    output_.push_back(
        Transmission{now_us + reply.delay_us, reply.byte, reply.baud, false, reply.garbled});
  }
}

std::optional<size_t> ReplayEcu::Find(size_t from, size_t to, uint8_t byte, int32_t baud) const {
  const std::vector<size_t>& places = by_request_[byte];
  for (auto it = std::lower_bound(places.begin(), places.end(), from);
       it != places.end() && *it < to; ++it) {
    if (RatesMatch(steps_[*it].baud, baud)) return *it;
  }
  return std::nullopt;
}

std::string ReplayEcu::Expected() const {
  if (next_ >= steps_.size()) return "after the recording ended";
  const Step& step = steps_[next_];
  return "where the recording has " + Request(step.request, step.baud) + " (line " +
         std::to_string(step.line) + ")";
}

std::optional<size_t> ReplayEcu::Match(uint8_t byte, int32_t baud) const {
  std::optional<size_t> found = Find(next_, next_ + 1, byte, baud);
  if (!found) found = Find(next_ + 1, steps_.size(), byte, baud);
  if (!found && options_.loop) found = Find(live_start_, next_, byte, baud);
  return found;
}

InterfaceBehaviour ReplayEcu::InterfaceFor(uint8_t byte, int32_t baud) const {
  if (!on_) return {};
  if (next_ >= cable_step_) return {InterfaceAct::kGone, {}};
  const std::optional<size_t> found = Match(byte, baud);
  return found ? steps_[*found].interface : InterfaceBehaviour {};
}

void ReplayEcu::Receive(int64_t now_us, uint8_t byte, int32_t baud) {
  last_us_ = now_us;
  if (!on_) return;
  if (next_ >= steps_.size() && options_.loop && live_start_ < steps_.size()) {
    next_ = live_start_;
    Note(now_us,
         "the recording ran out: live data again from line " + std::to_string(steps_[next_].line));
  }
  const int64_t start_us = now_us - ByteTimeUs(baud);
  // The recorded ECU never heard those bytes; the replayed one did not either, or else hears
  // this one now.
  while (next_ < steps_.size() && steps_[next_].unheard && !Find(next_, next_ + 1, byte, baud)) {
    ++next_;
  }
  std::optional<size_t> found = Find(next_, next_ + 1, byte, baud);
  if (!found) {
    const std::string asked = "the PC sent " + Request(byte, baud) + " " + Expected();
    found = Match(byte, baud);
    if (found && PastGap(*found)) {
      Note(now_us, "past the bytes the recording left out, on at line " +
                       std::to_string(steps_[*found].line));
    } else if (found) {
      Depart(now_us, asked + ": answered as at line " + std::to_string(steps_[*found].line));
    } else {
      Depart(now_us, asked + ": no answer, the recording has no such request later");
      return;
    }
  }
  next_ = *found + 1;
  Play(steps_[*found], start_us, now_us);
}

void ReplayEcu::Play(const Step& step, int64_t start_us, int64_t now_us) {
  for (const Reply& reply : step.replies) {
    output_.push_back(Transmission{std::max(start_us + reply.delay_us, now_us), reply.byte,
                                   reply.baud, true, reply.garbled});
  }
}

std::vector<EcuSide::Transmission> ReplayEcu::TakeOutput() { return std::exchange(output_, {}); }

std::vector<TraceNote> ReplayEcu::TakeNotes() { return std::exchange(notes_, {}); }

void ReplayEcu::SetAnswer(uint8_t request, uint8_t answer) {
  Note(last_us_, "set " + HexByte(request) + " " + HexByte(answer) +
                     " refused: the recording gives every answer");
}

int32_t ReplayEcu::baud() const {
  if (next_ < steps_.size()) return steps_[next_].baud;
  return steps_.empty() ? kStartBaud : steps_.back().baud;
}

}  // namespace kline::sim
