// The physics of one asynchronous serial byte: how long it takes on the wire at a rate,
// and what a receiver set to another rate makes of it.
#pragma once

#include <cstdint>

namespace kline::sim {

// 10 bits (start, 8 data, stop) at `baud`, in microseconds, rounded.
int64_t ByteTimeUs(int32_t baud);

// Whether a receiver at one rate reads a byte sent at the other correctly (UART tolerance).
bool RatesMatch(int32_t a, int32_t b);

// The byte a receiver at `rx_baud` reads when `byte` was sent at `tx_baud`: it samples the
// middle of each of its own bit cells, counting from the start edge.
uint8_t GarbleByte(uint8_t byte, int32_t tx_baud, int32_t rx_baud);

}  // namespace kline::sim
