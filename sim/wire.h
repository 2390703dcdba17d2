// The physics of one asynchronous serial byte: what a receiver set to another rate makes of
// it (how long it takes on the wire is the trace's ByteTimeUs).
#pragma once

#include <cstdint>

#include "link/trace.h"

namespace kline::sim {

// Whether a receiver at one rate reads a byte sent at the other correctly (UART tolerance).
bool RatesMatch(int32_t a, int32_t b);

// The byte a receiver at `rx_baud` reads when `byte` was sent at `tx_baud`: it samples the
// middle of each of its own bit cells, counting from the start edge.
uint8_t GarbleByte(uint8_t byte, int32_t tx_baud, int32_t rx_baud);

}  // namespace kline::sim
