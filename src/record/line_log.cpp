#include "record/line_log.h"

#include <algorithm>
#include <utility>

#include "link/csv.h"
#include "link/save_file.h"

namespace kline {

namespace {

constexpr size_t kStagedLimit = 64;

// What the line monitor calls a byte sent that the activity does not use, and what the ECU
// sends before being asked.
struct ActivityLabels {
  std::string_view other;
  std::string_view unasked;
};

constexpr std::string_view kUnasked = "sent by the ECU unasked";

ActivityLabels LabelsOf(Activity activity) {
  switch (activity) {
    case Activity::kNone:
      break;
    case Activity::kInterfaceCheck:
      return {"interface check pattern", "not an echo: someone else is talking"};
    case Activity::kWakeUp:
      return {"wake-up", "ECU identification at key-on"};
    case Activity::kIdentification:
      return {"identification", kUnasked};
    case Activity::kLiveData:
      return {"live data", kUnasked};
    case Activity::kActuatorTests15:
    case Activity::kActuatorTests16:
      return {"actuator test, custom code", "final answer of the test"};
    case Activity::kFaultMemory:
      return {"fault memory", kUnasked};
  }
  return {"", ""};
}

TraceEntry::Dir TraceDir(LineDir dir) {
  switch (dir) {
    case LineDir::kSent:
      return TraceEntry::Dir::kPcSent;
    case LineDir::kEcho:
      return TraceEntry::Dir::kEcho;
    case LineDir::kFromEcu:
      break;
  }
  return TraceEntry::Dir::kEcuSent;
}

}  // namespace

std::string_view RequestLabel(Activity activity, uint8_t request) {
  const RequestRow* row = FindRequest(activity, request);
  return row ? row->label : LabelsOf(activity).other;
}

LineLog::LineLog(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {
  staged_.reserve(kStagedLimit);
}

// Written bytes keep waiting on the stage: their labels are theirs already, and their echoes,
// read later (the wake-up's are read only once identification has begun), must still find
// them there so that the rows stay in time order.
void LineLog::SetActivity(Activity activity) {
  activity_ = activity;
  answer_label_ = LabelsOf(activity).unasked;
  observation_ = WireObservation{.port_open = observation_.port_open};
}

void LineLog::OnOpened(int64_t time_us, int32_t /*baud*/) {
  CommitAllSent();
  opened_us_ = time_us;
  pending_count_ = 0;
  answer_label_ = LabelsOf(activity_).unasked;
  observation_ = WireObservation{.port_open = true};
}

void LineLog::OnClosed(int64_t /*time_us*/) {
  CommitAllSent();
  pending_count_ = 0;
  observation_.port_open = false;
}

void LineLog::OnSent(uint8_t byte, int64_t time_us, int32_t baud) {
  // Counted now: a wait that gives up is judged before the byte leaves the stage.
  ++observation_.sent;
  if (staged_.size() == kStagedLimit) {
    CommitSent(staged_.front());
    staged_.erase(staged_.begin());
  }
  staged_.push_back(
      {time_us - opened_us_, baud, byte, LineDir::kSent, RequestLabel(activity_, byte)});
}

void LineLog::OnReceived(uint8_t byte, int64_t time_us, int32_t baud) {
  const int64_t since_open = time_us - opened_us_;
  CommitSentBefore(since_open);
  std::string_view label;
  if (TakeEcho(byte, &label)) {
    ++observation_.echoes;
    Append({since_open, baud, byte, LineDir::kEcho, label});
    return;
  }
  ++observation_.others;
  observation_.others_baud = baud;
  Append({since_open, baud, byte, LineDir::kFromEcu, answer_label_});
}

bool LineLog::TakeEcho(uint8_t byte, std::string_view* label) {
  // The oldest byte still waiting for its echo, or a later one whose earlier echoes were
  // lost on the way.
  for (size_t i = 0; i < pending_count_; ++i) {
    if (pending_[i].byte != byte) continue;
    *label = pending_[i].label;
    std::move(pending_.begin() + static_cast<std::ptrdiff_t>(i + 1),
              pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_), pending_.begin());
    pending_count_ -= i + 1;
    return true;
  }
  return false;
}

void LineLog::CommitSent(const LineEntry& entry) {
  if (pending_count_ == pending_.size()) {
    std::move(pending_.begin() + 1, pending_.end(), pending_.begin());
    --pending_count_;
  }
  pending_[pending_count_++] = {entry.byte, entry.label};
  answer_label_ = entry.label;
  Append(entry);
}

void LineLog::CommitSentBefore(int64_t time_us) {
  size_t n = 0;
  while (n < staged_.size() && staged_[n].time_us < time_us) CommitSent(staged_[n++]);
  staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(n));
}

void LineLog::CommitAllSent() {
  for (const LineEntry& entry : staged_) CommitSent(entry);
  staged_.clear();
}

void LineLog::Append(const LineEntry& entry) {
  ++added_;
  // The ring grows as bytes come, so that a short session costs only what it holds.
  if (ring_.size() < capacity_) {
    ring_.push_back(entry);
    ++count_;
    return;
  }
  ring_[start_] = entry;
  start_ = (start_ + 1) % ring_.size();
}

std::vector<LineEntry> LineLog::TakeWrittenBefore(int64_t time_us) {
  CommitSentBefore(time_us - opened_us_);
  return TakeAdded();
}

std::vector<LineEntry> LineLog::TakeNew() {
  CommitAllSent();
  return TakeAdded();
}

std::vector<LineEntry> LineLog::TakeAdded() {
  const auto fresh = static_cast<size_t>(std::min<uint64_t>(added_ - taken_, count_));
  taken_ = added_;
  std::vector<LineEntry> out;
  out.reserve(fresh);
  for (size_t i = count_ - fresh; i < count_; ++i)
    out.push_back(ring_[(start_ + i) % ring_.size()]);
  return out;
}

std::vector<LineEntry> LineLog::Entries() {
  CommitAllSent();
  std::vector<LineEntry> out;
  out.reserve(count_);
  for (size_t i = 0; i < count_; ++i) out.push_back(ring_[(start_ + i) % ring_.size()]);
  return out;
}

std::string LineCsvRow(const LineEntry& entry) {
  std::string text =
      TraceCsvRow(TraceEntry{entry.time_us, TraceDir(entry.dir), entry.byte, entry.baud, false});
  // Labels hold commas ("01 engine speed, first byte").
  return text + CsvField(entry.label);
}

}  // namespace kline
