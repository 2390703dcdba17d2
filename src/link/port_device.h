// The SerialDevice for a real port on this platform: QSerialPort on Linux, the Win32 comm
// calls on Windows.
#pragma once

#include <memory>

#include "link/serial_device.h"

namespace kline {

std::unique_ptr<SerialDevice> NewPortDevice();

}  // namespace kline
