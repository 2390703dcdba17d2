#include "sim/line_model.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "sim/wire.h"

namespace kline::sim {

namespace {

constexpr int kDefaultLateMs = 3100;
// An injected garbage answer: always differs from the real one.
constexpr uint8_t kGarbageMask = 0xA5;
// An adapter that cannot do the rates asked for is usually left at a common one.
constexpr int32_t kDefaultWrongBaud = 9600;

struct FaultRow {
  FaultKind kind;
  std::string_view name;
};

constexpr FaultRow kFaultRows[] = {
    {FaultKind::kSilent, "silent"},     {FaultKind::kNoEcho, "no-echo"},
    {FaultKind::kStrayByte, "stray"},   {FaultKind::kDropAnswer, "drop"},
    {FaultKind::kLateAnswer, "late"},   {FaultKind::kExtraBytes, "extra"},
    {FaultKind::kGarbage, "garbage"},   {FaultKind::kIgnitionOff, "ignition-off"},
    {FaultKind::kCablePulled, "cable"}, {FaultKind::kWrongRate, "rate"},
};

}  // namespace

std::string_view FaultName(FaultKind kind) {
  for (const FaultRow& row : kFaultRows) {
    if (row.kind == kind) return row.name;
  }
  return {};
}

std::optional<FaultKind> FaultFromName(std::string_view name) {
  for (const FaultRow& row : kFaultRows) {
    if (row.name == name) return row.kind;
  }
  return std::nullopt;
}

LineModel::LineModel(Profile profile) : LineModel(std::make_unique<EcuModel>(std::move(profile))) {}

LineModel::LineModel(std::unique_ptr<EcuSide> ecu) : ecu_(std::move(ecu)) {}

void LineModel::Note(int64_t time_us, std::string text) {
  notes_.push_back(TraceNote{time_us, std::move(text)});
}

void LineModel::AdvanceTo(int64_t now_us) {
  constexpr int64_t kNever = INT64_MAX;
  while (true) {
    const int64_t plan_due = ignition_plan_us_.value_or(kNever);
    const int64_t ecu_due = ecu_->NextDeadline().value_or(kNever);
    const int64_t line_due = events_.empty() ? kNever : events_.begin()->first;
    const int64_t due = std::min({plan_due, ecu_due, line_due});
    if (due == kNever || due > now_us) break;
    // On equal times: the ignition plan, then the ECU's timers, then the wire.
    if (plan_due == due) {
      ignition_plan_us_.reset();
      ecu_->SetIgnition(due, true);
      DrainEcu(due, false);
    } else if (ecu_due == due) {
      ecu_->OnTime(due);
      DrainEcu(due, false);
    } else {
      const Event event = events_.begin()->second;
      events_.erase(events_.begin());
      Handle(due, event);
    }
  }
  now_us_ = std::max(now_us_, now_us);
}

std::optional<int64_t> LineModel::NextEventUs() const {
  std::optional<int64_t> next = ecu_->NextDeadline();
  if (ignition_plan_us_ && (!next || *ignition_plan_us_ < *next)) next = ignition_plan_us_;
  if (!events_.empty() && (!next || events_.begin()->first < *next)) {
    next = events_.begin()->first;
  }
  return next;
}

void LineModel::SetPcBaud(int64_t now_us, int32_t baud) {
  AdvanceTo(now_us);
  if (baud != pc_asked_baud_) Note(now_us, "PC side set to " + std::to_string(baud) + " baud");
  pc_asked_baud_ = baud;
  pc_baud_ = forced_baud_.value_or(baud);
}

void LineModel::PcPort(int64_t now_us, bool open) {
  AdvanceTo(now_us);
  Note(now_us, open ? kTracePortOpenedNote : kTracePortClosedNote);
}

void LineModel::PcWrite(int64_t now_us, uint8_t byte) {
  AdvanceTo(now_us);
  const InterfaceBehaviour interface = ecu_->InterfaceFor(byte, pc_baud_);
  if (interface.act == InterfaceAct::kGone && !cable_pulled_) {
    InjectFault(now_us, FaultKind::kCablePulled);
  }
  if (cable_pulled_) return;
  Segment segment;
  segment.echo = interface.act == InterfaceAct::kEchoes;
  segment.start_us = std::max(now_us, pc_free_us_);
  segment.end_us = segment.start_us + ByteTimeUs(pc_baud_);
  segment.byte = byte;
  segment.baud = pc_baud_;
  segment.from_pc = true;
  ++requests_;
  if (drop_at_request_ && *drop_at_request_ == requests_) {
    segment.drop_answer = true;
    drop_at_request_.reset();
  }
  pc_free_us_ = segment.end_us;
  // The stray byte is queued before the echo's own end event so the PC reads it first.
  if (stray_) events_.emplace(segment.end_us, Event{EventKind::kStray, 0, *stray_});
  for (uint8_t stray : interface.before_echo) {
    events_.emplace(segment.end_us, Event{EventKind::kStray, 0, stray});
  }
  AddSegment(segment);
  AdvanceTo(now_us);
}

void LineModel::SetIgnition(int64_t now_us, bool on) {
  AdvanceTo(now_us);
  ignition_plan_us_.reset();
  if (!on) CancelPlannedEcuBytes(now_us);
  ecu_->SetIgnition(now_us, on);
  DrainEcu(now_us, false);
}

void LineModel::PlanIgnition(std::optional<int64_t> at_us) { ignition_plan_us_ = at_us; }

void LineModel::InjectFault(int64_t now_us, FaultKind kind, int arg) {
  AdvanceTo(now_us);
  Note(now_us, "fault " + std::string(FaultName(kind)) + " " + std::to_string(arg));
  switch (kind) {
    case FaultKind::kSilent:
      silent_ = true;
      break;
    case FaultKind::kNoEcho:
      no_echo_ = true;
      break;
    case FaultKind::kStrayByte:
      stray_ = static_cast<uint8_t>(arg & 0xFF);
      break;
    case FaultKind::kDropAnswer:
      drop_at_request_ = requests_ + std::max(arg, 1);
      break;
    case FaultKind::kLateAnswer:
      late_us_ = int64_t{arg > 0 ? arg : kDefaultLateMs} * 1000;
      break;
    case FaultKind::kExtraBytes:
      extra_bytes_ = std::max(arg, 1);
      break;
    case FaultKind::kGarbage:
      garbage_ = true;
      break;
    case FaultKind::kIgnitionOff:
      SetIgnition(now_us, false);
      break;
    case FaultKind::kCablePulled:
      cable_pulled_ = true;
      received_.clear();
      break;
    case FaultKind::kWrongRate:
      forced_baud_ = arg > 0 ? arg : kDefaultWrongBaud;
      pc_baud_ = *forced_baud_;
      break;
  }
}

void LineModel::ClearFaults() {
  silent_ = false;
  no_echo_ = false;
  stray_.reset();
  drop_at_request_.reset();
  late_us_ = 0;
  extra_bytes_ = 0;
  garbage_ = false;
  cable_pulled_ = false;
  forced_baud_.reset();
  pc_baud_ = pc_asked_baud_;
  Note(now_us_, "faults cleared");
}

Bytes LineModel::TakeReceived() { return std::exchange(received_, {}); }

void LineModel::AddSegment(Segment segment) {
  segment.wire_value = segment.byte;
  const uint64_t id = next_segment_++;
  // Half-duplex: whatever the other side has on the wire at the same time collides.
  for (auto& [other_id, other] : segments_) {
    if (other.from_pc == segment.from_pc) continue;
    if (segment.start_us < other.end_us && other.start_us < segment.end_us) {
      segment.collided = true;
      other.collided = true;
      segment.wire_value &= other.byte;
      other.wire_value &= segment.byte;
    }
  }
  events_.emplace(segment.start_us, Event{EventKind::kStart, id, 0});
  events_.emplace(segment.end_us, Event{EventKind::kEnd, id, 0});
  segments_.emplace(id, segment);
}

void LineModel::Handle(int64_t time_us, const Event& event) {
  if (event.kind == EventKind::kStray) {
    trace_.push_back(TraceEntry{time_us, TraceEntry::Dir::kEcuSent, event.byte, pc_baud_, true});
    Note(time_us, "stray byte " + HexByte(event.byte));
    if (!cable_pulled_) received_.push_back(event.byte);
    return;
  }
  const auto found = segments_.find(event.segment);
  if (found == segments_.end()) return;  // cancelled
  Segment& segment = found->second;
  if (event.kind == EventKind::kStart) {
    StartSegment(segment);
    return;
  }
  const Segment ended = segment;
  segments_.erase(found);
  if (ended.from_pc) {
    EndPcSegment(ended);
  } else {
    EndEcuSegment(ended);
  }
}

void LineModel::StartSegment(Segment& segment) {
  segment.trace_index = forgotten_entries_ + trace_.size();
  trace_.push_back(TraceEntry{
      segment.start_us, segment.from_pc ? TraceEntry::Dir::kPcSent : TraceEntry::Dir::kEcuSent,
      segment.byte, segment.baud, segment.collided || segment.bogus});
}

void LineModel::EndPcSegment(const Segment& segment) {
  const int64_t now = segment.end_us;
  MarkGarbled(segment, segment.collided || !RatesMatch(segment.baud, ecu_->baud()));
  if (!no_echo_ && segment.echo) {
    trace_.push_back(TraceEntry{now, TraceEntry::Dir::kEcho, segment.wire_value, segment.baud,
                                segment.collided});
    if (!cable_pulled_) received_.push_back(segment.wire_value);
  }
  if (segment.collided) {
    Note(now, "collision: the ECU could not read " + HexByte(segment.byte));
    return;
  }
  ecu_->Receive(now, segment.byte, segment.baud);
  DrainEcu(now, segment.drop_answer);
}

void LineModel::EndEcuSegment(const Segment& segment) {
  uint8_t value = segment.wire_value;
  bool garbled = segment.collided || segment.bogus;
  if (!segment.collided && !RatesMatch(segment.baud, pc_baud_)) {
    value = GarbleByte(segment.byte, segment.baud, pc_baud_);
    garbled = true;
  }
  MarkGarbled(segment, garbled);
  if (!cable_pulled_) received_.push_back(value);
}

void LineModel::MarkGarbled(const Segment& segment, bool garbled) {
  if (segment.trace_index >= forgotten_entries_) {
    trace_[segment.trace_index - forgotten_entries_].garbled = garbled;
  }
}

std::pair<size_t, size_t> LineModel::ForgetTraceBefore(int64_t before_us) {
  const auto entries_end = std::find_if(
      trace_.begin(), trace_.end(), [&](const TraceEntry& e) { return e.time_us >= before_us; });
  const auto notes_end = std::find_if(notes_.begin(), notes_.end(),
                                      [&](const TraceNote& n) { return n.time_us >= before_us; });
  const auto entries = static_cast<size_t>(entries_end - trace_.begin());
  const auto notes = static_cast<size_t>(notes_end - notes_.begin());
  trace_.erase(trace_.begin(), entries_end);
  notes_.erase(notes_.begin(), notes_end);
  forgotten_entries_ += entries;
  return {entries, notes};
}

void LineModel::SendEcuByte(int64_t earliest_us, uint8_t byte, int32_t baud, bool bogus) {
  Segment segment;
  segment.start_us = std::max(earliest_us, ecu_free_us_);
  segment.end_us = segment.start_us + ByteTimeUs(baud);
  segment.byte = byte;
  segment.baud = baud;
  segment.bogus = bogus;
  ecu_free_us_ = segment.end_us;
  AddSegment(segment);
}

void LineModel::DrainEcu(int64_t now_us, bool drop_answer) {
  for (TraceNote& note : ecu_->TakeNotes()) notes_.push_back(std::move(note));
  for (const EcuModel::Transmission& tx : ecu_->TakeOutput()) {
    if (silent_) {
      Note(now_us, "silent ECU keeps " + HexByte(tx.byte) + " to itself");
      continue;
    }
    if (!tx.answer) {
      SendEcuByte(tx.earliest_us, tx.byte, tx.baud, tx.garbled);
      continue;
    }
    if (drop_answer) {
      Note(now_us, "answer " + HexByte(tx.byte) + " dropped");
      continue;
    }
    SendEcuByte(tx.earliest_us + late_us_, garbage_ ? tx.byte ^ kGarbageMask : tx.byte, tx.baud,
                garbage_ || tx.garbled);
    for (int i = 0; i < extra_bytes_; ++i) SendEcuByte(0, 0x00, tx.baud, true);
  }
}

void LineModel::CancelPlannedEcuBytes(int64_t now_us) {
  ecu_free_us_ = now_us;
  for (auto it = segments_.begin(); it != segments_.end();) {
    if (!it->second.from_pc && it->second.start_us > now_us) {
      it = segments_.erase(it);
    } else {
      if (!it->second.from_pc) ecu_free_us_ = std::max(ecu_free_us_, it->second.end_us);
      ++it;
    }
  }
}

}  // namespace kline::sim
