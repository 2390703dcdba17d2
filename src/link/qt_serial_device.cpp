#include "link/qt_serial_device.h"

#include <QFileInfo>
#include <chrono>
#include <thread>

#include "link/port_device.h"

#ifdef __linux__
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace kline {

namespace {

// USB-serial adapters hold received bytes for up to 16 ms unless asked not to; at 7812
// baud that, not the wire, would set the pace. Ptys and some drivers refuse: no harm. Sets or
// clears the driver's low-latency flag; true when the flag was changed (so that it can be put
// back as it was when the port closes).
bool SetLowLatency(QSerialPort& port, bool on) {
#ifdef __linux__
  const int fd = static_cast<int>(port.handle());
  serial_struct serial{};
  if (fd < 0 || ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if (((serial.flags & ASYNC_LOW_LATENCY) != 0) == on) return false;
  serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
  (void)port;
  (void)on;
  return false;
#endif
}

QSerialPort::Parity ToQt(Parity parity) {
  switch (parity) {
    case Parity::kEven:
      return QSerialPort::EvenParity;
    case Parity::kOdd:
      return QSerialPort::OddParity;
    case Parity::kNone:
      break;
  }
  return QSerialPort::NoParity;
}

Parity FromQt(QSerialPort::Parity parity) {
  switch (parity) {
    case QSerialPort::EvenParity:
      return Parity::kEven;
    case QSerialPort::OddParity:
      return Parity::kOdd;
    default:
      return Parity::kNone;
  }
}

// A device that was unplugged (or a pty whose far side closed) reports a hang-up, which
// Qt does not always turn into an error while nothing is being read.
bool HungUp(QSerialPort& port) {
#ifdef __linux__
  pollfd fd{static_cast<int>(port.handle()), POLLIN, 0};
  return fd.fd >= 0 && poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  (void)port;
  return false;
#endif
}

// Bytes still in the driver's transmit queue; 0 when it cannot say.
int QueuedForSending(QSerialPort& port) {
#ifdef __linux__
  int queued = 0;
  if (ioctl(static_cast<int>(port.handle()), TIOCOUTQ, &queued) == 0) return queued;
#else
  (void)port;
#endif
  return 0;
}

// Longer paths are no device's: the system itself refuses them (PATH_MAX).
constexpr size_t kMaxPathBytes = 4095;

// A drain gives up after this much, whatever is queued: at 1200 baud a byte takes 8.3 ms, and
// a stalled adapter must not hold up a close.
constexpr auto kDrainBound = std::chrono::milliseconds(250);

}  // namespace

std::unique_ptr<SerialDevice> NewPortDevice() { return std::make_unique<QtSerialDevice>(); }

QtSerialDevice::QtSerialDevice() : port_(std::make_unique<QSerialPort>()) {}

QtSerialDevice::~QtSerialDevice() { Close(); }

void QtSerialDevice::SetDtr(bool on) {
  dtr_ = on;
  // On a pty this fails as unsupported; that is not a lost port.
  if (port_->isOpen()) port_->setDataTerminalReady(on);
  port_->clearError();
}

void QtSerialDevice::SetRts(bool on) {
  rts_ = on;
  if (port_->isOpen()) port_->setRequestToSend(on);
  port_->clearError();
}

bool QtSerialDevice::Open(const std::string& path, const LineSettings& settings) {
  Close();
  received_ = false;
  lost_ = false;
  open_failure_ = OpenFailure::kNone;
  // What is plainly not a serial port is said so before the driver is asked: its own error
  // would be a bare "could not open", or even a permission problem for a name too long.
  const QFileInfo info(QString::fromStdString(path));
  if (path.size() > kMaxPathBytes) {
    open_failure_ = OpenFailure::kNameTooLong;
    return false;
  }
  if (info.isDir()) {
    open_failure_ = OpenFailure::kFolder;
    return false;
  }
  if (info.isFile()) {
    open_failure_ = OpenFailure::kPlainFile;
    return false;
  }
  port_->setPortName(QString::fromStdString(path));
  port_->setBaudRate(settings.baud);
  port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.data_bits));
  port_->setParity(ToQt(settings.parity));
  port_->setStopBits(settings.stop_bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
  port_->setFlowControl(QSerialPort::NoFlowControl);
  if (!port_->open(QIODevice::ReadWrite)) {
    switch (port_->error()) {
      case QSerialPort::DeviceNotFoundError:
        open_failure_ = OpenFailure::kNoSuchPort;
        break;
      case QSerialPort::PermissionError:
        // Qt reports a port held by another program the same way as a missing right.
        open_failure_ = QFileInfo(QString::fromStdString(path)).isWritable()
                            ? OpenFailure::kBusy
                            : OpenFailure::kPermission;
        break;
      case QSerialPort::UnsupportedOperationError:
        open_failure_ = OpenFailure::kNotATerminal;
        break;
      default:
        open_failure_ = info.exists() ? OpenFailure::kOther : OpenFailure::kNoSuchPort;
        break;
    }
    port_->clearError();
    return false;
  }
  SetDtr(dtr_);
  SetRts(rts_);
  low_latency_set_ = SetLowLatency(*port_, true);
  port_->clear(QSerialPort::AllDirections);
  return true;
}

// The adapter is left as it was found: another program may rely on its latency timer.
void QtSerialDevice::Close() {
  if (port_->isOpen()) {
    if (low_latency_set_) SetLowLatency(*port_, false);
    port_->close();
  }
  low_latency_set_ = false;
  port_->clearError();
}

bool QtSerialDevice::IsOpen() const { return port_->isOpen(); }

void QtSerialDevice::CheckLost() {
  if (!port_->isOpen()) return;
  const QSerialPort::SerialPortError error = port_->error();
  if (error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
      HungUp(*port_)) {
    lost_ = true;
    port_->clearError();
    port_->close();
    return;
  }
  // Time-outs of empty polls and unsupported modem calls on a pty are not failures.
  port_->clearError();
}

void QtSerialDevice::Pump(int wait_ms) {
  if (!port_->isOpen()) return;
  port_->waitForReadyRead(wait_ms);
  CheckLost();
}

std::optional<LineSettings> QtSerialDevice::ReadLineSettings() {
  if (!port_->isOpen()) return std::nullopt;
  LineSettings settings;
  settings.baud = port_->baudRate();
  settings.data_bits = port_->dataBits();
  settings.parity = FromQt(port_->parity());
  settings.stop_bits = port_->stopBits() == QSerialPort::TwoStop ? 2 : 1;
  return settings;
}

bool QtSerialDevice::WriteLineSettings(const LineSettings& settings) {
  if (!port_->isOpen()) return false;
  const bool ok =
      port_->setBaudRate(settings.baud) &&
      port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.data_bits)) &&
      port_->setParity(ToQt(settings.parity)) &&
      port_->setStopBits(settings.stop_bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
  CheckLost();
  return ok;
}

