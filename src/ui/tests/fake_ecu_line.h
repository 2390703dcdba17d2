// A serial line for the window tests: on a virtual clock, it echoes every byte written and
// plays the answers scripted for each request byte, some of them later.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial_device.h"

namespace kline::ui::testing {

class FakeEcuLine : public SerialDevice {
 public:
  explicit FakeEcuLine(VirtualClock& clock) : clock_(clock) {}

  // Bytes the ECU sends by itself `after_ms` after the port opens (its identification).
  void SetOnOpen(Bytes bytes, int64_t after_ms = 500) {
    on_open_ = std::move(bytes);
    on_open_after_ms_ = after_ms;
  }
  // The answer to `request`, right behind its echo, and optionally a second one `later_ms`
  // after it. Replaces an earlier script for the same request.
  void Answer(uint8_t request, Bytes first, int64_t later_ms = 0, Bytes later = {});
  // The device vanishes: closed, lost, nothing more to read.
  void Pull();

  const Bytes& written() const { return written_; }
  int opens() const { return opens_; }

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override { return OpenFailure::kNone; }
  std::optional<LineSettings> ReadLineSettings() override { return settings_; }
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  bool LastEventWasReceive() override { return received_; }
  bool WasLost() const override { return lost_; }

 private:
  struct Script {
    Bytes first;
    int64_t later_ms;
    Bytes later;
  };
  struct Timed {
    int64_t at_us;
    uint8_t byte;
  };
  void Queue(int64_t at_us, const Bytes& bytes);

  VirtualClock& clock_;
  bool open_ = false;
  bool lost_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool received_ = false;
  int opens_ = 0;
  LineSettings settings_;
  Bytes on_open_;
  int64_t on_open_after_ms_ = 0;
  std::map<uint8_t, Script> scripts_;
  std::vector<Timed> incoming_;
  Bytes written_;
};

}  // namespace kline::ui::testing
