// A session against the simulated ECU on virtual time, with a plain panel and settings kept
// in memory: what the session and survival tests drive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"
#include "sim/simulated_line.h"

namespace kline {

struct SimSession {
  // A P8 needs no wake-up, so its first tick already asks: unless told otherwise, its key is
  // on at connect; the others' half a second later.
  explicit SimSession(EcuType type, std::optional<sim::Profile> profile = std::nullopt,
                      std::optional<int> ignition_delay_ms = std::nullopt);

  // Ticks "Connect", as the user would.
  void Connect();
  // Lets the session timer run for `ms` of virtual time, as the window would; gives the
  // longest tick it saw.
  int64_t Run(int64_t ms);
  // The bytes the PC side sent, in order.
  std::vector<TraceEntry> Sent() const;
  int64_t SentCount(uint8_t byte) const;

  IniText ini;
  VirtualClock clock;
  sim::SimulatedLine line;
  KLinePort port{line, clock};
  FakePanel panel;
  SessionDriver driver{port, panel, ini};
};

}  // namespace kline