int QtSerialDevice::PendingCount() {
  Pump(0);
  if (!port_->isOpen()) return 0;
  const qint64 count = port_->bytesAvailable();
  if (count > 0) received_ = true;
  return count > 0xFFFF ? 0xFFFF : static_cast<int>(count);
}

Bytes QtSerialDevice::ReadAll() {
  Pump(0);
  if (!port_->isOpen()) return {};
  const QByteArray data = port_->readAll();
  if (!data.isEmpty()) received_ = true;
  return Bytes(data.begin(), data.end());
}

bool QtSerialDevice::LastEventWasReceive() {
  PendingCount();
  return received_;
}

bool QtSerialDevice::WriteByte(uint8_t value) {
  if (!port_->isOpen()) return false;
  const char byte = static_cast<char>(value);
  bool ok = port_->write(&byte, 1) == 1;
  while (ok && port_->bytesToWrite() > 0) ok = port_->waitForBytesWritten(1000);
  CheckLost();
  return ok;
}

// Qt's own buffer is empty once WriteByte returns; the driver's queue and the UART's shift
// register are not. Waiting for the queue ourselves keeps the bound in our hands; the final
// tcdrain then only waits for the last byte in the hardware.
void QtSerialDevice::Drain() {
  if (!port_->isOpen()) return;
  const auto deadline = std::chrono::steady_clock::now() + kDrainBound;
  while (QueuedForSending(*port_) > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
#ifdef __linux__
  tcdrain(static_cast<int>(port_->handle()));
#elif defined(_WIN32)
  FlushFileBuffers(port_->handle());
#endif
}

}  // namespace kline
