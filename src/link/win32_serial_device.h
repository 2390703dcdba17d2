// SerialDevice over the Win32 comm calls. Qt's Windows backend waits for received bytes on an
// overlapped comm event, which some serial layers (wine's on a pty among them) never signal;
// these calls poll the driver directly, which is what our engine's loop does anyway.
#pragma once

#include "link/serial_device.h"

namespace kline {

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice() = default;
  ~Win32SerialDevice() override;
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override;
  bool IsOpen() const override { return handle_ != nullptr; }
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
  // The driver's queues; false when the port is gone (then it is closed and marked lost).
  bool Queues(int* in, int* out);
  void Lose();

  // A HANDLE; void* keeps windows.h out of everyone who includes this.
  void* handle_ = nullptr;
  bool dtr_ = false;
  bool rts_ = false;
  bool received_ = false;
  bool lost_ = false;
  OpenFailure open_failure_ = OpenFailure::kNone;
};

}  // namespace kline
