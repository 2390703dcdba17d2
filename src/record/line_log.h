// The line monitor's memory: every byte the port writes and reads, with its time since the
// port opened, its direction, the rate and what the request it belongs to asks for. It is
// the port's tap, so it runs on the thread that owns the port and does almost nothing per
// byte: no allocation but its ring's growth up to its capacity, labels point into fixed
// tables.
#pragma once

#include <QMetaType>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/protocol.h"
#include "link/trace.h"
#include "link/wire_tap.h"
#include "service/connection_diagnosis.h"

namespace kline {

enum class LineDir : uint8_t { kSent, kEcho, kFromEcu };

// "01 engine speed, first byte"; for a byte the activity does not send, the activity's name.
std::string_view RequestLabel(Activity activity, uint8_t request);

struct LineEntry {
  int64_t time_us = 0;  // since the port opened
  int32_t baud = 0;
  uint8_t byte = 0;
  LineDir dir = LineDir::kSent;
  std::string_view label;  // points into a fixed table: safe to pass to any thread
  bool operator==(const LineEntry&) const = default;
};

class LineLog : public WireTap {
 public:
  static constexpr size_t kCapacity = 100000;

  explicit LineLog(size_t capacity = kCapacity);

  // Labels what follows, and starts a fresh observation for the connection diagnosis.
  void SetActivity(Activity activity);
  Activity activity() const { return activity_; }

  void OnOpened(int64_t time_us, int32_t baud) override;
  void OnClosed(int64_t time_us) override;
  void OnSent(uint8_t byte, int64_t time_us, int32_t baud) override;
  void OnReceived(uint8_t byte, int64_t time_us, int32_t baud) override;

  // The entries added since the last call, oldest first; those the ring overwrote before
  // anyone took them are gone.
  std::vector<LineEntry> TakeNew();
  // The same for a look in the middle of an exchange: written bytes still on the stage go in
  // only when written before `time_us` (the port's clock), the moment the oldest byte that
  // has been seen but not yet read came, so that the rows stay in time order.
  std::vector<LineEntry> TakeWrittenBefore(int64_t time_us);
  // What the ring holds, oldest first.
  std::vector<LineEntry> Entries();

  // What crossed the wire since the port opened or the activity last changed. `port_open`
  // is what the tap saw: a port that vanished is still open here.
  const WireObservation& observation() const { return observation_; }

 private:
  struct Pending {
    uint8_t byte = 0;
    std::string_view label;
  };

  void Append(const LineEntry& entry);
  // The entries in the ring that nobody took yet.
  std::vector<LineEntry> TakeAdded();
  void CommitSent(const LineEntry& entry);
  // Bytes written before `time_us` enter the ring first: a received byte is stamped when the
  // port first saw it waiting, which may be before a byte written after that.
  void CommitSentBefore(int64_t time_us);
  void CommitAllSent();
  bool TakeEcho(uint8_t byte, std::string_view* label);

  size_t capacity_;
  std::vector<LineEntry> ring_;  // grows to capacity_, then wraps
  size_t start_ = 0;
  size_t count_ = 0;
  uint64_t added_ = 0;
  uint64_t taken_ = 0;

  // Written bytes not yet in the ring, in order; never grows past its reserve.
  std::vector<LineEntry> staged_;
  // Written bytes whose echo has not come yet, oldest first.
  std::array<Pending, 8> pending_{};
  size_t pending_count_ = 0;

  Activity activity_ = Activity::kNone;
  std::string_view answer_label_;
  int64_t opened_us_ = 0;
  WireObservation observation_;
};

// In the trace layout, so that the simulator replays it and both traces compare with the same
// tools; the label goes into the note. The PC side cannot tell a garbled byte from a good
// one, so garbled is always 0.
std::string LineCsvRow(const LineEntry& entry);

}  // namespace kline

// The engine hands batches to the window thread through queued signals.
Q_DECLARE_METATYPE(std::vector<kline::LineEntry>)
