// port_watch PORT PID: while process PID runs, prints what the kernel driver holds for PORT each
// time that changes during the times PID has it open: the rate, DTR, RTS, the low-latency
// flag and, for a USB adapter, its latency timer. It reads them through a duplicate of PID's
// own descriptor: opening the port again would raise DTR and RTS, hiding a program that
// lowered them. So it shows what the driver took, not what was asked. Built static for the
// guest of tools/real_drivers.sh.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

// The number of PID's descriptor for PORT; -1: none.
int OpenedAs(const std::string& pid, const std::filesystem::path& port) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/" + pid + "/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == port) {
      return std::atoi(fd.path().filename().c_str());
    }
  }
  return -1;
}

bool Ended(int pidfd) {
  pollfd ended{pidfd, POLLIN, 0};
  return poll(&ended, 1, 0) != 0;
}

bool LowLatency(int fd) {
  serial_struct serial{};
  return ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) != 0;
}

// None while the low-latency flag changes under the reading: the program sets it after the
// rate and the control lines and clears it before it closes, so a state read between two
// equal readings of the flag belongs to one side of that change.
std::optional<std::string> State(int fd, const std::string& latency_path) {
  termios2 tio{};
  int lines = 0;
  std::string latency = "-";
  const bool low = LowLatency(fd);
  if (ioctl(fd, TCGETS2, &tio) != 0 || ioctl(fd, TIOCMGET, &lines) != 0) return "unreadable";
  std::ifstream(latency_path) >> latency;
  if (LowLatency(fd) != low) return std::nullopt;
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
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, std::atoi(argv[2]), 0));
  if (pidfd < 0) return 1;
  const auto tick = std::chrono::milliseconds(2);
  std::string last;
  while (!Ended(pidfd)) {
    const int target = OpenedAs(pid, port);
    const int fd = target < 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_getfd, pidfd, target, 0));
    while (fd >= 0 && OpenedAs(pid, port) == target) {
      const std::optional<std::string> state = State(fd, latency_path);
      if (state && *state != last) std::printf("%s\n", state->c_str());
      if (state) last = *state;
      std::this_thread::sleep_for(tick);
    }
    if (fd >= 0) close(fd);
    std::this_thread::sleep_for(tick);
  }
  return 0;
}
