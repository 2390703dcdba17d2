// "Check cable": opens the port, sends a short pattern at both rates the program uses, reads
// the interface's echo back and tells in one sentence which part of the chain is at fault.
// It sends nothing an ECU would take as a request and always leaves the port closed.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/kline_port.h"

namespace kline {

enum class CableVerdict {
  kEchoOk,       // every byte came back unchanged at both rates
  kNoEcho,       // nothing came back at either rate
  kEchoGarbled,  // bytes came back wrong or missing at one rate or both
  kExtraBytes,   // more came back than was sent: someone else is talking
  kNotOpened,    // the port did not open
  kPortLost,     // the port vanished while the check ran
};

struct CableCheckResult {
  CableVerdict verdict = CableVerdict::kNotOpened;
  std::string sentence;
};

// None of these is a request byte of any ECU type, and a K-line ECU ignores them in every
// mode. 0x55 alternates every bit, so a rate the adapter gets wrong shows at once; the
// others catch a stuck or swapped nibble.
inline constexpr std::array<uint8_t, 3> kCablePattern = {0x55, 0xF0, 0x3C};

// Runs the check on `port`, which must be closed, opening the port named by the "Com" field
// text. Waits only through the port's clock; takes about a third of a second.
CableCheckResult CheckCable(KLinePort& port, const std::string& port_field);

}  // namespace kline
