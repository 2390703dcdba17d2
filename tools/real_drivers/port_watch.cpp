// port_watch PORT PID: waits until process PID has PORT open, then, until it lets go, prints
// what the kernel driver holds for the port each time that changes: the rate, DTR, RTS, the
// low-latency flag and, for a USB adapter, its latency timer. It reads the driver's own state
// through a second descriptor, so it shows what the driver accepted, not what was asked.
// Built static for the guest of tools/real_drivers.sh.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool HasOpen(const std::string& pid, const std::filesystem::path& port) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/" + pid + "/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == port) return true;
  }
  return false;
}

std::string State(int fd, const std::string& latency_path) {
  termios2 tio{};
  int lines = 0;
  serial_struct serial{};
  std::string latency = "-";
  if (ioctl(fd, TCGETS2, &tio) != 0 || ioctl(fd, TIOCMGET, &lines) != 0) return "unreadable";
  const bool low = ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY);
  std::ifstream(latency_path) >> latency;
  return "rate=" + std::to_string(tio.c_ospeed) + " dtr=" + ((lines & TIOCM_DTR) ? "1" : "0") +
         " rts=" + ((lines & TIOCM_RTS) ? "1" : "0") + " low_latency=" + (low ? "1" : "0") +
         " latency_timer=" + latency;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: port_watch PORT PID\n", stderr);
    return 2;
  }
  const std::filesystem::path port = argv[1];
  const std::string pid = argv[2];
  const std::string latency_path =
      "/sys/class/tty/" + port.filename().string() + "/device/latency_timer";
  const auto tick = std::chrono::milliseconds(2);
  while (!HasOpen(pid, port)) {
    if (!std::filesystem::exists("/proc/" + pid)) return 1;
    std::this_thread::sleep_for(tick);
  }
  const int fd = open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 1;
  std::string last;
  while (HasOpen(pid, port)) {
    const std::string state = State(fd, latency_path);
    if (state != last) std::printf("%s\n", state.c_str());
    last = state;
    std::this_thread::sleep_for(tick);
  }
  close(fd);
  return 0;
}
