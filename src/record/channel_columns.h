// The nine live channels as a recording and the chart name them: the CSV column with its unit,
// and the caption and unit a person reads beside a curve.
#pragma once

#include <array>
#include <string_view>

#include "session/main_panel.h"

namespace kline {

struct ChannelColumn {
  std::string_view csv_name;
  std::string_view caption;
  std::string_view unit;
};

inline constexpr std::string_view kTimeColumn = "time_s";

// In channel order, the order of LiveSample::values.
inline constexpr std::array<ChannelColumn, kChannelCount> kChannelColumns = {{
    {"rpm", "Engine speed", "rpm"},
    {"injection_ms", "Injection time", "ms"},
    {"advance_deg", "Ignition advance", "°"},
    {"pressure_mbar", "Manifold pressure", "mbar"},
    {"air_c", "Air temperature", "°C"},
    {"water_c", "Coolant temperature", "°C"},
    {"throttle_deg", "Throttle angle", "°"},
    {"battery_v", "Battery", "V"},
    {"trimmer", "Trimmer", ""},
}};

}  // namespace kline
