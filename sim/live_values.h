// The live values a simulated engine shows: a repeating idle-rev-idle cycle with a small
// wobble, turned into the raw bytes the ECU answers with.
#pragma once

#include <array>
#include <cstdint>

#include "sim/profile.h"

namespace kline::sim {

// How far the engine is into its rev, 0 (idle) to 1 (full), `t_s` seconds after ignition.
double RevPhase(const RevCycle& cycle, double t_s);

// The channel's value in its own unit at `t_s` seconds after ignition.
double LiveValue(const LiveChannel& channel, const RevCycle& cycle, double t_s);

// The raw bytes for a value; one-byte kinds fill only [0]. The period constant of the
// engine speed depends on the ECU type.
std::array<uint8_t, 2> RawBytes(LiveKind kind, double value, EcuType type);

}  // namespace kline::sim
