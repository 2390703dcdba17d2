// The interface check through the real serial port against kline-sim's server on a
// pseudo-terminal, in real time, for each fault a user may meet.
#include <gtest/gtest.h>

#include <optional>

#include "link/qt_serial_device.h"
#include "service/cable_check.h"
#include "sim/pty_ecu_server.h"

namespace kline {
namespace {

struct PtyCase {
  const char* name;
  std::optional<sim::FaultKind> fault;
  CableVerdict verdict;
};

TEST(CableCheckPtyTest, RealPortGivesTheVerdictForEachFault) {
  const PtyCase cases[] = {
      {"healthy", std::nullopt, CableVerdict::kEchoOk},
      {"silent", sim::FaultKind::kSilent, CableVerdict::kEchoOk},
      {"no echo", sim::FaultKind::kNoEcho, CableVerdict::kNoEcho},
      {"garbage", sim::FaultKind::kGarbage, CableVerdict::kEchoOk},
      {"stray", sim::FaultKind::kStrayByte, CableVerdict::kExtraBytes},
      {"ignition off", sim::FaultKind::kIgnitionOff, CableVerdict::kEchoOk},
      {"cable pulled", sim::FaultKind::kCablePulled, CableVerdict::kNotOpened},
  };
  for (const PtyCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::PtyEcuServer server(sim::BuiltinProfile(EcuType::k15m), {});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    if (c.fault) server.InjectFault(*c.fault);
    QtSerialDevice device;
    SteadyClock clock;
    KLinePort port(device, clock);
    const CableCheckResult result = CheckCable(port, server.slave_path());
    EXPECT_EQ(result.verdict, c.verdict) << result.sentence;
    EXPECT_FALSE(port.IsOpen());
    server.Stop();
  }
}

}  // namespace
}  // namespace kline
