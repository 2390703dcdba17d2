// The time column of a recording; the channels' columns come from the protocol catalogue.
#pragma once

#include <string_view>

#include "link/protocol.h"

namespace kline {

inline constexpr std::string_view kTimeColumn = "time_s";

}  // namespace kline
