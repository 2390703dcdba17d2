// The fault-memory window's logic (`Form3`): reads one fault or status byte per button and
// explains its bits in the window's log, then hands the port back to the main window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/kline_port.h"
#include "link/protocol.h"
#include "service/fault_texts.h"
#include "service/service_host.h"

namespace kline {

struct FaultButton {
  std::string_view control;  // the window's control name
  std::string_view caption;
  uint8_t request;
  FaultTable table;
};

// The ten request buttons, three per record place and the status byte.
inline constexpr std::array<FaultButton, 10> kFaultButtons = {{
    {"Command4", "Uniram1", kUniramRequests.byte_1, FaultTable::kFaultByte1},
    {"Command5", "Uniram2", kUniramRequests.byte_2, FaultTable::kFaultByte2},
    {"Command6", "Uniram3", kUniramRequests.directions, FaultTable::kFaultByte3},
    {"Command1", "Unirams", kFaultStatusRequest, FaultTable::kStatusByte},
    {"Command7", "Cuneep1", kCuneepRequests.byte_1, FaultTable::kFaultByte1},
    {"Command3", "Cuneep2", kCuneepRequests.byte_2, FaultTable::kFaultByte2},
    {"Command2", "Cuneep3", kCuneepRequests.directions, FaultTable::kFaultByte3},
    {"Command10", "Unieep1A", kUnieepARequests.byte_1, FaultTable::kFaultByte1},
    {"Command9", "Unieep2A", kUnieepARequests.byte_2, FaultTable::kFaultByte2},
    {"Command8", "Unieep3A", kUnieepARequests.directions, FaultTable::kFaultByte3},
}};

class FaultMemory {
 public:
  FaultMemory(KLinePort& port, ServiceHost& host);

  // Pauses 8 ms, flushes and sends `request`. The answer byte as two hexadecimal digits; empty
  // when the port is closed, the reply does not come within 2500 ms or its first byte is not
  // the echo of `request`.
  std::string ReadFaultByte(uint8_t request);
  // One button press: reads the byte and appends the lines its table gives, or the no-answer
  // line when there was no valid answer. Returns the answer digits (empty: no answer).
  std::string Press(const FaultButton& button);
  // "Back": restarts the session timer at 20 ms and shows the main window; this window stays.
  void Back();
  // The frame's close box: gives the port back as "Back" does when the main window is still
  // hidden; otherwise the port is already back and nothing happens.
  void OnCloseBox();

 private:
  KLinePort& port_;
  ServiceHost& host_;
};

}  // namespace kline
