// termios2 lives in <asm/termbits.h>, which cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>
#include <optional>

namespace kline {

std::optional<int32_t> PtyBaudRate(int master_fd) {
  struct termios2 tio {};
  if (ioctl(master_fd, TCGETS2, &tio) != 0) return std::nullopt;
  return static_cast<int32_t>(tio.c_ospeed);
}

}  // namespace kline
