// Arbitrary ECU answer streams, bytes and timing chosen by the fuzzer, through a whole
// session of one type and then both service windows' routines, on virtual time.
#include <cstdint>
#include <string>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "link/testing/scripted_line.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "service/tests/fake_windows.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"

namespace kline::fuzz {
namespace {

// A line whose far side plays the input: each byte the PC sends (and the opening) is
// answered by the next few bytes of it. One control byte: the low 3 bits say how many bytes
// come (0..7); bits 7 and 3 together pull the cable; bits 7 and 4 (3 clear) hang the device
// up at the next read that finds bytes waiting, which then comes up short of the count. Each
// byte then has a delay byte (in 4 ms steps) and a value. Once the input is spent the line
// goes away, so that the run does not wait out bounds only the input's silences should test.
class InputLine : public testing::ScriptedLine {
 public:
  InputLine(VirtualClock& clock, const uint8_t* data, size_t size)
      : ScriptedLine(clock), data_(data), size_(size) {}
  bool Open(const std::string& path, const LineSettings& settings) override {
    return ScriptedLine::Open(path, settings) && (Schedule(), true);
  }
  bool WriteByte(uint8_t value) override {
    return ScriptedLine::WriteByte(value) && (Schedule(), true);
  }
  // A receive once bytes arrived, as a real adapter reports it.
  bool LastEventWasReceive() override { return received_ = received_ || PendingCount() > 0; }

 private:
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  void Schedule() {
    const uint8_t control = pos_ < size_ ? Next() : 0x88;
    if ((control & 0x88) == 0x88) return Pull();
    if ((control & 0x98) == 0x90) hang_up_at_read = true;
    int64_t after_ms = 0;
    for (int i = 0; i < (control & 0x07); ++i) {
      after_ms += Next() * 4;
      Queue(after_ms, {Next()});
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool received_ = false;
};

}  // namespace
}  // namespace kline::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kline;
  if (size < 2) return 0;

  const EcuType type = kAllEcuTypes[data[0] % 4];
  const int ticks = 1 + data[1] % 8;
  VirtualClock clock;
  fuzz::InputLine line(clock, data + 2, size - 2);
  KLinePort port(line, clock);
  FakePanel panel;
  panel.type = type;
  const IniText settings;  // the disk is not what is fuzzed here, and would slow every input
  SessionDriver driver(port, panel, settings);

  panel.connect_ticked = true;
  driver.OnConnectBox(true);
  for (int i = 0; i < ticks && panel.timer() > 0; ++i) {
    clock.SleepMs(panel.timer());
    driver.Tick();
  }
  if (port.IsOpen()) {
    testing::Windows around;
    around.host.type = type;
    driver.LendPort();
    FaultMemory faults(port, around.host);
    for (const FaultButton& button : kFaultButtons) faults.Press(button);
    faults.Back();
    ActuatorTests tests(port, around.host);
    if (tests.EnterDiagnosticMode()) {
      tests.Press(data[1] % static_cast<int>(kActuatorTests.size()), "8a");
      tests.Back();
    }
  }
  driver.OnConnectBox(false);
  return 0;
}
