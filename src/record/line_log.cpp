#include "record/line_log.h"

#include <QSaveFile>
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace kline {

namespace {

constexpr size_t kStagedLimit = 64;

struct ActivityLabels {
  std::array<std::string_view, 256> requests{};
  // A byte sent that the activity does not use, and what the ECU sends before being asked.
  std::string_view other;
  std::string_view unasked;
};

constexpr ActivityLabels Labels(std::initializer_list<std::pair<uint8_t, std::string_view>> rows,
                                std::string_view other, std::string_view unasked) {
  ActivityLabels labels;
  for (const auto& [request, text] : rows) labels.requests[request] = text;
  labels.other = other;
  labels.unasked = unasked;
  return labels;
}

constexpr std::string_view kUnasked = "sent by the ECU unasked";

constexpr ActivityLabels kNoLabels = Labels({}, "", "");
constexpr ActivityLabels kInterfaceCheckLabels =
    Labels({}, "interface check pattern", "not an echo: someone else is talking");
constexpr ActivityLabels kWakeUpLabels =
    Labels({{0x0F, "0F wake-up 1"}, {0xAA, "AA wake-up 2"}, {0xCC, "CC wake-up 3"}}, "wake-up",
           "ECU identification at key-on");
constexpr ActivityLabels kIdentificationLabels = Labels(
    {
        {0x17, "17 ECU data character 1"},
        {0x18, "18 ECU data character 2"},
        {0x19, "19 ECU data character 3"},
        {0x1A, "1A ECU data character 4"},
        {0x1B, "1B ECU data character 5"},
        {0x1C, "1C ECU data character 6"},
        {0x1D, "1D ECU data character 7"},
        {0x1E, "1E ECU data character 8"},
        {0x1F, "1F ECU data character 9"},
        {0x20, "20 ECU data character 10"},
        {0x21, "21 calibration character 1"},
        {0x22, "22 calibration character 2"},
        {0x23, "23 calibration character 3"},
        {0x24, "24 calibration character 4"},
        {0x25, "25 calibration character 5"},
        {0x26, "26 calibration character 6"},
        {0x27, "27 calibration character 7"},
        {0x28, "28 calibration character 8"},
    },
    "identification", kUnasked);
// 0x0B and 0x0F never both belong to one type, so one table serves every type.
constexpr ActivityLabels kLiveLabels = Labels(
    {
        {0x01, "01 engine speed, first byte"},
        {0x02, "02 engine speed, second byte"},
        {0x03, "03 injection time, first byte"},
        {0x04, "04 injection time, second byte"},
        {0x05, "05 ignition advance"},
        {0x06, "06 manifold pressure"},
        {0x07, "07 air temperature"},
        {0x08, "08 coolant temperature"},
        {0x09, "09 throttle angle"},
        {0x0A, "0A battery voltage"},
        {0x0B, "0B trimmer (16m, P8)"},
        {0x0F, "0F trimmer (15m, 15Rc)"},
    },
    "live data", kUnasked);
constexpr ActivityLabels kTests15Labels = Labels(
    {
        {0xAA, "AA enter diagnostic mode"},
        {0xFF, "FF leave diagnostic mode"},
        {0x80, "80 fuel pump test"},
        {0x81, "81 coil 1 test"},
        {0x82, "82 coil 2 test"},
        {0x83, "83 clear fault memory"},
        {0x85, "85 rev counter test"},
        {0x86, "86 injector 1 test"},
        {0x87, "87 injector 2 test"},
    },
    "actuator test, custom code", "final answer of the test");
constexpr ActivityLabels kTests16Labels = Labels(
    {
        {0xAA, "AA enter diagnostic mode"},
        {0xFF, "FF leave diagnostic mode"},
        {0x80, "80 fuel pump test"},
        {0x81, "81 injector 1 test"},
        {0x82, "82 coil 1 test"},
        {0x83, "83 coil 2 test"},
        {0x84, "84 clear fault memory"},
        {0x86, "86 rev counter test"},
        {0x87, "87 injector 2 test"},
    },
    "actuator test, custom code", "final answer of the test");
constexpr ActivityLabels kFaultMemoryLabels = Labels(
    {
        {0x0F, "0F Uniram1: faults now, byte 1"},
        {0x10, "10 Uniram2: faults now, byte 2"},
        {0x11, "11 Uniram3: faults now, directions"},
        {0x15, "15 Unirams: status byte"},
        {0x16, "16 Cuneep1: stored faults, byte 1"},
        {0x17, "17 Cuneep2: stored faults, byte 2"},
        {0x18, "18 Cuneep3: stored faults, directions"},
        {0x1D, "1D Unieep1A: stored faults, byte 1"},
        {0x1E, "1E Unieep2A: stored faults, byte 2"},
        {0x1F, "1F Unieep3A: stored faults, directions"},
    },
    "fault memory", kUnasked);

const ActivityLabels& LabelsOf(Activity activity) {
  switch (activity) {
    case Activity::kNone:
      break;
    case Activity::kInterfaceCheck:
      return kInterfaceCheckLabels;
    case Activity::kWakeUp:
      return kWakeUpLabels;
    case Activity::kIdentification:
      return kIdentificationLabels;
    case Activity::kLiveData:
      return kLiveLabels;
    case Activity::kActuatorTests15:
      return kTests15Labels;
    case Activity::kActuatorTests16:
      return kTests16Labels;
    case Activity::kFaultMemory:
      return kFaultMemoryLabels;
  }
  return kNoLabels;
}

const char* DirName(LineDir dir) {
  switch (dir) {
    case LineDir::kSent:
      return "pc";
    case LineDir::kEcho:
      return "echo";
    case LineDir::kFromEcu:
      break;
  }
  return "ecu";
}

}  // namespace

Activity ActuatorTestsActivity(EcuType type) {
  return type == EcuType::k15m || type == EcuType::k15Rc ? Activity::kActuatorTests15
                                                         : Activity::kActuatorTests16;
}

std::string_view RequestLabel(Activity activity, uint8_t request) {
  const ActivityLabels& labels = LabelsOf(activity);
  const std::string_view label = labels.requests[request];
  return label.empty() ? labels.other : label;
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

std::vector<LineEntry> LineLog::TakeNew() {
  CommitAllSent();
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
  char row[64];
  std::snprintf(row, sizeof row, "%lld,%s,%02X,%d,0,", static_cast<long long>(entry.time_us),
                DirName(entry.dir), entry.byte, entry.baud);
  std::string text = row;
  // Labels hold commas ("01 engine speed, first byte"): quote them as CSV does.
  if (entry.label.find_first_of(",\"") == std::string_view::npos) {
    text += entry.label;
    return text;
  }
  text += '"';
  for (char c : entry.label) {
    if (c == '"') text += '"';
    text += c;
  }
  text += '"';
  return text;
}

bool SaveLineCsv(const QString& path, const std::vector<LineEntry>& entries, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
    if (error) *error = file.errorString();
    return false;
  }
  std::string text = kLineCsvHeader;
  text += '\n';
  for (const LineEntry& entry : entries) {
    text += LineCsvRow(entry);
    text += '\n';
  }
  file.write(text.data(), static_cast<qint64>(text.size()));
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace kline
