// A SerialDevice wired to the simulated ECU: the session code runs against it unchanged, and
// every byte reaches the PC side exactly at its arrival time. On a VirtualClock (tests) time
// runs only when someone waits; on real time it is the demonstration where there are no
// pseudo-terminals (Windows).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial_device.h"
#include "link/trace.h"
#include "sim/line_model.h"
#include "sim/profile.h"

namespace kline::sim {

class SimulatedLine : public SerialDevice {
 public:
  // Ignition comes on ignition_delay_ms after the PC side opens the port, every time it
  // does (a fresh key-on per connection); negative: never, until SetIgnition(true).
  SimulatedLine(Clock& clock, Profile profile, int ignition_delay_ms = 500);
  // Another ECU on the same wire (a replayed recording).
  SimulatedLine(Clock& clock, std::unique_ptr<EcuSide> ecu, int ignition_delay_ms);

  void SetIgnition(bool on);  // at the clock's current time; drops a planned key-on
  void SetAnswer(uint8_t request, uint8_t answer);
  void InjectFault(FaultKind kind, int arg = 0);
  // Every fault is gone; a pulled cable can be opened again.
  void ClearFaults();
  void PullCable() { InjectFault(FaultKind::kCablePulled); }
  const std::vector<TraceEntry>& trace() const;
  const std::vector<TraceNote>& notes() const;
  int32_t PcBaud() const { return model_.pc_baud(); }
  bool InWorkingMode() const;
  bool InDiagnosticMode() const;

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override { return open_failure_; }
  std::optional<LineSettings> ReadLineSettings() override;
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  // Lets virtual time run until the PC's last byte has left the wire.
  void Drain() override;
  bool LastEventWasReceive() override;
  bool WasLost() const override { return lost_; }

 private:
  // Brings the line up to the clock and moves what has arrived into the receive buffer.
  void Sync() const;
  // The device is gone with its cable: closed, reported lost, nothing left to read.
  void Vanish();

  Clock& clock_;
  // The wire runs on whenever anyone looks, also from const accessors.
  mutable LineModel model_;
  mutable Bytes rx_;
  mutable bool received_ = false;
  int ignition_delay_ms_;
  bool open_ = false;
  bool lost_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  LineSettings settings_;
  OpenFailure open_failure_ = OpenFailure::kNone;
};

}  // namespace kline::sim
