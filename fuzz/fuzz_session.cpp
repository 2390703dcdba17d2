// Arbitrary ECU answer streams, bytes and timing chosen by the fuzzer, through a whole
// session of one type and then both service windows' routines, on virtual time.
#include <cstdint>
#include <string>

#include "link/ini_file.h"
#include "link/kline_port.h"
#include "scripted_line.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"
#include "session/testing/fake_panel.h"

namespace kline::fuzz {
namespace {

// The service windows' surroundings, reduced to what the routines touch.
class Surroundings : public ServiceHost, public ServiceLog, public ProgressBar, public TestButtons {
 public:
  explicit Surroundings(std::optional<EcuType> type) : type_(type) {}
  void TimerOn(int) override {}
  std::optional<EcuType> SelectedType() const override { return type_; }
  void ShowMainWindow() override { hidden_ = false; }
  bool MainWindowHidden() const override { return hidden_; }
  void ProcessPendingEvents() override {}
  void Refresh() override {}
  void CloseWindow() override {}
  void ShowStatusMessage(std::string_view) override {}
  void AppendLine(std::string_view text) override { lines_ += text.size(); }
  void MoveCaretToEnd() override {}
  void SetMaximum(float) override {}
  void SetValue(float) override {}
  void SetTestButtonsEnabled(bool) override {}

 private:
  std::optional<EcuType> type_;
  bool hidden_ = true;
  size_t lines_ = 0;
};

}  // namespace
}  // namespace kline::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kline;
  if (size < 2) return 0;

  const EcuType type = kAllEcuTypes[data[0] % 4];
  const int ticks = 1 + data[1] % 8;
  VirtualClock clock;
  fuzz::ScriptedLine line(clock, data + 2, size - 2);
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
    fuzz::Surroundings around(type);
    driver.LendPort();
    FaultMemory faults(port, around, around);
    for (const FaultButton& button : kFaultButtons) faults.Press(button);
    faults.Back();
    ActuatorTests tests(port, around, around, around, around);
    if (tests.EnterDiagnosticMode()) {
      tests.Press(data[1] % static_cast<int>(kActuatorTests.size()), "8a");
      tests.Back();
    }
  }
  driver.OnConnectBox(false);
  return 0;
}
