// The far side of a serial line played from a script on a virtual clock: what the link,
// service and window tests put behind a KLinePort instead of a real adapter.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial_device.h"

namespace kline::testing {

// Bytes that become readable `after_ms` after the write (or the opening) that released them.
struct Arrival {
  int64_t after_ms = 0;
  Bytes bytes;
};

class ScriptedLine : public SerialDevice {
 public:
  explicit ScriptedLine(VirtualClock& clock) : clock_(clock) {}

  // Played after every write of `request` once its one-shot scripts are used up; replaces
  // an earlier standing answer.
  void Answer(uint8_t request, std::vector<Arrival> arrivals);
  // Played once, by the next write of `request` that finds no earlier script left.
  void Script(uint8_t request, std::vector<Arrival> arrivals);
  // What the far side sends by itself after each opening (an ECU's identification).
  void SendOnOpen(Bytes bytes, int64_t after_ms);
  // The device vanishes: closed, lost, nothing left to read, and it will not open again.
  void Pull();

  const Bytes& written() const { return written_; }
  const std::string& opened_path() const { return opened_path_; }
  const LineSettings& settings() const { return settings_; }

  bool echo = false;  // every written byte comes back at once, ahead of its answer
  bool open_fails = false;
  bool settings_unreadable = false;
  bool settings_unwritable = false;
  // The next read that finds bytes waiting comes up empty and the device closes itself, as
  // an adapter does when it sees a hang-up between the count and the read.
  bool hang_up_at_read = false;

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override;
  std::optional<LineSettings> ReadLineSettings() override;
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  // A written byte is on the far side at once here.
  void Drain() override {}
  // True once bytes are on their way, not only once they arrived: a session then sees the
  // far side talking without first spending virtual time.
  bool LastEventWasReceive() override { return talking_; }
  bool WasLost() const override { return lost_; }

 protected:
  // Bytes that become readable `after_ms` from now, behind anything due no later.
  void Queue(int64_t after_ms, const Bytes& bytes);

 private:
  struct Timed {
    int64_t at_us;
    uint8_t byte;
  };
  void Play(const std::vector<Arrival>& arrivals);

  VirtualClock& clock_;
  bool open_ = false;
  bool lost_ = false;
  bool talking_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  std::string opened_path_;
  LineSettings settings_;
  Bytes on_open_;
  int64_t on_open_after_ms_ = 0;
  std::map<uint8_t, std::vector<Arrival>> answers_;
  std::map<uint8_t, std::deque<std::vector<Arrival>>> scripts_;
  std::vector<Timed> incoming_;  // in arrival order
  Bytes written_;
};

}  // namespace kline::testing
