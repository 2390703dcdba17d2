// The test window's logic (`Form1`): enters the ECU's diagnostic mode, runs one actuator test
// at a time with its progress wait, and leaves the mode when the port goes back to the main
// window.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/kline_port.h"
#include "link/protocol.h"
#include "service/service_host.h"

namespace kline {

// How a button finds its request byte.
enum class TestChoice {
  kFixed,    // the same for every ECU type; runs even with no type selected
  kByGroup,  // from the selected type's family; nothing runs with no type selected
  kCustom,   // the hexadecimal code typed into `Text1`
};

struct ActuatorTestRow {
  std::string_view control;  // the window's control name
  std::string_view caption;
  TestChoice choice;
  uint8_t request_a;        // 15m and 15Rc; kFixed uses these columns
  uint8_t request_b;        // 16m and P8
  std::string_view name_a;  // written to the log when the request goes out
  std::string_view name_b;
  int duration;  // the progress bar's maximum: passes of about one second
};

inline constexpr std::array<ActuatorTestRow, 8> kActuatorTests = {{
    {"Command1", "Fuel pump", TestChoice::kFixed, kTestRequests15.fuel_pump,
     kTestRequests16.fuel_pump, "Fuel pump", "Fuel pump", 36},
    {"Command2", "Injector 1", TestChoice::kByGroup, kTestRequests15.injector_1,
     kTestRequests16.injector_1, "Injector1", "Injector1", 30},
    {"Command3", "Injector 2", TestChoice::kFixed, kTestRequests15.injector_2,
     kTestRequests16.injector_2, "Injector2", "Injector2", 30},
    {"Command4", "Rev counter", TestChoice::kByGroup, kTestRequests15.rev_counter,
     kTestRequests16.rev_counter, "Rev counter", "rev counter", 30},
    {"Command5", "Coil 1", TestChoice::kByGroup, kTestRequests15.coil_1, kTestRequests16.coil_1,
     "Coil1", "Coil1", 30},
    {"Command6", "Coil 2", TestChoice::kByGroup, kTestRequests15.coil_2, kTestRequests16.coil_2,
     "Coil2", "Coil2", 30},
    {"Command7", "Clear DTC errors", TestChoice::kByGroup, kTestRequests15.clear_faults,
     kTestRequests16.clear_faults, "Clear DTC", "Clear DTC", 30},
    {"Command8", "Custom code", TestChoice::kCustom, 0x00, 0x00, "Custom code ", "Custom code ",
     36},
}};
// A fixed test runs without a type, so both families must number it alike.
static_assert(std::ranges::all_of(kActuatorTests, [](const ActuatorTestRow& row) {
  return row.choice != TestChoice::kFixed || row.request_a == row.request_b;
}));

// The one test that cannot be undone: it erases the ECU's stored faults.
inline constexpr int kClearFaultsTest = 6;
inline constexpr std::string_view kClearFaultsWarning =
    "Clearing erases the stored fault codes for good. Read and save them first: Diag, "
    "\"Read all\", \"Save report...\".";

inline constexpr std::string_view kCustomCodeDefault = "00";
inline constexpr std::string_view kCustomCodeRangeLine =
    "Custom code must be one or two hexadecimal digits, 00 to FF (0x may come first)";
inline constexpr std::string_view kNoDiagnosticModeMessage =
    "The ECU did not enter diagnostic mode.";
inline constexpr std::string_view kPortLostLine =
    "The connection to the ECU was lost (cable or adapter unplugged?)";
// A stop while the ECU may be in diagnostic mode: its ending waits for an answer still on its
// way (a test's first answer may take 5 s) before FF, so the program ends that much later.
inline constexpr std::string_view kLeavingDiagnosticModeLine =
    "Taking the ECU out of diagnostic mode (up to 5 s while an answer is still on its way)...";
inline constexpr std::string_view kStillInDiagnosticModeMessage =
    "The ECU did not leave diagnostic mode: switch the ignition off and on, then reconnect.";
// The custom codes that are the window's own enter and leave requests, not tests.
inline constexpr std::string_view kCustomCodeEnterLine =
    "Custom code AA is the request that enters diagnostic mode, not a test";
inline constexpr std::string_view kCustomCodeLeaveLine =
    "Custom code FF is the request that leaves diagnostic mode, not a test";

// The custom code: one or two hexadecimal digits, "0x" allowed before them and blanks around;
// nullopt for anything else (an empty field, a stray letter, a sign, a third digit), so that a
// typo never reaches the ECU as a request.
std::optional<uint8_t> ParseCustomCode(std::string_view text);
// Why a custom code cannot be sent, as the log says it; empty when it can (a test request).
std::string_view CustomCodeRefusal(std::string_view text);

class ActuatorTests {
 public:
  ActuatorTests(KLinePort& port, ServiceHost& host);

  // The window's load step. Returns true when the ECU is in diagnostic mode; otherwise the
  // main window's status bar says so and "Back" runs, which closes the window.
  bool EnterDiagnosticMode();
  // Button `index` of kActuatorTests; `custom_text` is the text of `Text1`.
  void Press(int index, std::string_view custom_text);
  // Sends one test request and reports it in the log. Refuses (returns false) while another
  // test is running.
  bool RunActuatorTest(uint8_t request, std::string_view log_name, int duration);
  // The progress wait for the final answer, one pass of about a second per duration step.
  void WaitTestResult(int duration);
  // The "Back" menu: leaves diagnostic mode, restarts the session timer at 20 ms, shows the
  // main window and closes this one. While a test runs, the test stops at its next pass and
  // "Back" follows. Does nothing once the port has been handed back.
  void Back();
  // The frame's close box. True when the window may close now (the port has been handed back
  // as by "Back"); false while a test runs: the window must stay, and closes itself through
  // "Back" when the test has stopped.
  bool OnCloseBox();

  // 8 ms, FF and the wait for its answer, whatever stop is pending: the one exchange that
  // must reach the ECU once it may be in diagnostic mode.
  void LeaveDiagnosticMode();

  bool TestRunning() const { return test_running_; }
  bool HandedBack() const { return handed_back_; }
  // AA has gone out and FF has not followed it yet: the ECU may be in diagnostic mode.
  bool MayBeInDiagnosticMode() const { return mode_requested_; }

 private:
  // Leaves diagnostic mode and gives the port and the screen back; no window closing.
  void HandBack();
  // A verdict's log line; the first of a test is the one reported when the test ends.
  void Conclude(std::string_view line, ServiceVerdict verdict);
  void SetValue(float value);

  KLinePort& port_;
  ServiceHost& host_;
  float maximum_ = 0;
  float value_ = 0;
  bool test_running_ = false;
  bool back_requested_ = false;
  bool handed_back_ = false;
  // The ECU confirmed diagnostic mode, so leaving it must be confirmed too.
  bool entered_ = false;
  bool mode_requested_ = false;
  std::optional<ServiceVerdict> verdict_;
};

}  // namespace kline
