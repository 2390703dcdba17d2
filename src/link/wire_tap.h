// Sees every byte that crosses the port, for the line monitor: it only listens, so the
// wire's bytes and timing are the same with or without it.
#pragma once

#include <cstdint>

namespace kline {

class WireTap {
 public:
  virtual ~WireTap() = default;
  // The port opened at `baud` / closed.
  virtual void OnOpened(int64_t time_us, int32_t baud) = 0;
  virtual void OnClosed(int64_t time_us) = 0;
  // A byte left the PC at `time_us`, at the port's rate then.
  virtual void OnSent(uint8_t byte, int64_t time_us, int32_t baud) = 0;
  // A byte the PC received, stamped with the first moment the port saw it waiting.
  virtual void OnReceived(uint8_t byte, int64_t time_us, int32_t baud) = 0;
};

}  // namespace kline
