#include "link/win32_serial_device.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "link/port_device.h"

namespace kline {

namespace {

// Longer names are no device's.
constexpr size_t kMaxNameChars = 255;
// As on Linux: a stalled adapter must not hold up a close.
constexpr auto kDrainBound = std::chrono::milliseconds(250);

// COM10 and above open only through the device namespace; the lower ones take it too.
std::wstring DeviceName(const std::string& path) {
  const std::string full = path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
  return std::wstring(full.begin(), full.end());
}

BYTE ToWin32(Parity parity) {
  switch (parity) {
    case Parity::kEven:
      return EVENPARITY;
    case Parity::kOdd:
      return ODDPARITY;
    case Parity::kNone:
      break;
  }
  return NOPARITY;
}

Parity FromWin32(BYTE parity) {
  switch (parity) {
    case EVENPARITY:
      return Parity::kEven;
    case ODDPARITY:
      return Parity::kOdd;
    default:
      return Parity::kNone;
  }
}

// The whole device-control record: our line settings, the modem lines as we hold them, and
// no flow control or character substitution of any kind (the K-line carries raw bytes).
bool ApplyState(HANDLE handle, const LineSettings& settings, bool dtr, bool rts) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(settings.baud);
  dcb.ByteSize = static_cast<BYTE>(settings.data_bits);
  dcb.Parity = ToWin32(settings.parity);
  dcb.StopBits = settings.stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = settings.parity != Parity::kNone;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
  return SetCommState(handle, &dcb) != 0;
}

}  // namespace

std::unique_ptr<SerialDevice> NewPortDevice() { return std::make_unique<Win32SerialDevice>(); }

Win32SerialDevice::~Win32SerialDevice() { Close(); }

void Win32SerialDevice::SetDtr(bool on) {
  dtr_ = on;
  if (handle_) EscapeCommFunction(handle_, on ? SETDTR : CLRDTR);
}

void Win32SerialDevice::SetRts(bool on) {
  rts_ = on;
  if (handle_) EscapeCommFunction(handle_, on ? SETRTS : CLRRTS);
}

bool Win32SerialDevice::Open(const std::string& path, const LineSettings& settings) {
  Close();
  received_ = false;
  lost_ = false;
  open_failure_ = OpenFailure::kNone;
  if (path.size() > kMaxNameChars) {
    open_failure_ = OpenFailure::kNameTooLong;
    return false;
  }
  HANDLE handle = CreateFileW(DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        open_failure_ = OpenFailure::kNoSuchPort;
        break;
      // Windows reports a port held by another program as a denied access.
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        open_failure_ = OpenFailure::kBusy;
        break;
      default:
        open_failure_ = OpenFailure::kOther;
        break;
    }
    return false;
  }
  // A read returns at once with what has arrived: the engine polls, it never blocks in a read.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!ApplyState(handle, settings, dtr_, rts_) || !SetCommTimeouts(handle, &timeouts)) {
    CloseHandle(handle);
    open_failure_ = OpenFailure::kNotATerminal;
    return false;
  }
  handle_ = handle;
  PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  return true;
}

void Win32SerialDevice::Close() {
  if (!handle_) return;
  CloseHandle(handle_);
  handle_ = nullptr;
}

void Win32SerialDevice::Lose() {
  Close();
  lost_ = true;
}

std::optional<LineSettings> Win32SerialDevice::ReadLineSettings() {
  if (!handle_) return std::nullopt;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle_, &dcb)) return std::nullopt;
  return LineSettings{.baud = static_cast<int32_t>(dcb.BaudRate),
                      .data_bits = dcb.ByteSize,
                      .parity = FromWin32(dcb.Parity),
                      .stop_bits = dcb.StopBits == TWOSTOPBITS ? 2 : 1};
}

bool Win32SerialDevice::WriteLineSettings(const LineSettings& settings) {
  return handle_ && ApplyState(handle_, settings, dtr_, rts_);
}

bool Win32SerialDevice::Queues(int* in, int* out) {
  if (!handle_) return false;
  DWORD errors = 0;
  COMSTAT status{};
  // Also clears a line error (framing, overrun), which would otherwise hold up reading.
  if (!ClearCommError(handle_, &errors, &status)) {
    Lose();
    return false;
  }
  if (in) *in = status.cbInQue > 0xFFFF ? 0xFFFF : static_cast<int>(status.cbInQue);
  if (out) *out = static_cast<int>(status.cbOutQue);
  return true;
}

int Win32SerialDevice::PendingCount() {
  int count = 0;
  if (!Queues(&count, nullptr)) return 0;
  if (count > 0) received_ = true;
  return count;
}

Bytes Win32SerialDevice::ReadAll() {
  Bytes data;
  if (!handle_) return data;
  uint8_t buffer[4096];
  DWORD got = 0;
  do {
    if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) {
      Lose();
      break;
    }
    data.insert(data.end(), buffer, buffer + got);
  } while (got == sizeof buffer);
  if (!data.empty()) received_ = true;
  return data;
}

bool Win32SerialDevice::LastEventWasReceive() {
  PendingCount();
  return received_;
}

bool Win32SerialDevice::WriteByte(uint8_t value) {
  if (!handle_) return false;
  DWORD written = 0;
  if (!WriteFile(handle_, &value, 1, &written, nullptr)) {
    Queues(nullptr, nullptr);
    return false;
  }
  return written == 1;
}

// The driver's queue is waited for with our own bound; FlushFileBuffers then only waits for
// what is left in the hardware.
void Win32SerialDevice::Drain() {
  const auto deadline = std::chrono::steady_clock::now() + kDrainBound;
  int queued = 0;
  while (Queues(nullptr, &queued) && queued > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (handle_) FlushFileBuffers(handle_);
}

}  // namespace kline
