// Turns the "Com" field's text into a device path: a number N is the platform's N-th
// classic port, a text starting with '/' is a path used as it stands. On Windows, "COMN" (in
// any case) is port N too, and a name in the device namespace (\\.\...) stands as it is.
#pragma once

#include <optional>
#include <string>

namespace kline {

inline constexpr int kMaxPortNumber = 255;

// nullopt when the text names no port this program will try (refused before opening).
std::optional<std::string> PortPath(const std::string& port_field);

// Besides a number, what a user types into the field on this platform, for the sentences
// that say what it takes: "a device path such as /dev/ttyUSB0".
std::string OtherPortNames();

}  // namespace kline
