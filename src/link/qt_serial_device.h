// SerialDevice over QSerialPort, usable without an event loop.
#pragma once

#include <QSerialPort>
#include <memory>

#include "link/serial_device.h"

namespace kline {

class QtSerialDevice : public SerialDevice {
 public:
  QtSerialDevice();
  ~QtSerialDevice() override;

  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override;
  bool IsOpen() const override;
  OpenFailure LastOpenFailure() const override { return open_failure_; }
  std::optional<LineSettings> ReadLineSettings() override;
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  void Drain() override;
  bool LastEventWasReceive() override;
  bool WasLost() const override { return lost_; }

 private:
  // Pulls what the driver holds into Qt's buffer; notes a vanished device.
  void Pump(int wait_ms);
  void CheckLost();

  std::unique_ptr<QSerialPort> port_;
  bool dtr_ = false;
  bool rts_ = false;
  bool received_ = false;
  bool lost_ = false;
  // This program switched the driver to low latency, and switches it back on close.
  bool low_latency_set_ = false;
  OpenFailure open_failure_ = OpenFailure::kNone;
};

}  // namespace kline
