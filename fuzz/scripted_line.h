// A serial line whose far side plays whatever the fuzzer wrote: each byte the PC sends is
// answered by the next few bytes of the input, each after a delay the input also chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

#include "link/clock.h"
#include "link/serial_device.h"

namespace kline::fuzz {

class ScriptedLine : public SerialDevice {
 public:
  ScriptedLine(VirtualClock& clock, const uint8_t* data, size_t size);

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override { return OpenFailure::kNoSuchPort; }
  std::optional<LineSettings> ReadLineSettings() override;
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  bool LastEventWasReceive() override;
  bool WasLost() const override { return lost_; }

 private:
  uint8_t Next();
  void Schedule();
  void Lose();

  VirtualClock& clock_;
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool open_ = false;
  bool lost_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool received_ = false;
  bool hang_up_at_read_ = false;
  LineSettings settings_;
  std::deque<std::pair<int64_t, uint8_t>> incoming_;
};

}  // namespace kline::fuzz
