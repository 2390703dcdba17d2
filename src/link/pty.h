// A pseudo-terminal pair seen from the master side: the stand-in for a serial cable that the
// simulator serves and the tests talk through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kline {

class PseudoTerminal {
 public:
  PseudoTerminal();  // opens a master, non-blocking; ok() tells whether it worked
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }
  // Closes the master: the far side sees its device vanish.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slave_path_;
};

// The baud rate the slave side has set, read from the master; nullopt when the driver
// will not tell.
std::optional<int32_t> PtyBaudRate(int master_fd);

}  // namespace kline
