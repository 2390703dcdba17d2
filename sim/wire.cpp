#include "sim/wire.h"

#include <algorithm>
#include <cstdlib>

namespace kline::sim {

bool RatesMatch(int32_t a, int32_t b) {
  // A receiver resynchronises on every start edge, so a few percent apart still reads.
  return std::llabs(int64_t{a} - b) * 100 <= int64_t{3} * std::max(a, b);
}

uint8_t GarbleByte(uint8_t byte, int32_t tx_baud, int32_t rx_baud) {
  uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    // Centre of the receiver's data bit i, measured in the sender's bit cells.
    const int64_t cell = (3 + 2 * int64_t{i}) * tx_baud / (2 * int64_t{std::max(rx_baud, 1)});
    const bool high = cell == 0 ? false : cell <= 8 ? ((byte >> (cell - 1)) & 1) != 0 : true;
    if (high) out = static_cast<uint8_t>(out | (1 << i));
  }
  return out;
}

}  // namespace kline::sim
