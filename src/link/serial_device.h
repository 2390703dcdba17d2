// The narrow view of a serial port that KLinePort needs; a real port and the simulated
// line both implement it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kline {

using Bytes = std::vector<uint8_t>;

enum class Parity { kNone, kEven, kOdd };

// The device-control record of an open port: the part of it this program touches.
struct LineSettings {
  int32_t baud = 1200;
  int data_bits = 8;
  Parity parity = Parity::kNone;
  int stop_bits = 1;
  bool operator==(const LineSettings&) const = default;
};

// Why a port did not open, in words a user can act on.
enum class OpenFailure {
  kNone,
  kNoSuchPort,
  kPermission,
  kBusy,
  kNameTooLong,
  kFolder,        // the path names a folder
  kPlainFile,     // the path names an ordinary file
  kNotATerminal,  // a device, but not a serial port (/dev/null)
  kOther,
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Modem lines; remembered when the port is closed and applied when it opens.
  virtual void SetDtr(bool on) = 0;
  virtual void SetRts(bool on) = 0;
  virtual bool Dtr() const = 0;
  virtual bool Rts() const = 0;

  virtual bool Open(const std::string& path, const LineSettings& settings) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual OpenFailure LastOpenFailure() const = 0;

  // Comm-state access of the open port; nullopt / false when the driver refuses.
  virtual std::optional<LineSettings> ReadLineSettings() = 0;
  virtual bool WriteLineSettings(const LineSettings& settings) = 0;

  // Received bytes waiting now (current without an event loop), and all of them.
  virtual int PendingCount() = 0;
  virtual Bytes ReadAll() = 0;
  // Sends one byte; it has left the program (not yet the port) when this returns.
  virtual bool WriteByte(uint8_t value) = 0;
  // Returns once every byte written has left the port's transmitter, or once a bound that
  // such bytes would need many times over has passed (a stalled device must not hang us).
  virtual void Drain() = 0;
  // True once data has been received since the port was opened (the port's last
  // communication event was a receive: nothing else raises events here).
  virtual bool LastEventWasReceive() = 0;
  // True when the device vanished while open (cable pulled, adapter removed).
  virtual bool WasLost() const = 0;
};

}  // namespace kline
