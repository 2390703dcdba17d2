// What stands at the far end of the port when it is no motorcycle, for both programs: the
// built-in ECU or a recorded conversation, served on a pseudo-terminal that the port field
// names. On a system without pseudo-terminals the built-in ECU runs inside the program, in
// real time, as the engine's device, and nothing can be replayed.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/ecu_type.h"
#include "link/serial_device.h"
#include "link/trace_reader.h"
#ifdef KLINE_SIM_ON_PTY
#include "sim/pty_ecu_server.h"
#else
#include "sim/simulated_line.h"
#endif

namespace kline::sim {

// Made before the engine (or the tool's run) and gone after it: the port is closed before
// its far side goes away.
class EcuTarget {
 public:
  // The recorded trace at `path`; nullopt, with the reason in `error`, when it cannot be
  // read or this system cannot replay.
  static std::optional<TraceFile> LoadReplay(const std::string& path, std::string* error);
  // Whether `trace` holds anything to replay as a `type`; the reason in `error` if not.
  static bool CanReplay(const TraceFile& trace, EcuType type, std::string* error);

  // The built-in ECU of `type`: one that is woken says who it is a moment after the port
  // opens, one that is not is already on. Or `trace` played back from the port's opening,
  // each departure from it told to `report`. False, with `error` set, when there is nothing
  // to replay or it could not be served.
  bool StartDemo(EcuType type, std::string* error);
  bool StartReplay(const TraceFile& trace, EcuType type,
                   std::function<void(const std::string&)> report, std::string* error);

  // What goes in the port field once started.
  QString port_field() const;
  // The engine's device instead of a real port; null when the port field names one to open.
  SerialDevice* device() const;

 private:
#ifdef KLINE_SIM_ON_PTY
  std::unique_ptr<PtyEcuServer> server_;
#else
  SteadyClock clock_;
  std::unique_ptr<SimulatedLine> line_;
#endif
};

}  // namespace kline::sim
